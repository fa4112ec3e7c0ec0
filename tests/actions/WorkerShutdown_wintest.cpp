// Stopping the workers from the user-interface thread while a worker is blocked sending a message
// to a window of that very thread: the message is handled, the worker finishes and ends, and the
// stop returns instead of hanging.
#include "DispatchFakes.h"

#include "foundation/ScopedWin.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

using namespace dispatch_test;

namespace {

constexpr UINT kAnswerMessage = WM_APP + 1; // wParam: caller number, lParam: answer text
constexpr UINT kPostedMessage = WM_APP + 2; // posted while stopping; must stay queued
constexpr UINT kSendPatienceMs = 30000;     // a broken stop shows up as a timed-out send

// A page window on the test's thread; what it received, in order.
class TPageWindow {
public:
    TPageWindow() {
        static const ATOM windowClass = [] {
            WNDCLASSW wc = {};
            wc.lpfnWndProc = &TPageWindow::Proc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"WorkerShutdownPage";
            return RegisterClassW(&wc);
        }();
        (void)windowClass;
        FWindow = CreateWindowW(L"WorkerShutdownPage", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), this);
    }
    ~TPageWindow() { DestroyWindow(FWindow); }
    TPageWindow(const TPageWindow&) = delete;
    TPageWindow& operator=(const TPageWindow&) = delete;

    HWND Get() const { return FWindow; }
    std::vector<std::string> Received; // "answer <callerNo> <text>" or "posted"

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<TPageWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && message == kAnswerMessage) {
            self->Received.push_back("answer " + std::to_string(static_cast<int>(wParam)) + " " +
                                     reinterpret_cast<const char*>(lParam));
            return 1;
        }
        if (self && message == kPostedMessage) {
            self->Received.push_back("posted");
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    HWND FWindow = nullptr;
};

// Reaches the page the way the framework's windows are reached: by a message sent to a window
// of the user-interface thread, which the worker waits for.
class TSendingPort final : public IDispatchPort {
public:
    explicit TSendingPort(HWND page) : FPage(page), FSending(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

    TFwRef<IAppContext> GetAppContext() override { return TFwRef<IAppContext>(TFakeAppContext::Create()); }
    void AppendParams(IJsCallerInf& params, const TVarArgs& args) override {
        TranParamToJsCallerInf(args, params);
    }
    bool CallJsFunction(int32_t, int32_t callerNo, const std::string& answer) override {
        return Send(static_cast<WPARAM>(callerNo), answer);
    }
    bool CallRegisterFun(const std::string& funName, const TVarArgs& args) override {
        return Send(0, funName + "(" + (args.empty() ? std::string() : args[0].VText) + ")");
    }
    void WriteLog(const std::string& line) override {
        std::lock_guard<std::mutex> guard(FLock);
        FLog.push_back(line);
    }

    // Waits (without handling messages) until a worker is about to send.
    bool WaitUntilSending() { return WaitForSingleObject(FSending.Get(), kSendPatienceMs) == WAIT_OBJECT_0; }
    bool TimedOut() {
        std::lock_guard<std::mutex> guard(FLock);
        return FTimedOut;
    }
    std::vector<std::string> Log() {
        std::lock_guard<std::mutex> guard(FLock);
        return FLog;
    }

private:
    bool Send(WPARAM number, const std::string& text) {
        SetEvent(FSending.Get());
        DWORD_PTR result = 0;
        const bool sent =
            SendMessageTimeoutW(FPage, kAnswerMessage, number, reinterpret_cast<LPARAM>(text.c_str()),
                                SMTO_NORMAL, kSendPatienceMs, &result) != 0;
        if (!sent) {
            std::lock_guard<std::mutex> guard(FLock);
            FTimedOut = true;
        }
        return sent && result == 1;
    }

    HWND FPage;
    UniqueHandle FSending;
    std::mutex FLock;
    std::vector<std::string> FLog;
    bool FTimedOut = false;
};

void HandlePostedMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
}

class WorkerShutdownTest : public ::testing::Test {
protected:
    void SetUp() override {
        TJournal::Instance().Clear();
        Registry.InitAllModules(TestClasses());
    }

    TPageWindow Page;
    TSendingPort Port{Page.Get()};
    TFakeFiles Files;
    TActionRegistry Registry{Port, Files};
};

} // namespace

TEST_F(WorkerShutdownTest, StoppingTheRunnerWhileItAnswersAPageOfThisThreadDeliversTheAnswerAndEnds) {
    TAsyRunTask runner(Port, Registry);
    Registry.SetTaskRunner(&runner);
    TOwnedContext page(7, 1);
    page->GetParams()->AddStrParam(jptText, "x");
    ASSERT_EQ(Registry.CallActionFun("app.login", page.Wrap()), CLAsync);
    ASSERT_TRUE(Port.WaitUntilSending());
    PostMessageW(Page.Get(), kPostedMessage, 0, 0);

    runner.Stop();

    EXPECT_FALSE(Port.TimedOut()) << "the stopping thread never handled the worker's message";
    EXPECT_EQ(Page.Received, (std::vector<std::string>{"answer 7 login:x"}))
        << "only sent messages are handled while stopping";
    const std::vector<std::string> log = Port.Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "异步任务线程已退出！");
    EXPECT_EQ(page->RefCount(), 1u) << "the runner let go of the context before it ended";

    HandlePostedMessages();
    EXPECT_EQ(Page.Received.back(), "posted");
}

TEST_F(WorkerShutdownTest, StoppingThePollerWhileItCallsThePageEndsItAfterThatCall) {
    TAsyGetMessage poller(Port, Registry);
    ASSERT_TRUE(poller.AppendNotifyTask("通知账户更新", NTUser, {TVarRec::Text("u")}));
    ASSERT_TRUE(Port.WaitUntilSending());

    poller.Stop();

    EXPECT_FALSE(Port.TimedOut());
    EXPECT_EQ(Page.Received, (std::vector<std::string>{"answer 0 UserLoginNotify(u)"}));
    const std::vector<std::string> log = Port.Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "用户登录通知已送达！"), 1);
}

TEST_F(WorkerShutdownTest, StoppingAWorkerThatIsNotSendingNeedsNoMessages) {
    TAsyRunTask runner(Port, Registry);
    PostMessageW(Page.Get(), kPostedMessage, 0, 0);
    runner.Stop();
    runner.Stop();
    EXPECT_TRUE(Page.Received.empty());
    const std::vector<std::string> log = Port.Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "异步任务线程已退出！"), 1);
    HandlePostedMessages();
}
