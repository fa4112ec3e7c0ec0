#include "foundation/Abi.h"
#include "foundation/WinProcess.h"

#include <windows.h>

#include <oleauto.h>

#include <new>

namespace {

// The system string allocator, bound when the first wide string crosses a boundary: a start that
// hands none over does not load the automation library and what it brings with it.
struct TSystemStrings {
    decltype(&SysAllocStringLen) Alloc = nullptr;
    decltype(&SysFreeString) Free = nullptr;
};

const TSystemStrings& SystemStrings() {
    static const TSystemStrings api = [] {
        TSystemStrings found;
        const HMODULE library = LoadLibraryW(L"oleaut32.dll");
        BindExport(library, "SysAllocStringLen", found.Alloc);
        BindExport(library, "SysFreeString", found.Free);
        return found;
    }();
    return api;
}

} // namespace

char16_t* PasWideAlloc(std::u16string_view text) {
    if (text.empty()) return nullptr;
    const auto alloc = SystemStrings().Alloc;
    BSTR s = alloc ? alloc(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()))
                   : nullptr;
    if (s == nullptr) throw std::bad_alloc();
    return reinterpret_cast<char16_t*>(s);
}

void PasWideFree(char16_t* data) {
    // Only ever given strings of this allocator, so it is bound already.
    if (data != nullptr && SystemStrings().Free) SystemStrings().Free(reinterpret_cast<BSTR>(data));
}
