// Time from the client's process start to its splash window being on screen, under Wine with the
// stand-in libraries: the program folder of the build is started RUNS times (default 10) with a
// page session that never loads, the splash window is watched for from here, and the client is
// ended once it shows. Prints the median and the spread, from the process's creation time and
// from just before CreateProcess. For comparison the same is measured for the least a program can
// do: this program started again, showing a bare window of the splash's class at once - Wine's
// own cost of starting a process and showing a window.
// usage: splashshow_winbench.exe [RUNS]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct TFind {
    DWORD Pid;
    HWND Found;
};
BOOL CALLBACK Match(HWND window, LPARAM param) {
    auto* find = reinterpret_cast<TFind*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (pid == find->Pid && wcscmp(name, L"TfrmSplashFrm") == 0 && IsWindowVisible(window)) {
        find->Found = window;
        return FALSE;
    }
    return TRUE;
}

double FileTimeMs(const FILETIME& t) {
    return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
}
} // namespace

// The bare program: a window of the splash's class, shown at once, until it is ended.
int BareWindow() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TfrmSplashFrm";
    RegisterClassExW(&wc);
    HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, L"TfrmSplashFrm", L"", WS_POPUP, 0, 0, 505, 395, nullptr,
                                  nullptr, wc.hInstance, nullptr);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    Sleep(INFINITE);
    return 0;
}

struct TFigures {
    std::vector<double> FromCall, FromCreation;
};

TFigures Measure(const std::wstring& exe, const std::wstring& args, const std::wstring& folder, int runs) {
    TFigures figures;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    for (int i = 0; i < runs; ++i) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        std::wstring command = L"\"" + exe + L"\"" + args;
        LARGE_INTEGER before, after;
        QueryPerformanceCounter(&before);
        if (!CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                            &si, &pi)) {
            std::printf("cannot start %ls (%lu)\n", exe.c_str(), GetLastError());
            return figures;
        }
        TFind find{pi.dwProcessId, nullptr};
        const DWORD start = GetTickCount();
        while (!find.Found && GetTickCount() - start < 20000 &&
               WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) {
            EnumWindows(&Match, reinterpret_cast<LPARAM>(&find));
            if (!find.Found) Sleep(1);
        }
        QueryPerformanceCounter(&after);
        FILETIME created{}, exited{}, kernel{}, user{}, now{};
        GetProcessTimes(pi.hProcess, &created, &exited, &kernel, &user);
        GetSystemTimeAsFileTime(&now);
        TerminateProcess(pi.hProcess, 0);
        WaitForSingleObject(pi.hProcess, 10000);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        if (!find.Found) {
            std::printf("run %d: the window did not show\n", i + 1);
            continue;
        }
        figures.FromCall.push_back(static_cast<double>(after.QuadPart - before.QuadPart) * 1000.0 /
                                   frequency.QuadPart);
        figures.FromCreation.push_back(FileTimeMs(now) - FileTimeMs(created));
        Sleep(300); // let the previous instance's mutex and windows go
    }
    return figures;
}

void Print(const char* what, const TFigures& f) {
    if (f.FromCall.empty()) return;
    std::printf("%s, %zu runs:\n", what, f.FromCall.size());
    std::printf("  from CreateProcess:        median %.1f ms, min %.1f ms, max %.1f ms\n", Median(f.FromCall),
                *std::min_element(f.FromCall.begin(), f.FromCall.end()),
                *std::max_element(f.FromCall.begin(), f.FromCall.end()));
    std::printf("  from the process creation: median %.1f ms\n", Median(f.FromCreation));
}

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--bare") return BareWindow();
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self);
    folder.resize(folder.find_last_of(L'\\'));
    folder.resize(folder.find_last_of(L'\\') + 1);
    folder += L"program\\";
    const std::wstring exe = folder + L"AppFrameMain.exe";
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring scenario = std::wstring(temp) + L"splashshow-scenario.json";
    const std::wstring params = std::wstring(temp) + L"splashshow-params.json";
    auto write = [](const std::wstring& path, const char* text) {
        HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD done = 0;
        WriteFile(f, text, static_cast<DWORD>(strlen(text)), &done, nullptr);
        CloseHandle(f);
    };
    write(scenario, R"({"steps":[{"after":30000,"do":"close"}]})");
    write(params, R"({"params":{"DyncConfig":{"DyncParams":{"splashWait":"30000"}}}})");
    SetEnvironmentVariableW(L"APPFRAME_STUB_SCENARIO", scenario.c_str());
    SetEnvironmentVariableW(L"APPFRAME_STUB_PARAMS", params.c_str());

    const TFigures client = Measure(exe, L"", folder, runs);
    const TFigures bare = Measure(self, L" --bare", folder, runs);
    std::printf("start -> splash visible under Wine (stand-in libraries)\n");
    Print("AppFrameMain.exe", client);
    Print("a bare window (Wine's floor)", bare);
    return client.FromCall.empty() ? 1 : 0;
}
