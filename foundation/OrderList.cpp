#include "foundation/OrderList.h"

#include <cstdlib>
#include <memory>
#include <stdexcept>

TStrOrderList::~TStrOrderList() {
    try {
        Clear();
    } catch (...) {
        // a throwing dispose callback must not take the process down from a destructor
    }
}

TStrOrderList::TFound TStrOrderList::Find(std::string_view key) const {
    // std::string_view compares through char_traits<char>, i.e. as unsigned bytes.
    const auto keyAt = [this](int64_t i) { return std::string_view(FList[static_cast<size_t>(i)]->Key); };
    const auto nodeAt = [this](int64_t i) { return FList[static_cast<size_t>(i)]; };
    int64_t low = 0;
    int64_t high = static_cast<int64_t>(FList.size()) - 1;
    if (high < low) return {false, -1, nullptr};
    for (;;) {
        if (key == keyAt(low)) return {true, low, nodeAt(low)};
        if (key == keyAt(high)) return {true, high, nodeAt(high)};
        if (key < keyAt(low)) return {false, low - 1, low > 0 ? nodeAt(low - 1) : nullptr};
        if (key > keyAt(high)) return {false, high, nodeAt(high)};
        if (low >= high - 1) return {false, low, nodeAt(low)};
        const int64_t mid = (low + high) / 2;
        const int cmp = key.compare(keyAt(mid));
        if (cmp == 0) return {true, mid, nodeAt(mid)};
        if (cmp < 0)
            high = mid - 1;
        else
            low = mid;
    }
}

bool TStrOrderList::Search(std::string_view key, TStrOrderNode*& node) const {
    const TFound f = Find(key);
    node = f.Node;
    return f.Found;
}

int64_t TStrOrderList::FindPos(std::string_view key, TStrOrderNode*& node) const {
    const TFound f = Find(key);
    node = f.Node;
    return f.Found ? f.Pos : -1;
}

bool TStrOrderList::Insert(std::string_view key, void* data) {
    const TFound f = Find(key);
    if (f.Found) return false;
    auto node = std::make_unique<TStrOrderNode>();
    node->Key = std::string(key);
    node->Data = data;
    TStrOrderNode* left = f.Node;
    TStrOrderNode* right = left ? left->Next : (FList.empty() ? nullptr : FList.front());
    const size_t at = left ? static_cast<size_t>(f.Pos) + 1 : 0;
    FList.insert(FList.begin() + static_cast<std::ptrdiff_t>(at),
                 node.get()); // may throw: nothing linked yet
    node->Prior = left;
    node->Next = right;
    if (left) left->Next = node.get();
    if (right) right->Prior = node.get();
    node.release();
    return true;
}

void TStrOrderList::Delete(std::string_view key) {
    Delete(key, true);
}

void TStrOrderList::Delete(std::string_view key, bool disposeData) {
    const TFound f = Find(key);
    if (!f.Found) return;
    std::unique_ptr<TStrOrderNode> node(f.Node);
    if (node->Prior) node->Prior->Next = node->Next;
    if (node->Next) node->Next->Prior = node->Prior;
    FList.erase(FList.begin() + static_cast<std::ptrdiff_t>(f.Pos));
    // The list is whole again before foreign code runs, whatever that code does.
    if (disposeData && FDisposeData) FDisposeData(node->Data);
}

void TStrOrderList::Clear() {
    RemoveAll(false);
}

void TStrOrderList::ClearWithFreeData() {
    RemoveAll(true);
}

void TStrOrderList::RemoveAll(bool freeData) {
    std::vector<TStrOrderNode*> nodes;
    nodes.swap(FList);
    size_t next = 0;
    // Nodes still owned when a callback throws are freed without their callbacks.
    struct TRest {
        std::vector<TStrOrderNode*>& Nodes;
        size_t& Next;
        ~TRest() {
            for (size_t i = Next; i < Nodes.size(); ++i)
                delete Nodes[i];
        }
    } rest{nodes, next};
    while (next < nodes.size()) {
        std::unique_ptr<TStrOrderNode> node(nodes[next++]);
        if (freeData)
            std::free(node->Data);
        else if (FDisposeData)
            FDisposeData(node->Data);
    }
}

TStrOrderNode* TStrOrderList::GetItems(size_t index) const {
    if (index >= FList.size()) throw std::out_of_range("TStrOrderList index out of range");
    return FList[index];
}

void TStrOrderList::SetItems(size_t index, TStrOrderNode* node) {
    if (index >= FList.size()) throw std::out_of_range("TStrOrderList index out of range");
    FList[index] = node;
}
