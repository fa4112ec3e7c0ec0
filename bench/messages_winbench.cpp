// Messages reaching a page under Wine, with the real app and msg services and the stand-in
// framework, account and push-message libraries: a signed-in page calls "msg.GetMessage" with a
// caller number; the task runner configures and fetches, the answer (message 2029) reaches the
// page window, and the background fetch it scheduled reaches the page function "MessageNotify".
// Each call uses a new type list, so each schedules its own background fetch. Then both workers
// idle with the user signed in.
//
// usage: messages_winbench [calls] [idle-seconds]
#include "actions/ActionRegistry.h"
#include "actions/AsyncTasks.h"
#include "host/HostMessages.h"
#include "host/QeltContext.h"
#include "services/AccountLibrary.h"
#include "services/ServiceClasses.h"
#include "services/ServiceHost.h"
#include "services/ZRPNSApiContract.h"
#include "webbridge/AppFramework.h"
#include "webbridge/WebBrowserEvent.h"
#include "AppFramework/StubControl.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

LONGLONG Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

double Us(LONGLONG ticks) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(ticks) * 1e6 / static_cast<double>(f.QuadPart);
}

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5)];
}

std::string Folder() {
    char buffer[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    const std::string path(buffer, n);
    return path.substr(0, path.find_last_of('\\') + 1);
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
}

// ---- what the page saw ----
WNDPROC GPageProc = nullptr;
std::atomic<LONG> GAnswered{0};
LONGLONG GAnsweredAt = 0;

LRESULT CALLBACK TimedPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kFwMsgAnswerCaller) {
        GAnsweredAt = Now();
        const LRESULT result = CallWindowProcW(GPageProc, window, message, wParam, lParam);
        GAnswered.store(static_cast<LONG>(wParam));
        return result;
    }
    return CallWindowProcW(GPageProc, window, message, wParam, lParam);
}

// The framework binding, without its main log; "MessageNotify" reaching the page is timestamped.
class TBenchPort final : public IDispatchPort {
public:
    std::atomic<LONG> Notified{0};
    LONGLONG NotifiedAt = 0;
    TFwRef<IAppContext> GetAppContext() override { return DefaultDispatchPort().GetAppContext(); }
    void AppendParams(IJsCallerInf& params, const TVarArgs& args) override {
        DefaultDispatchPort().AppendParams(params, args);
    }
    bool CallJsFunction(int32_t webId, int32_t callerNo, const std::string& answer) override {
        return DefaultDispatchPort().CallJsFunction(webId, callerNo, answer);
    }
    bool CallRegisterFun(const std::string& funName, const TVarArgs& args) override {
        const bool found = DefaultDispatchPort().CallRegisterFun(funName, args);
        if (found && funName == "MessageNotify") {
            NotifiedAt = Now();
            Notified.fetch_add(1);
        }
        return found;
    }
    void WriteLog(const std::string&) override {}
};

class TBenchFiles final : public IDispatchEnvironment {
public:
    bool FileExists(const std::string& path) override {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    std::string ProgramFolder() override { return Folder(); }
    std::string ExtModulePath(const std::string&) override { return {}; }
    void ShowMessage(const std::string&) override {}
};

class TBenchHost final : public IServiceHost {
public:
    TBenchHost(TActionRegistry& registry, TAsyGetMessage& poller) : FRegistry(registry), FPoller(poller) {}
    std::string AppID() override { return "BENCH"; }
    std::string ProgramFolder() override { return Folder(); }
    bool TakeHelpRequest() override { return false; }
    std::string CallAction(const std::string& sAction, const TVarArgs& Args) override {
        return FRegistry.CallActionFun(sAction, Args);
    }
    bool AppendNotifyTask(const std::string& label, TNotifyType type, const TVarArgs& args) override {
        return FPoller.AppendNotifyTask(label, type, args);
    }
    std::string TaxCalendarURL() override { return {}; }

private:
    TActionRegistry& FRegistry;
    TAsyGetMessage& FPoller;
};

class THandler final : public TWebBrowserEventSink {
public:
    THandler(TActionRegistry& registry, IDispatchPort& port) : FRegistry(registry), FPort(port) {}
    void OnWebBrowserEvent(void*, void*, int32_t iEventType, const std::string& sEventName,
                           IAppContext* aAppContext) override {
        if (ClassifyMainFormEvent(iEventType, sEventName) == TMainEventKind::PageCall && aAppContext) {
            const TCallerContextPtr context = TCallerContext::Create(aAppContext);
            AnswerPageCall(FRegistry.CallActionFun(sEventName, context), *context, FPort);
        }
    }

private:
    TActionRegistry& FRegistry;
    IDispatchPort& FPort;
};

TStubRunStep GRunStep = nullptr;

bool WaitFor(const std::function<bool()>& done) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > 10000) return false;
        MsgWaitForMultipleObjectsEx(0, nullptr, 5, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        Pump();
    }
    return true;
}

int Run(int calls, int idleSeconds) {
    const std::string folder = Folder();
    // Fixtures of the stand-ins, read when each library first needs them.
    WriteFile(folder + "bench-params.json", R"({"params":{"StaticConfig":{"EnviParams":{"areaCode":"4401"}},)"
                                            R"("DyncConfig":{"MsgCenter":{"ProductCode":"BENCH-MSG"}}}})");
    WriteFile(folder + "bench-accounts.json",
              R"({"accounts":[{"loginName":"u","password":"p","accountId":"A","token":"T",)"
              R"("userInfo":{"token":"T","loginInfo":{"accountId":"A"}}}]})");
    WriteFile(folder + "bench-messages.json",
              R"({"messages":{"000000_ZYTZ":[{"msgId":1,"bizType":"000000_ZYTZ","title":"t1"},)"
              R"({"msgId":2,"bizType":"000000_ZYTZ","title":"t2"}]}})");
    SetEnvironmentVariableA("APPFRAME_STUB_PARAMS", (folder + "bench-params.json").c_str());
    SetEnvironmentVariableA("APPFRAME_STUB_ACCOUNTS", (folder + "bench-accounts.json").c_str());
    SetEnvironmentVariableA("APPFRAME_STUB_PNS_STORE", (folder + "bench-messages.json").c_str());
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string pushFolder = std::string(windows, 2) + "\\Corvane\\ZRPNS\\";
    CreateDirectoryA((std::string(windows, 2) + "\\Corvane").c_str(), nullptr);
    CreateDirectoryA(pushFolder.c_str(), nullptr);
    CopyFileA((folder + "ZRPNSApi.dll").c_str(), (pushFolder + "ZRPNSApi.dll").c_str(), FALSE);
    if (!LoadZRAccount(folder + "ZRAccount.dll")) {
        std::printf("the stand-in account library did not load\n");
        return 1;
    }

    TBenchPort port;
    TBenchFiles files;
    TActionRegistry registry(port, files);
    RegisterServiceClasses();
    registry.InitAllModules();
    TAsyRunTask runner(port, registry);
    registry.SetTaskRunner(&runner);
    TAsyGetMessage poller(port, registry);
    TBenchHost host(registry, poller);
    SetServiceHost(&host);
    THandler handler(registry, port);

    TAppFramework& framework = GetAppFramework();
    const HWND form = reinterpret_cast<HWND>(framework.InitMainForm(false, nullptr, handler.Callback(), ""));
    const HWND page = form ? reinterpret_cast<HWND>(SendMessageW(form, kFwMsgGetWebID, 0, 0)) : nullptr;
    GRunStep = reinterpret_cast<TStubRunStep>(LoadLibFunction(GetFrameworkLibPath(), kExpStubRunStep));
    if (!page || !GRunStep) {
        std::printf("the stand-in framework gave no main form\n");
        return 1;
    }
    GPageProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(page, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TimedPageProc)));
    GRunStep(R"({"do":"registerFun","name":"MessageNotify","delay":0})");
    LONG callerNo = 1;
    GRunStep(R"({"do":"event","name":"app.login","callerNo":1,"paramTypes":[4],)"
             R"("paramValues":["{\"loginName\":\"u\",\"password\":\"p\"}"]})");
    if (!WaitFor([&] { return GAnswered.load() == 1; })) {
        std::printf("no answer to the sign-in\n");
        return 1;
    }

    std::vector<double> toAnswer, toNotify;
    for (int i = 0; i < calls; ++i) {
        ++callerNo;
        const LONG notifiedBefore = port.Notified.load();
        const std::string step =
            R"({"do":"event","name":"msg.GetMessage","callerNo":)" + std::to_string(callerNo) +
            R"(,"paramTypes":[4,0,0],"paramValues":["000000_ZYTZ,b)" + std::to_string(i) + R"(",10,0]})";
        const LONGLONG fired = Now();
        GRunStep(step.c_str());
        if (!WaitFor([&] { return GAnswered.load() == callerNo; }) ||
            !WaitFor([&] { return port.Notified.load() > notifiedBefore; })) {
            std::printf("call %d: no answer or no notification\n", i);
            return 1;
        }
        toAnswer.push_back(Us(GAnsweredAt - fired));
        toNotify.push_back(Us(port.NotifiedAt - GAnsweredAt));
    }
    std::printf("msg.GetMessage under Wine, %d calls (signed in, stand-in libraries):\n", calls);
    std::printf("  page call -> answer at the page        median %8.1f us  p90 %8.1f us\n",
                Percentile(toAnswer, 0.5), Percentile(toAnswer, 0.9));
    std::printf("  answer -> \"MessageNotify\" at the page  median %8.1f us  p90 %8.1f us\n",
                Percentile(toNotify, 0.5), Percentile(toNotify, 0.9));

    const uint32_t runnerBefore = runner.WakeUps(), pollerBefore = poller.WakeUps();
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < static_cast<DWORD>(idleSeconds) * 1000) {
        MsgWaitForMultipleObjectsEx(0, nullptr, 100, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        Pump();
    }
    std::printf("idle %d s signed in: task runner woke %u times, message poller %u times\n", idleSeconds,
                runner.WakeUps() - runnerBefore, poller.WakeUps() - pollerBefore);
    runner.Stop();
    poller.Stop();
    SetServiceHost(nullptr);
    SetWindowLongPtrW(page, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GPageProc));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const int calls = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200;
    const int idleSeconds = argc > 2 ? std::max(0, std::atoi(argv[2])) : 3;
    try {
        return Run(calls, idleSeconds);
    } catch (const std::exception& e) {
        std::printf("bench failed: %s\n", e.what());
        return 1;
    }
}
