#include "webbridge/WinControlRef.h"

#include "foundation/TextCodec.h"

#include <windows.h>

#include <cwchar>
#include <map>
#include <mutex>

namespace {

std::mutex gLiveLock;
std::map<const void*, HWND> gLive; // handed-out pointer -> the control's window

HWND Wnd(TFwHandle h) {
    return reinterpret_cast<HWND>(h);
}

bool IsHexDigits(const wchar_t* text, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (!iswxdigit(text[i])) return false;
    return text[count] == 0;
}

// The names the component runtime gives the properties holding a control object: "ControlOfs"
// followed by its module instance and thread id, and "Delphi" followed by the process id, each
// in eight hex digits.
bool IsRuntimeObjectProperty(const wchar_t* name) {
    constexpr wchar_t kControlOfs[] = L"ControlOfs";
    constexpr wchar_t kDelphi[] = L"Delphi";
    constexpr size_t kControlOfsLength = std::size(kControlOfs) - 1;
    constexpr size_t kDelphiLength = std::size(kDelphi) - 1;
    if (_wcsnicmp(name, kControlOfs, kControlOfsLength) == 0)
        return IsHexDigits(name + kControlOfsLength, 16);
    if (_wcsnicmp(name, kDelphi, kDelphiLength) == 0) return IsHexDigits(name + kDelphiLength, 8);
    return false;
}

struct TSearch {
    HANDLE Object;
    HWND Found = nullptr;
};

BOOL CALLBACK PropertyMatches(HWND, LPWSTR name, HANDLE data, ULONG_PTR param) {
    auto* search = reinterpret_cast<TSearch*>(param);
    if (data != search->Object) return TRUE;
    // Properties set by atom come as the atom itself on some systems.
    wchar_t atomName[256];
    const wchar_t* text = name;
    if (IS_INTRESOURCE(name)) {
        if (GlobalGetAtomNameW(static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name)), atomName,
                               static_cast<int>(std::size(atomName))) == 0)
            return TRUE;
        text = atomName;
    }
    return IsRuntimeObjectProperty(text) ? FALSE : TRUE;
}

BOOL CALLBACK CheckWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<TSearch*>(param);
    // The enumeration answers what the last call answered: FALSE only when a property matched.
    if (EnumPropsExW(window, &PropertyMatches, param) == FALSE) {
        search->Found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CheckTopLevel(HWND window, LPARAM param) {
    if (CheckWindow(window, param) == FALSE) return FALSE;
    EnumChildWindows(window, &CheckWindow, param); // every descendant
    return reinterpret_cast<TSearch*>(param)->Found == nullptr ? TRUE : FALSE;
}

HWND RuntimeObjectWindow(const void* object) {
    TSearch search{const_cast<HANDLE>(object)};
    EnumThreadWindows(GetCurrentThreadId(), &CheckTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

} // namespace

void RegisterLiveControl(const void* object, TFwHandle window) {
    std::lock_guard<std::mutex> guard(gLiveLock);
    gLive[object] = Wnd(window);
}

void UnregisterLiveControl(const void* object) {
    std::lock_guard<std::mutex> guard(gLiveLock);
    gLive.erase(object);
}

bool IsLiveControlWindow(TFwHandle window) {
    std::lock_guard<std::mutex> guard(gLiveLock);
    for (const auto& [object, own] : gLive)
        if (own == Wnd(window)) return true;
    return false;
}

TFwHandle WindowOfControl(TWinControlRef control) {
    if (control == nullptr) return 0;
    {
        std::lock_guard<std::mutex> guard(gLiveLock);
        const auto live = gLive.find(control);
        if (live != gLive.end()) return reinterpret_cast<TFwHandle>(live->second);
    }
    if (const HWND window = RuntimeObjectWindow(control)) return reinterpret_cast<TFwHandle>(window);
    const HWND window = static_cast<HWND>(control);
    return IsWindow(window) ? reinterpret_cast<TFwHandle>(window) : 0;
}

std::string WindowClassName(TFwHandle window) {
    wchar_t name[257] = {};
    const int length = window != 0 ? GetClassNameW(Wnd(window), name, static_cast<int>(std::size(name))) : 0;
    return length > 0 ? Narrow(std::wstring(name, static_cast<size_t>(length))) : std::string();
}
