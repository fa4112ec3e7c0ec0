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
