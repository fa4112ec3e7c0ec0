#include "foundation/OrderList.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>
#include <stdexcept>
#include <thread>

namespace {

void* Tag(intptr_t n) {
    return reinterpret_cast<void*>(n);
}

std::vector<std::string> KeysInOrder(const TStrOrderList& list) {
    std::vector<std::string> keys;
    for (size_t i = 0; i < list.Count(); ++i)
        keys.push_back(list.GetItems(i)->Key);
    return keys;
}

// Sorted, and every node linked to exactly its neighbours in the index order.
void ExpectConsistent(const TStrOrderList& list) {
    for (size_t i = 0; i < list.Count(); ++i) {
        const TStrOrderNode* n = list.GetItems(i);
        EXPECT_EQ(n->Prior, i == 0 ? nullptr : list.GetItems(i - 1)) << n->Key;
        EXPECT_EQ(n->Next, i + 1 == list.Count() ? nullptr : list.GetItems(i + 1)) << n->Key;
        if (i > 0) {
            EXPECT_LT(list.GetItems(i - 1)->Key, n->Key);
        }
    }
}

} // namespace

TEST(StrOrderList, InsertKeepsKeyOrderAndNeighbourLinks) {
    TStrOrderList list;
    EXPECT_EQ(list.FTag, 0);
    EXPECT_TRUE(list.Insert("b", Tag(2)));
    EXPECT_TRUE(list.Insert("a", Tag(1)));
    EXPECT_TRUE(list.Insert("c", Tag(3)));
    EXPECT_EQ(KeysInOrder(list), (std::vector<std::string>{"a", "b", "c"}));
    TStrOrderNode *a = list.GetItems(0), *b = list.GetItems(1), *c = list.GetItems(2);
    EXPECT_EQ(a->Prior, nullptr);
    EXPECT_EQ(a->Next, b);
    EXPECT_EQ(b->Prior, a);
    EXPECT_EQ(c->Prior, b);
    EXPECT_EQ(c->Next, nullptr);
    EXPECT_EQ(b->Data, Tag(2));
}

TEST(StrOrderList, InsertingAnExistingKeyChangesNothing) {
    TStrOrderList list;
    list.Insert("k", Tag(1));
    EXPECT_FALSE(list.Insert("k", Tag(2)));
    EXPECT_EQ(list.Count(), 1u);
    EXPECT_EQ(list.GetItems(0)->Data, Tag(1));
}

TEST(StrOrderList, KeysCompareAsBytes) {
    TStrOrderList list;
    for (const char* k : {"a", "\xE4\xB8\xAD", "B", "ab", "", "A"})
        list.Insert(k, nullptr);
    list.Insert(std::string("a\0", 2), nullptr);
    EXPECT_EQ(KeysInOrder(list),
              (std::vector<std::string>{"", "A", "B", "a", std::string("a\0", 2), "ab", "\xE4\xB8\xAD"}));
    TStrOrderNode* node = nullptr;
    EXPECT_FALSE(list.Search("b", node)); // case-sensitive
    EXPECT_EQ(node->Key, "ab");
}

TEST(StrOrderList, SearchAndFindPosOnAbsentKeysGiveTheLeftNeighbour) {
    TStrOrderList list;
    TStrOrderNode* node = reinterpret_cast<TStrOrderNode*>(Tag(1)); // must be overwritten
    EXPECT_FALSE(list.Search("x", node));
    EXPECT_EQ(node, nullptr);
    EXPECT_EQ(list.FindPos("x", node), -1);

    for (const char* k : {"b", "d", "f", "h"})
        list.Insert(k, nullptr);
    EXPECT_FALSE(list.Search("a", node));
    EXPECT_EQ(node, nullptr);
    EXPECT_FALSE(list.Search("e", node));
    EXPECT_EQ(node->Key, "d");
    EXPECT_FALSE(list.Search("z", node));
    EXPECT_EQ(node->Key, "h");
    EXPECT_EQ(list.FindPos("e", node), -1);
    EXPECT_EQ(list.FindPos("f", node), 2);
    EXPECT_EQ(node->Key, "f");
    EXPECT_TRUE(list.Search("b", node));
    EXPECT_EQ(node->Key, "b");
}

// Against an ordered map: every insert and delete keeps order and links, and searches for present
// and absent keys answer as the map does.
TEST(StrOrderList, RandomOperationsAgreeWithAnOrderedMap) {
    std::mt19937 rng(7);
    std::vector<intptr_t> disposed; // outlives the list, whose destructor still disposes
    std::map<std::string, intptr_t> model;
    TStrOrderList list;
    list.FDisposeData = [&](void* data) { disposed.push_back(reinterpret_cast<intptr_t>(data)); };
    for (int step = 0; step < 4000; ++step) {
        std::string key(1 + rng() % 3, 'a');
        for (char& ch : key)
            ch = "AaBb\xE4z"[rng() % 6];
        const intptr_t data = step + 1;
        if (rng() % 3 != 0) {
            EXPECT_EQ(list.Insert(key, Tag(data)), model.emplace(key, data).second);
        } else {
            auto it = model.find(key);
            disposed.clear();
            list.Delete(key);
            if (it != model.end()) {
                EXPECT_EQ(disposed, std::vector<intptr_t>{it->second});
                model.erase(it);
            } else {
                EXPECT_TRUE(disposed.empty());
            }
        }
        if (step % 50 == 0) ExpectConsistent(list);
        TStrOrderNode* node = nullptr;
        const bool found = list.Search(key, node);
        auto upper = model.lower_bound(key);
        EXPECT_EQ(found, upper != model.end() && upper->first == key);
        if (found) {
            EXPECT_EQ(node->Data, Tag(upper->second));
        } else if (upper == model.begin()) {
            EXPECT_EQ(node, nullptr);
        } else {
            ASSERT_NE(node, nullptr);
            EXPECT_EQ(node->Key, std::prev(upper)->first);
        }
        const int64_t pos = list.FindPos(key, node);
        EXPECT_EQ(pos, found ? std::distance(model.begin(), upper) : -1);
    }
    ASSERT_EQ(list.Count(), model.size());
    std::vector<std::string> keys;
    for (const auto& kv : model)
        keys.push_back(kv.first);
    EXPECT_EQ(KeysInOrder(list), keys);
    ExpectConsistent(list);
}

TEST(StrOrderList, DisposalCallbackRunsOncePerItemInKeyOrder) {
    std::vector<intptr_t> seen;
    {
        TStrOrderList list;
        list.FDisposeData = [&](void* d) { seen.push_back(reinterpret_cast<intptr_t>(d)); };
        list.Insert("c", Tag(3));
        list.Insert("a", Tag(1));
        list.Insert("b", Tag(2));
        list.Clear();
        EXPECT_EQ(seen, (std::vector<intptr_t>{1, 2, 3}));
        EXPECT_EQ(list.Count(), 0u);

        seen.clear();
        list.Insert("x", Tag(10));
        list.Insert("y", Tag(11));
        list.Insert("z", Tag(12));
        list.Delete("y", false);
        EXPECT_TRUE(seen.empty());
        EXPECT_EQ(list.GetItems(0)->Next, list.GetItems(1));
        EXPECT_EQ(list.GetItems(1)->Prior, list.GetItems(0));
        list.Delete("nothing");
        EXPECT_TRUE(seen.empty());
        list.Delete("x", true);
        EXPECT_EQ(seen, (std::vector<intptr_t>{10}));
        EXPECT_EQ(list.GetItems(0)->Prior, nullptr);
    }
    EXPECT_EQ(seen, (std::vector<intptr_t>{10, 12})); // the destructor clears as Clear does
}

TEST(StrOrderList, ClearWithFreeDataFreesBlocksWithoutTheCallback) {
    TStrOrderList list;
    int calls = 0;
    list.FDisposeData = [&](void*) { ++calls; };
    list.Insert("a", std::malloc(16));
    list.Insert("b", std::malloc(32));
    list.Insert("c", nullptr);
    list.ClearWithFreeData(); // the leak checker of the sanitizer build watches the blocks
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(list.Count(), 0u);
}

TEST(StrOrderList, ThrowingCallbackLeavesAnEmptyListAndNoLostNodes) {
    TStrOrderList list;
    list.FDisposeData = [](void* d) {
        if (d == Tag(2)) throw std::runtime_error("dispose failed");
    };
    list.Insert("a", Tag(1));
    list.Insert("b", Tag(2));
    list.Insert("c", Tag(3));
    EXPECT_THROW(list.Clear(), std::runtime_error);
    EXPECT_EQ(list.Count(), 0u);
    list.Insert("b", Tag(2));
    EXPECT_THROW(list.Delete("b"), std::runtime_error);
    EXPECT_EQ(list.Count(), 0u);
    list.FDisposeData = nullptr;
}

TEST(StrOrderList, ItemsOutsideTheListAreRefused) {
    TStrOrderList list;
    EXPECT_THROW(list.GetItems(0), std::out_of_range);
    list.Insert("a", nullptr);
    EXPECT_THROW(list.SetItems(1, nullptr), std::out_of_range);
    auto* replacement = new TStrOrderNode{nullptr, nullptr, "a", Tag(5)};
    TStrOrderNode* old = list.GetItems(0);
    list.SetItems(0, replacement);
    delete old;
    TStrOrderNode* node = nullptr;
    EXPECT_TRUE(list.Search("a", node));
    EXPECT_EQ(node->Data, Tag(5));
}

TEST(StrOrderList, LockSerialisesThreadsSharingTheList) {
    TStrOrderList list;
    const auto worker = [&list](char prefix) {
        for (int i = 0; i < 500; ++i) {
            list.Lock();
            list.Lock(); // re-entrant, as the critical section is
            list.Insert(std::string(1, prefix) + std::to_string(i), nullptr);
            list.UnLock();
            list.UnLock();
        }
    };
    std::thread t1(worker, 'p'), t2(worker, 'q');
    t1.join();
    t2.join();
    EXPECT_EQ(list.Count(), 1000u);
    ExpectConsistent(list);
}
