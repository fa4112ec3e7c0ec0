#include "device/WideResultBuffer.h"

#include "foundation/TextCodec.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

TWideResultBuffer::TWideResultBuffer(size_t capacityChars, std::u16string_view initial)
    : FCapacity(capacityChars) {
    if (capacityChars > (std::numeric_limits<uint32_t>::max() - 4) / 2)
        throw std::length_error("wide result buffer too large");
    FStorage.assign(kPrefixUnits + capacityChars, u'\0');
    const uint32_t bytes = static_cast<uint32_t>(capacityChars * 2 + 4);
    std::memcpy(FStorage.data(), &bytes, sizeof bytes);
    SetText(initial);
}

uint32_t TWideResultBuffer::Prefix() const {
    uint32_t bytes = 0;
    std::memcpy(&bytes, FStorage.data(), sizeof bytes);
    return bytes;
}

char16_t** TWideResultBuffer::Slot() {
    FSlot = Data();
    return &FSlot;
}

void TWideResultBuffer::SetText(std::u16string_view text) {
    if (FCapacity == 0) return;
    const size_t n = std::min(text.size(), FCapacity - 1);
    std::copy_n(text.data(), n, Data());
    Data()[n] = u'\0';
}

std::u16string TWideResultBuffer::Text() const {
    const char16_t* p = Data();
    const char16_t* end = std::find(p, p + FCapacity, u'\0');
    return std::u16string(p, end);
}

std::string TWideResultBuffer::Utf8() const {
    return Utf16ToUtf8(Text());
}
