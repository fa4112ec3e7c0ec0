#include "foundation/KeyValueUtils.h"

#include "foundation/TextCodec.h"

#include <algorithm>
#include <stdexcept>

int TKeyValueList::Add(std::string_view key, std::string_view value) {
    TEntry entry{std::string(key), Utf8ToUtf16(key),
                 std::make_unique<TKeyValue>(TKeyValue{std::string(key), std::string(value)})};
    FItems.push_back(std::move(entry));
    return Count() - 1;
}

int TKeyValueList::AddString(std::string_view text) {
    FItems.push_back(TEntry{std::string(text), Utf8ToUtf16(text), nullptr});
    return Count() - 1;
}

void TKeyValueList::Insert(int index, std::string_view text) {
    if (index < 0 || index > Count()) throw std::out_of_range("List index out of bounds");
    FItems.insert(FItems.begin() + index, TEntry{std::string(text), Utf8ToUtf16(text), nullptr});
}

void TKeyValueList::Clear() {
    FItems.clear();
}

const TKeyValueList::TEntry& TKeyValueList::At(int index) const {
    if (index < 0 || index >= Count()) throw std::out_of_range("List index out of bounds");
    return FItems[static_cast<size_t>(index)];
}

const std::string& TKeyValueList::Strings(int index) const {
    return At(index).Text;
}

const TKeyValue* TKeyValueList::Objects(int index) const {
    return At(index).Pair.get();
}

std::string TKeyValueList::GetValue(int index) const {
    const TKeyValue* pair = Objects(index);
    return pair ? pair->value : std::string();
}

int TKeyValueList::CompareUnits(const std::u16string& a, const std::u16string& b, bool caseSensitive) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned x = a[i];
        unsigned y = b[i];
        if (!caseSensitive) {
            if (x >= 'a' && x <= 'z') x -= 'a' - 'A';
            if (y >= 'a' && y <= 'z') y -= 'a' - 'A';
        }
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

int TKeyValueList::CompareStrings(std::string_view a, std::string_view b) const {
    return CompareUnits(Utf8ToUtf16(a), Utf8ToUtf16(b), FCaseSensitive);
}

void TKeyValueList::Sort() {
    const bool caseSensitive = FCaseSensitive;
    std::stable_sort(FItems.begin(), FItems.end(), [caseSensitive](const TEntry& x, const TEntry& y) {
        return CompareUnits(x.Units, y.Units, caseSensitive) < 0;
    });
}

int TKeyValueList::IndexOf(std::string_view key) const {
    const std::u16string units = Utf8ToUtf16(key);
    for (int i = 0; i < Count(); ++i) {
        if (CompareUnits(FItems[static_cast<size_t>(i)].Units, units, FCaseSensitive) == 0) return i;
    }
    return -1;
}
