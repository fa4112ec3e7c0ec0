#pragma once
// A string list of keys, each entry owning a key/value pair, sortable by key with an exact
// comparison. Texts are UTF-8; comparisons follow UTF-16 code-unit order.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct TKeyValue {
    std::string key;
    std::string value;
};

class TKeyValueList {
public:
    // Appends an entry whose text is the key and which owns a new pair; returns its index.
    int Add(std::string_view key, std::string_view value);
    // Plain string-list insertion: an entry with text only, no pair.
    int AddString(std::string_view text);
    void Insert(int index, std::string_view text);
    void Clear();

    int Count() const { return static_cast<int>(FItems.size()); }
    // Index checks throw std::out_of_range, as the string list reports a bad index.
    const std::string& Strings(int index) const;
    // The pair owned by the entry, or null for a plain entry.
    const TKeyValue* Objects(int index) const;
    // The entry's value; empty for a plain entry.
    std::string GetValue(int index) const;

    bool CaseSensitive() const { return FCaseSensitive; }
    void SetCaseSensitive(bool value) { FCaseSensitive = value; }

    // Case-sensitive: ordinal UTF-16 code units ("Z" before "a"). Otherwise only ASCII "a".."z"
    // are folded onto "A".."Z". Returns <0, 0 or >0.
    int CompareStrings(std::string_view a, std::string_view b) const;
    // Sorts entries by their text; equal keys keep their insertion order.
    void Sort();
    // First entry whose text compares equal to the key, or -1.
    int IndexOf(std::string_view key) const;

private:
    struct TEntry {
        std::string Text;
        std::u16string Units; // cached sort key
        std::unique_ptr<TKeyValue> Pair;
    };
    static int CompareUnits(const std::u16string& a, const std::u16string& b, bool caseSensitive);
    const TEntry& At(int index) const;

    std::vector<TEntry> FItems;
    bool FCaseSensitive = false;
};
