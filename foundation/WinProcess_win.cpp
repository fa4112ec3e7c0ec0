#include "foundation/WinProcess.h"

#include "foundation/TextCodec.h"

#include <windows.h>

#include <shellapi.h>

std::vector<std::string> ProcessParameters() {
    std::vector<std::string> params;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return params;
    for (int i = 1; i < argc; ++i)
        params.push_back(Narrow(argv[i]));
    LocalFree(argv);
    return params;
}

void ProcessPendingMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void* ExportAddress(void* module, const char* name) {
    return module ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name)) : nullptr;
}

std::string ModuleNameAt(const void* address, uintptr_t* base) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module))
        return {};
    if (base != nullptr) *base = reinterpret_cast<uintptr_t>(module);
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
    std::wstring_view name(path, n);
    const size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring_view::npos) name.remove_prefix(slash + 1);
    return Narrow(name);
}
