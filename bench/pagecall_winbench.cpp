// Round trip of an asynchronous page call through the stand-in framework under Wine: the library
// fires a page event on the main form, the host's handler wraps the call and dispatches it, the
// task runner runs the action and sends the answer (message 2029) to the page window, and the
// page window's procedure sees it. The page window is subclassed here to timestamp that moment.
//
// usage: pagecall_winbench [calls] [idle-seconds]
#include "actions/ActionRegistry.h"
#include "actions/AsyncTasks.h"
#include "host/HostMessages.h"
#include "host/QeltContext.h"
#include "webbridge/AppFramework.h"
#include "webbridge/WebBrowserEvent.h"
#include "AppFramework/StubControl.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

double Seconds(LONGLONG ticks) {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    return static_cast<double>(ticks) / static_cast<double>(frequency);
}

LONGLONG Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

// ---- what the page window saw ----

WNDPROC GPageProc = nullptr;
HWND GPageWindow = nullptr;
volatile LONG GAnsweredCaller = 0;
LONGLONG GAnsweredAt = 0;

LRESULT CALLBACK TimedPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kFwMsgAnswerCaller) {
        GAnsweredAt = Now();
        const LRESULT result = CallWindowProcW(GPageProc, window, message, wParam, lParam);
        InterlockedExchange(&GAnsweredCaller, static_cast<LONG>(wParam));
        return result;
    }
    return CallWindowProcW(GPageProc, window, message, wParam, lParam);
}

// ---- the host side ----

class TBenchSvc : public TActionService {
public:
    bool InitEnvironment(TCallerContext*) { return true; }
    std::string Echo(TCallerContext* c) { return "{\"callerNo\":" + std::to_string(c->CallerNo()) + "}"; }
};

const TServiceClass& BenchClass() {
    static const TServiceClass cls =
        MakeServiceClass<TBenchSvc>("TBenchSvc", "bench",
                                    {
                                        {"InitEnvironment", &TBenchSvc::InitEnvironment, {"", actALL}},
                                        {"Echo", &TBenchSvc::Echo, {"Echo", actASync}},
                                        {"Echo", &TBenchSvc::Echo, {"SyncEcho", actALL}},
                                    });
    return cls;
}

// The framework binding, with or without its main log (the stand-in appends each line to a file).
class TBenchPort final : public IDispatchPort {
public:
    bool Quiet = false;
    TFwRef<IAppContext> GetAppContext() override { return DefaultDispatchPort().GetAppContext(); }
    void AppendParams(IJsCallerInf& params, const TVarArgs& args) override {
        DefaultDispatchPort().AppendParams(params, args);
    }
    bool CallJsFunction(int32_t webId, int32_t callerNo, const std::string& answer) override {
        return DefaultDispatchPort().CallJsFunction(webId, callerNo, answer);
    }
    bool CallRegisterFun(const std::string& funName, const TVarArgs& args) override {
        return DefaultDispatchPort().CallRegisterFun(funName, args);
    }
    void WriteLog(const std::string& line) override {
        if (!Quiet) DefaultDispatchPort().WriteLog(line);
    }
};

// Library probes go to the disk, as in the program.
class TBenchFiles final : public IDispatchEnvironment {
public:
    bool FileExists(const std::string& path) override {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    std::string ProgramFolder() override {
        char buffer[MAX_PATH];
        const DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
        std::string path(buffer, n);
        return path.substr(0, path.find_last_of('\\') + 1);
    }
    std::string ExtModulePath(const std::string&) override { return {}; }
    void ShowMessage(const std::string&) override {}
};

// The main form's page calls, handled the way the host's main-window handler does.
class TBenchHandler final : public TWebBrowserEventSink {
public:
    TBenchHandler(TActionRegistry& registry, TBenchPort& port) : FRegistry(registry), FPort(port) {}
    LONGLONG EnteredAt = 0;
    void OnWebBrowserEvent(void*, void*, int32_t iEventType, const std::string& sEventName,
                           IAppContext* aAppContext) override {
        EnteredAt = Now();
        FPort.WriteLog("OnMainFormEvent IN " + sEventName);
        if (ClassifyMainFormEvent(iEventType, sEventName) == TMainEventKind::PageCall && aAppContext) {
            const TCallerContextPtr context = TCallerContext::Create(aAppContext);
            AnswerPageCall(FRegistry.CallActionFun(sEventName, context), *context, FPort);
        }
        FPort.WriteLog("OnMainFormEvent OUT " + sEventName);
    }

private:
    TActionRegistry& FRegistry;
    TBenchPort& FPort;
};

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

struct TFigures {
    std::vector<double> FromFire;    // event fired -> answer seen by the page window (us)
    std::vector<double> FromHandler; // handler entered -> answer seen (us)
};

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const size_t index = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

void Print(const char* label, const TFigures& f) {
    std::printf("%-46s n=%zu  median %7.1f us  p90 %7.1f us  p99 %7.1f us  max %8.1f us"
                "  (from handler: median %7.1f us, p90 %7.1f us)\n",
                label, f.FromFire.size(), Percentile(f.FromFire, 0.5), Percentile(f.FromFire, 0.9),
                Percentile(f.FromFire, 0.99), Percentile(f.FromFire, 1.0), Percentile(f.FromHandler, 0.5),
                Percentile(f.FromHandler, 0.9));
}

TStubRunStep GRunStep = nullptr;
LONG GNextCaller = 0;

// Fires page calls one after the other, each once the previous answer has arrived.
bool RoundTrips(const char* action, int calls, TBenchHandler& handler, TFigures& figures) {
    for (int i = 0; i < calls; ++i) {
        const LONG callerNo = ++GNextCaller;
        const std::string step = std::string("{\"do\":\"event\",\"name\":\"") + action +
                                 "\",\"callerNo\":" + std::to_string(callerNo) + "}";
        const LONGLONG fired = Now();
        if (!IsTrue(GRunStep(step.c_str()))) return false;
        const DWORD startTick = GetTickCount();
        while (InterlockedCompareExchange(&GAnsweredCaller, 0, 0) != callerNo) {
            if (GetTickCount() - startTick > 10000) {
                std::printf("no answer for caller %ld\n", callerNo);
                return false;
            }
            MsgWaitForMultipleObjectsEx(0, nullptr, 1000, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            Pump();
        }
        figures.FromFire.push_back(Seconds(GAnsweredAt - fired) * 1e6);
        figures.FromHandler.push_back(Seconds(GAnsweredAt - handler.EnteredAt) * 1e6);
    }
    return true;
}

// A port that only signals the answer: the task runner's own hand-off cost.
class TSignalPort final : public IDispatchPort {
public:
    HANDLE Answered = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    LONGLONG AnsweredAt = 0;
    ~TSignalPort() { CloseHandle(Answered); }
    TFwRef<IAppContext> GetAppContext() override { return {}; }
    void AppendParams(IJsCallerInf&, const TVarArgs&) override {}
    bool CallJsFunction(int32_t, int32_t, const std::string&) override {
        AnsweredAt = Now();
        SetEvent(Answered);
        return true;
    }
    bool CallRegisterFun(const std::string&, const TVarArgs&) override { return false; }
    void WriteLog(const std::string&) override {}
};

LRESULT CALLBACK EchoProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) return 1;
    return DefWindowProcW(window, message, wParam, lParam);
}

// Where the round trip's time goes, piece by piece.
void Components(int calls, IAppContext* page) {
    std::vector<double> us;
    for (int i = 0; i < calls; ++i) {
        const LONGLONG t = Now();
        GetAppFramework().WriteLog("%s", TVarArgs{TVarRec::Text("bench line")});
        us.push_back(Seconds(Now() - t) * 1e6);
    }
    std::printf("%-46s median %7.1f us  p90 %7.1f us\n", "one main-log line (stand-in appends to a file)",
                Percentile(us, 0.5), Percentile(us, 0.9));

    us.clear();
    for (int i = 0; i < calls; ++i) {
        const LONGLONG t = Now();
        DefaultDispatchPort().CallJsFunction(static_cast<int32_t>(reinterpret_cast<intptr_t>(GPageWindow)), 1,
                                             "{}");
        us.push_back(Seconds(Now() - t) * 1e6);
    }
    std::printf("%-46s median %7.1f us  p90 %7.1f us\n", "answer sent on the UI thread (2 log lines, 2029)",
                Percentile(us, 0.5), Percentile(us, 0.9));

    // For comparison: the same line appended to a file that stays open.
    {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        const std::string path = std::string(temp) + "pagecall_winbench.log";
        if (FILE* file = std::fopen(path.c_str(), "ab")) {
            us.clear();
            for (int i = 0; i < calls; ++i) {
                const LONGLONG t = Now();
                std::fputs("2024-01-01 00:00:00.000 bench line\r\n", file);
                std::fflush(file);
                us.push_back(Seconds(Now() - t) * 1e6);
            }
            std::fclose(file);
            std::printf("%-46s median %7.1f us  p90 %7.1f us\n",
                        "one line to a log file kept open (reference)", Percentile(us, 0.5),
                        Percentile(us, 0.9));
        }
        DeleteFileA(path.c_str());
    }

    TBenchFiles files;
    const std::string probe = files.ProgramFolder() + "\\bench.dll";
    us.clear();
    for (int i = 0; i < calls; ++i) {
        const LONGLONG t = Now();
        files.FileExists(probe);
        us.push_back(Seconds(Now() - t) * 1e6);
    }
    std::printf("%-46s median %7.1f us  p90 %7.1f us\n", "one library probe (missing file)",
                Percentile(us, 0.5), Percentile(us, 0.9));

    WNDCLASSW wc = {};
    wc.lpfnWndProc = EchoProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"PageCallBenchEcho";
    RegisterClassW(&wc);
    const HWND echo = CreateWindowW(L"PageCallBenchEcho", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
    HANDLE go = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    volatile LONG stop = 0;
    std::vector<double> sendUs;
    std::thread sender([&] {
        while (WaitForSingleObject(go, INFINITE) == WAIT_OBJECT_0 && !stop) {
            const LONGLONG t = Now();
            SendMessageW(echo, WM_APP, 0, 0);
            sendUs.push_back(Seconds(Now() - t) * 1e6);
            SetEvent(done);
        }
    });
    for (int i = 0; i < calls; ++i) {
        SetEvent(go);
        while (MsgWaitForMultipleObjectsEx(1, &done, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE) !=
               WAIT_OBJECT_0)
            Pump();
    }
    stop = 1;
    SetEvent(go);
    sender.join();
    DestroyWindow(echo);
    CloseHandle(go);
    CloseHandle(done);
    std::printf("%-46s median %7.1f us  p90 %7.1f us\n", "worker SendMessage to a UI-thread window",
                Percentile(sendUs, 0.5), Percentile(sendUs, 0.9));

    TSignalPort port;
    TBenchFiles noFiles;
    TActionRegistry registry(port, noFiles);
    registry.InitAllModules({&BenchClass()});
    TAsyRunTask runner(port, registry);
    TCefActionReference* bench = registry.GetActionReference("bench");
    PMethodInfo echoInfo = bench->GetMethodInfo("Echo");
    TActionService* instance = bench->GetActInstance(true);
    us.clear();
    for (int i = 0; i < calls; ++i) {
        const LONGLONG t = Now();
        runner.AppendTask(instance, echoInfo, TCallerContext::Create(page), &BenchClass());
        WaitForSingleObject(port.Answered, INFINITE);
        us.push_back(Seconds(port.AnsweredAt - t) * 1e6);
    }
    std::printf("%-46s median %7.1f us  p90 %7.1f us\n", "task runner: append -> action run -> answer",
                Percentile(us, 0.5), Percentile(us, 0.9));
}

// Lets the user-interface thread idle (handling messages as a message loop would) for a while.
void Idle(DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MsgWaitForMultipleObjectsEx(0, nullptr, ms - (GetTickCount() - start), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
        Pump();
    }
}

int Run(int calls, int idleSeconds) {
    TBenchPort port;
    TBenchFiles files;
    TActionRegistry registry(port, files);
    registry.InitAllModules({&BenchClass()});
    TAsyRunTask runner(port, registry);
    registry.SetTaskRunner(&runner);
    TAsyGetMessage poller(port, registry);
    TBenchHandler handler(registry, port);

    TAppFramework& framework = GetAppFramework();
    const HWND form = reinterpret_cast<HWND>(framework.InitMainForm(false, nullptr, handler.Callback(), ""));
    const HWND page = form ? reinterpret_cast<HWND>(SendMessageW(form, kFwMsgGetWebID, 0, 0)) : nullptr;
    GRunStep = reinterpret_cast<TStubRunStep>(LoadLibFunction(GetFrameworkLibPath(), kExpStubRunStep));
    if (!page || !GRunStep) {
        std::printf("the stand-in framework gave no main form\n");
        return 1;
    }
    GPageWindow = page;
    GPageProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(page, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TimedPageProc)));

    std::printf("pieces of a page call under Wine, %d each:\n", calls);
    {
        TFwRef<IAppContext> context = framework.GetAppContext();
        Components(calls, context.Get());
    }
    // The stand-in's log grows by nine lines a call; each run below starts from an empty one.
    const std::string logPath = files.ProgramFolder() + "AppFramework.log";
    DeleteFileA(logPath.c_str());

    std::printf("page-call round trips under Wine, %d calls each\n", calls);
    TFigures warm;
    port.Quiet = true;
    if (!RoundTrips("bench.Echo", calls / 10 + 1, handler, warm)) return 1;

    struct {
        const char* Label;
        const char* Action;
        bool Quiet;
    } runs[] = {
        {"async, main log to the framework's file", "bench.Echo", false},
        {"async, main log off", "bench.Echo", true},
        {"sync (answered on the UI thread), log off", "bench.SyncEcho", true},
    };
    for (const auto& run : runs) {
        port.Quiet = run.Quiet;
        DeleteFileA(logPath.c_str());
        TFigures figures;
        if (!RoundTrips(run.Action, calls, handler, figures)) return 1;
        Print(run.Label, figures);
    }

    port.Quiet = true;
    const uint32_t runnerBefore = runner.WakeUps(), pollerBefore = poller.WakeUps();
    Idle(static_cast<DWORD>(idleSeconds) * 1000);
    std::printf("idle %d s: task runner woke %u times, message poller %u times\n", idleSeconds,
                runner.WakeUps() - runnerBefore, poller.WakeUps() - pollerBefore);

    // Shutdown with an answer in flight: the runner sends to the page while this thread stops it.
    const std::string step =
        "{\"do\":\"event\",\"name\":\"bench.Echo\",\"callerNo\":" + std::to_string(++GNextCaller) + "}";
    GRunStep(step.c_str());
    while (runner.PendingCount() != 0)
        Sleep(0);
    const LONGLONG stopping = Now();
    runner.Stop();
    poller.Stop();
    std::printf("stop with an answer in flight: %.1f us, answer %s\n", Seconds(Now() - stopping) * 1e6,
                InterlockedCompareExchange(&GAnsweredCaller, 0, 0) == GNextCaller ? "delivered" : "dropped");
    SetWindowLongPtrW(page, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GPageProc));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const int calls = argc > 1 ? std::max(10, std::atoi(argv[1])) : 1000;
    const int idleSeconds = argc > 2 ? std::max(0, std::atoi(argv[2])) : 3;
    try {
        return Run(calls, idleSeconds);
    } catch (const std::exception& e) {
        std::printf("bench failed: %s\n", e.what());
        return 1;
    }
}
