#include "foundation/Abi.h"

#include <windows.h>

#include <oleauto.h>

#include <new>

char16_t* PasWideAlloc(std::u16string_view text) {
    if (text.empty()) return nullptr;
    BSTR s = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
    if (s == nullptr) throw std::bad_alloc();
    return reinterpret_cast<char16_t*>(s);
}

void PasWideFree(char16_t* data) {
    if (data != nullptr) SysFreeString(reinterpret_cast<BSTR>(data));
}
