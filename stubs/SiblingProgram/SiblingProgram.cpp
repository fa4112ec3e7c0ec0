// Stand-in for the sibling programs the client starts (test equipment): the emergency helper,
// the help-service program, the assistant, BREV. Tests copy it under the name they need. It
// appends one JSON line describing how it was started to the file named by APPFRAME_SIBLING_LOG
// (else "SiblingCalls.jsonl" beside itself):
//   {"path":..,"commandLine":..,"args":[..],"workingFolder":..,"showWindow":n|null,"pid":n}
// "showWindow" is the show state the starter asked for (null when it asked for none). Then it
// exits with APPFRAME_SIBLING_EXIT_CODE (default 0), first waiting, when APPFRAME_SIBLING_WAIT_EVENT
// names an event, until that event is set or APPFRAME_SIBLING_WAIT_MS (default 60000) pass.
#include "../StubCommon/StubLog.h"

#include <shellapi.h>

namespace {
const int kAnchor = 0;

std::string Describe() {
    wchar_t path[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    wchar_t folder[MAX_PATH * 4] = {};
    GetCurrentDirectoryW(MAX_PATH * 4, folder);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    GetStartupInfoW(&si);

    std::string args = "[";
    int argc = 0;
    if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc)) {
        for (int i = 1; i < argc; ++i)
            args += (i > 1 ? "," : "") + stub::JsonQuote(stub::WideToUtf8(argv[i]));
        LocalFree(argv);
    }
    args += "]";

    std::string line = "{\"path\":" + stub::JsonQuote(stub::WideToUtf8(path));
    line += ",\"commandLine\":" + stub::JsonQuote(stub::WideToUtf8(GetCommandLineW()));
    line += ",\"args\":" + args;
    line += ",\"workingFolder\":" + stub::JsonQuote(stub::WideToUtf8(folder));
    line += ",\"showWindow\":";
    line += (si.dwFlags & STARTF_USESHOWWINDOW) ? std::to_string(si.wShowWindow) : std::string("null");
    line += ",\"pid\":" + std::to_string(GetCurrentProcessId()) + "}";
    return line;
}
} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    stub::AppendLine(stub::LogFile(L"APPFRAME_SIBLING_LOG", L"SiblingCalls.jsonl", &kAnchor), Describe());
    const std::wstring eventName = stub::EnvVar(L"APPFRAME_SIBLING_WAIT_EVENT");
    if (!eventName.empty()) {
        if (HANDLE ev = CreateEventW(nullptr, TRUE, FALSE, eventName.c_str())) {
            WaitForSingleObject(ev, static_cast<DWORD>(stub::EnvInt(L"APPFRAME_SIBLING_WAIT_MS", 60000)));
            CloseHandle(ev);
        }
    }
    return static_cast<int>(stub::EnvInt(L"APPFRAME_SIBLING_EXIT_CODE", 0));
}
