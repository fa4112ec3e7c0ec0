#pragma once
// Items under unique byte-string keys, kept in ascending ordinal byte order (so "B" < "a" and
// UTF-8 lead bytes sort after ASCII), found by binary search; each node also links to its
// neighbours in key order.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

struct TStrOrderNode {
    TStrOrderNode* Prior = nullptr; // empty for the first node
    TStrOrderNode* Next = nullptr;  // empty for the last node
    std::string Key;
    void* Data = nullptr; // owned by the list's owner, released through FDisposeData
};

class TStrOrderList {
public:
    using TDisposeData = std::function<void(void* data)>;

    TStrOrderList() = default;
    TStrOrderList(const TStrOrderList&) = delete;
    TStrOrderList& operator=(const TStrOrderList&) = delete;
    ~TStrOrderList(); // removes every node as Clear does

    // Not taken by the list's own operations: callers sharing the list between threads bracket
    // every use with these.
    void Lock() { FLock.lock(); }
    void UnLock() { FLock.unlock(); }

    // True and the key's node when present; otherwise false and the key's left neighbour (the
    // greatest smaller key), or no node when no key is smaller.
    bool Search(std::string_view key, TStrOrderNode*& node) const;
    // The key's index, or -1 when absent; node as for Search.
    int64_t FindPos(std::string_view key, TStrOrderNode*& node) const;
    // False, with nothing changed, when the key is already present.
    bool Insert(std::string_view key, void* data);
    // Removes the key's node (nothing happens when it is absent), disposing its data through
    // FDisposeData when set and, for the second form, when disposeData is true. The node has
    // left the list by the time the callback runs.
    void Delete(std::string_view key);
    void Delete(std::string_view key, bool disposeData);
    // Removes every node, first to last, passing each data to FDisposeData when set.
    void Clear();
    // Removes every node and frees each data block with std::free (blocks from std::malloc),
    // without the callback.
    void ClearWithFreeData();

    size_t Count() const { return FList.size(); }
    // Index out of range raises std::out_of_range. SetItems puts the node (allocated with new)
    // in the list's ownership and hands the replaced one back to the caller; keeping the order
    // and the neighbour links right is the caller's business.
    TStrOrderNode* GetItems(size_t index) const;
    void SetItems(size_t index, TStrOrderNode* node);

    TDisposeData FDisposeData; // may be empty
    int32_t FTag = 0;          // free for the owner

private:
    struct TFound {
        bool Found;
        int64_t Pos;
        TStrOrderNode* Node;
    };
    TFound Find(std::string_view key) const;
    void RemoveAll(bool freeData);

    std::recursive_mutex FLock; // re-entrant, as a critical section is
    std::vector<TStrOrderNode*> FList;
};
