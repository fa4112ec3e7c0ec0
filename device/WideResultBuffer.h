#pragma once
// A UTF-16 buffer in the shape the application-repository library expects: for a capacity of n
// characters, 2n + 4 bytes of which the first four hold the byte count 2n + 4 and the text starts
// right after them. The library is handed the address of a variable pointing at that text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TWideResultBuffer {
public:
    // Starts holding empty text (a zero character) unless `initial` is given.
    explicit TWideResultBuffer(size_t capacityChars, std::u16string_view initial = {});
    TWideResultBuffer(const TWideResultBuffer&) = delete;
    TWideResultBuffer& operator=(const TWideResultBuffer&) = delete;
    TWideResultBuffer(TWideResultBuffer&&) = default;
    TWideResultBuffer& operator=(TWideResultBuffer&&) = default;

    size_t Capacity() const { return FCapacity; }
    // The 32-bit byte count stored in front of the text.
    uint32_t Prefix() const;
    char16_t* Data() { return FStorage.data() + kPrefixUnits; }
    const char16_t* Data() const { return FStorage.data() + kPrefixUnits; }
    // The variable the library is handed the address of; it points at Data().
    char16_t** Slot();

    // Copies the text in with a terminating zero, cut to capacity - 1 characters.
    void SetText(std::u16string_view text);
    // The text up to the first zero character, never reading past the capacity (a library that
    // forgets the terminator cannot make us run off the end).
    std::u16string Text() const;
    std::string Utf8() const;

private:
    static constexpr size_t kPrefixUnits = 2;
    std::vector<char16_t> FStorage;
    size_t FCapacity = 0;
    char16_t* FSlot = nullptr;
};
