// The system string allocator as the native build has it: the same layout (byte length in the
// four bytes before the characters, zero-terminated), from the C heap.
#include "foundation/Abi.h"

#include <cstdlib>
#include <cstring>
#include <new>

char16_t* PasWideAlloc(std::u16string_view text) {
    if (text.empty()) return nullptr;
    const uint32_t bytes = static_cast<uint32_t>(text.size() * 2);
    char* block = static_cast<char*>(std::malloc(sizeof bytes + bytes + 2));
    if (block == nullptr) throw std::bad_alloc();
    std::memcpy(block, &bytes, sizeof bytes);
    std::memcpy(block + sizeof bytes, text.data(), bytes);
    std::memset(block + sizeof bytes + bytes, 0, 2);
    return reinterpret_cast<char16_t*>(block + sizeof bytes);
}

void PasWideFree(char16_t* data) {
    if (data != nullptr) std::free(reinterpret_cast<char*>(data) - sizeof(uint32_t));
}
