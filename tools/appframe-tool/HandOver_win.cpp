// "appframe-tool handover APPID JSON": hands a sign-in over to the running client of that
// application id, as a sibling program does. It asks who is there with the registered message
// named after the id (code 3, answered by message 3025 naming the client's own window), sends
// the JSON as an ANSI WM_COPYDATA block to that window and prints the client's result code.
#include "host/HostMessages.h"

#include "foundation/TextCodec.h"

#include <windows.h>

#include <iostream>
#include <string>
#include <vector>

namespace {

HWND GAnswer = nullptr;

LRESULT CALLBACK AskerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kMsgPresenceAnswer) {
        GAnswer = reinterpret_cast<HWND>(lParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The client's window, or null when no client of that id answers within the time.
HWND FindClientWindow(const std::string& appId, DWORD patienceMs) {
    WNDCLASSW cls{};
    cls.lpfnWndProc = AskerProc;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.lpszClassName = L"AppFrameToolHandOver";
    RegisterClassW(&cls);
    // A hidden top-level window: broadcasts reach it, message-only windows they would not.
    HWND asker = CreateWindowExW(0, cls.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                 cls.hInstance, nullptr);
    if (asker == nullptr) return nullptr;
    const UINT registered = RegisterWindowMessageW(Widen(appId).c_str());
    PostMessageW(HWND_BROADCAST, registered, kInstancePresence, reinterpret_cast<LPARAM>(asker));
    const DWORD start = GetTickCount();
    while (GAnswer == nullptr && GetTickCount() - start < patienceMs) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
    DestroyWindow(asker);
    return GAnswer;
}

} // namespace

int RunHandOver(const std::vector<std::string>& args) {
    if (args.size() != 3) {
        std::cerr << "usage: appframe-tool handover APPID LOGIN_JSON\n";
        return 2;
    }
    const HWND client = FindClientWindow(args[1], 5000);
    if (client == nullptr) {
        std::cerr << "appframe-tool: no client of " << args[1] << " answered\n";
        return 1;
    }
    std::string block = Utf8ToAnsi(args[2]);
    COPYDATASTRUCT data{};
    data.cbData = static_cast<DWORD>(block.size() + 1);
    data.lpData = block.data();
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(client, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 20000,
                             &result)) {
        std::cerr << "appframe-tool: the client did not take the hand-over\n";
        return 1;
    }
    std::cout << result << "\n";
    return result == static_cast<DWORD_PTR>(kHandOverDone) ? 0 : 1;
}
