#include "host/MainFormEvents.h"

#include "foundation/ForeignCall.h"
#include "foundation/TextCodec.h"
#include "host/ProcessControl.h"
#include "webbridge/AppFramework.h"

#include <cstring>
#include <memory>

namespace {

class TProgramServices final : public IMainWindowServices {
public:
    TOnMainBrowserEvent MainBrowserHook() override { return GetAppFramework().OnMainBrowserEvent(); }
    TOnAppWakeUp WakeUpHook() override { return GetAppFramework().OnAppWakeUp(); }
    int32_t FormShowModal(void* userContext, bool bUseIE, const std::string& sUrl,
                          TProcWebBrowserEventEx aWebBrowserEvent, IAppContext* aAppContext) override {
        return GetAppFramework().FormShowModal(userContext, bUseIE, sUrl, aWebBrowserEvent, aAppContext);
    }
    bool ExecuteJavaScript(int32_t webId, const std::string& script) override {
        return GetAppFramework().ExecuteJavaScript(webId, script);
    }
    void ShowMessage(const std::string& text) override {
        MessageBoxW(nullptr, Widen(text).c_str(), L"AppFrameMain", MB_OK);
    }
    uint32_t TickCount() override { return GetTickCount(); }
    int64_t LocalWallClockMs() override {
        SYSTEMTIME now;
        GetLocalTime(&now);
        FILETIME asFileTime;
        if (!SystemTimeToFileTime(&now, &asFileTime)) return 0;
        ULARGE_INTEGER ticks;
        ticks.LowPart = asFileTime.dwLowDateTime;
        ticks.HighPart = asFileTime.dwHighDateTime;
        constexpr uint64_t kFileTimeOf1970 = 116444736000000000ULL; // 100 ns units since 1601
        return static_cast<int64_t>((ticks.QuadPart - kFileTimeOf1970) / 10000);
    }
    bool TerminateSelf() override { return ::TerminateSelf(); }
    void RequestAppTermination() override { PostQuitMessage(0); }
};

// Copies memory of this process at an address nobody vouches for; false, without a fault, when it
// cannot be read.
bool CopyForeignMemory(const void* address, void* target, size_t size) {
    if (!address) return false;
    SIZE_T copied = 0;
    return ReadProcessMemory(GetCurrentProcess(), address, target, size, &copied) && copied == size;
}

std::string HandleText(uintptr_t handle) {
    return std::to_string(static_cast<int32_t>(handle));
}

// The application as a whole: its main window.
void MinimizeApplication(HWND mainWindow) {
    if (mainWindow) ShowWindow(mainWindow, SW_MINIMIZE);
}

void RestoreApplication(HWND mainWindow) {
    if (mainWindow && IsIconic(mainWindow)) ShowWindow(mainWindow, SW_RESTORE);
}

bool IsNewerForegroundRules() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExW(&info)) return true;
    if (info.dwPlatformId == VER_PLATFORM_WIN32_NT) return info.dwMajorVersion > 4;
    if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
        return info.dwMajorVersion > 4 || (info.dwMajorVersion == 4 && info.dwMinorVersion >= 10);
    return false;
}

void BringToFront(HWND window) {
    BringWindowToTop(window);
    SetForegroundWindow(window);
}

} // namespace

IMainWindowServices& DefaultMainWindowServices() {
    static TProgramServices services;
    return services;
}

bool ForceForegroundWindow(HWND window) {
    if (!window) return false;
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    if (GetForegroundWindow() == window) return true;
    if (!IsNewerForegroundRules()) {
        BringToFront(window);
        return GetForegroundWindow() == window;
    }
    const DWORD foregroundThread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    const DWORD windowThread = GetWindowThreadProcessId(window, nullptr);
    const bool attach = foregroundThread != 0 && foregroundThread != windowThread;
    if (attach) AttachThreadInput(windowThread, foregroundThread, TRUE);
    BringToFront(window);
    if (attach) AttachThreadInput(windowThread, foregroundThread, FALSE);
    if (GetForegroundWindow() != window) {
        DWORD timeout = 0;
        SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0);
        SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                              reinterpret_cast<void*>(static_cast<uintptr_t>(0)), SPIF_SENDCHANGE);
        BringToFront(window);
        SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                              reinterpret_cast<void*>(static_cast<uintptr_t>(timeout)), SPIF_SENDCHANGE);
    }
    return GetForegroundWindow() == window;
}

TMainFormEvents::TMainFormEvents(TQeltContext& context, IMainWindowServices& services, TStartTimes& times)
    : FContext(context), FServices(services), FTimes(times) {}

TMainFormEvents::~TMainFormEvents() {
    for (UINT message : {kMsgCopyData, kMsgReserved, kMsgInitMessageCentre, kMsgShowLoginForm,
                         kMsgAnswerCaller, kMsgUpdateLoginUser})
        FContext.SetMessageHandler(message, nullptr);
    FContext.SetAppMessageHandler(nullptr);
}

void TMainFormEvents::Install() {
    FContext.SetMessageHandler(kMsgCopyData, [this](TQeltContext&, WPARAM, LPARAM lParam) {
        return OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    });
    FContext.SetMessageHandler(kMsgReserved, [](TQeltContext&, WPARAM, LPARAM) -> LRESULT { return 0; });
    FContext.SetMessageHandler(kMsgInitMessageCentre, [this](TQeltContext&, WPARAM, LPARAM) -> LRESULT {
        OnInitMessageCentre();
        return 0;
    });
    FContext.SetMessageHandler(kMsgShowLoginForm, [this](TQeltContext&, WPARAM, LPARAM) -> LRESULT {
        ShowLoginForm();
        return 0;
    });
    FContext.SetMessageHandler(
        kMsgAnswerCaller, [this](TQeltContext&, WPARAM wParam, LPARAM) { return OnAnswerCaller(wParam); });
    FContext.SetMessageHandler(kMsgUpdateLoginUser, [this](TQeltContext&, WPARAM wParam, LPARAM lParam) {
        return OnUpdateLoginUser(wParam, lParam);
    });
    FContext.SetAppMessageHandler(
        [this](TQeltContext&, WPARAM code, LPARAM lParam) { AppWndProc(code, lParam); });
}

void TMainFormEvents::Log(const std::string& line) {
    try {
        FContext.Framework().WriteLog(line);
    } catch (...) {
    }
}

// ---------------------------------------------------------------------------------------------
// Page events

void TMainFormEvents::OnMainFormEvent(void* Sender, void* userContext, int32_t iEventType,
                                      const std::string& sEventName, IAppContext* aCallerParamInf) {
    Log("OnMainFormEvent IN " + sEventName);
    try {
        const TMainEventKind kind = ClassifyMainFormEvent(iEventType, sEventName);
        const bool takenOver =
            CallMainBrowserHook(Sender, userContext, iEventType, sEventName, aCallerParamInf);
        // A request the hook took over is answered by the hook; running it here as well would run
        // the action twice. A page load is window state, not a request: the splash still goes.
        if (!takenOver || kind == TMainEventKind::PageLoaded) {
            switch (kind) {
            case TMainEventKind::Popup:
                if (aCallerParamInf) OnPopup(aCallerParamInf);
                break;
            case TMainEventKind::PageLoaded:
                OnPageLoaded();
                break;
            case TMainEventKind::PageCall:
                if (aCallerParamInf) RunMainPageCall(sEventName, aCallerParamInf);
                break;
            case TMainEventKind::OpenLogin:
                PostMessageW(FContext.Handle(), kMsgShowLoginForm, 0, 0);
                break;
            case TMainEventKind::AppKey:
            case TMainEventKind::EmptyRequest:
                if (auto params =
                        aCallerParamInf ? ContextParams(*aCallerParamInf) : TFwRef<IJsCallerInf>()) {
                    const std::string answer =
                        kind == TMainEventKind::AppKey ? AppKeyAnswer() : std::string();
                    CallForeign(&IJsCallerInf::SetResult, params.Get(), Utf8ToAnsi(answer).c_str());
                }
                break;
            case TMainEventKind::Ignored:
            case TMainEventKind::Nothing:
                break;
            }
        }
    } catch (const std::exception& e) {
        Log("OnMainFormEvent " + sEventName + ": " + e.what());
    }
    Log("OnMainFormEvent OUT " + sEventName);
}

bool TMainFormEvents::CallMainBrowserHook(void* Sender, void* userContext, int32_t iEventType,
                                          const std::string& sEventName, IAppContext* aCallerParamInf) {
    const TOnMainBrowserEvent hook = FServices.MainBrowserHook();
    if (!hook) return false;
    uint8_t handled = 0; // a one-byte Boolean by reference
    const std::string nameAnsi = Utf8ToAnsi(sEventName);
    CallForeign(hook, Sender, userContext, iEventType, nameAnsi.c_str(), aCallerParamInf, &handled);
    Log(handled != 0 ? "当前请求已经被接管!" : "当前请求未被接管，主框架继续处理请求!");
    return handled != 0;
}

void TMainFormEvents::OnPopup(IAppContext* aCallerParamInf) {
    auto values = ContextValues(*aCallerParamInf);
    if (!values) return;
    const char* url = CallForeign(&IAppValues::GetValue, values.Get(), "URL");
    FContext.SetcurUrl(AnsiToUtf8(url ? url : ""));
    CallForeign(&IAppValues::SetValue, values.Get(), "Width", "900");
    CallForeign(&IAppValues::SetValue, values.Get(), "Height", "600");
    const std::string popFormUrl = FContext.popFormUrl();
    if (popFormUrl.empty()) return;
    const std::string encrypted =
        FContext.CallActionFun("sys.Enc", TVarArgs{TVarRec::Text(FContext.curUrl())});
    CallForeign(&IAppValues::SetValue, values.Get(), "URL",
                Utf8ToAnsi(PopupFormUrl(popFormUrl, encrypted)).c_str());
    CallForeign(&IAppValues::SetBoolValue, values.Get(), "HideHeadBar", kPasTrue);
}

void TMainFormEvents::OnPageLoaded() {
    const uint32_t now = FServices.TickCount();
    if (FContext.HasSplashForm()) {
        FTimes.StoreLoadTimeOnce(now);
        FContext.CloseSplashForm();
    } else {
        FTimes.StoreLoadTimeOnce(now);
    }
}

void TMainFormEvents::RunMainPageCall(const std::string& sEventName, IAppContext* aCallerParamInf) {
    const TCallerContextPtr context = TCallerContext::Create(aCallerParamInf);
    // The first page call of the main window names the main page.
    if (FContext.MainCallerID() == 0) FContext.SetMainCallerID(context->WebID());
    const TCurrentCallerType outcome = FContext.CallActionFun(sEventName, context);
    AnswerPageCall(outcome, *context, FContext.Registry().Port());
}

void TMainFormEvents::OnLoginFormEvent(void*, void*, int32_t, const std::string& sEventName,
                                       IAppContext* aCallerParamInf) {
    if (sEventName.find('.') == std::string::npos || !aCallerParamInf) return;
    const TCallerContextPtr context = TCallerContext::Create(aCallerParamInf);
    const TCurrentCallerType outcome = FContext.CallActionFun(sEventName, context);
    if (AnswerPageCall(outcome, *context, FContext.Registry().Port()) == TPageAnswer::ReturnText)
        Log(FormatLogLine("%s为同步返回", {sEventName}));
}

std::string TMainFormEvents::AppKeyAnswer() {
    const std::string timeStamp = std::to_string(AppKeyTimeStamp(FServices.LocalWallClockMs()));
    const std::string productCode = FContext.CallActionFun("app.AppCenterID", TVarArgs{});
    const std::string productKey = FContext.ReadEncryptedParam("DyncConfig", "DyncParams", "ProductKey");
    return AppKeyText(timeStamp, productCode, productKey);
}

// ---------------------------------------------------------------------------------------------
// Messages of the context's window

void TMainFormEvents::ShowLoginForm() {
    TFwRef<IAppContext> appContext = FContext.Registry().Port().GetAppContext();
    if (!appContext) return;
    if (auto values = ContextValues(*appContext)) {
        CallForeign(&IAppValues::SetIntValue, values.Get(), "Width", 500);
        CallForeign(&IAppValues::SetIntValue, values.Get(), "Height", 400);
        CallForeign(&IAppValues::SetIntValue, values.Get(), "HideActionButton", 5);
        CallForeign(&IAppValues::SetBoolValue, values.Get(), "Fixed", kPasTrue);
    }
    const int32_t result = FServices.FormShowModal(
        FContext.Intf(), false, FContext.appPath() + kLoginFormPage, LoginFormCallback(), appContext.Get());
    int32_t count = 0;
    std::string paramText;
    if (auto params = ContextParams(*appContext)) {
        count = CallForeign(&IJsCallerInf::ParamCount, params.Get());
        const char* text = CallForeign(&IJsCallerInf::ParamText, params.Get());
        paramText = AnsiToUtf8(text ? text : "");
    }
    FServices.ShowMessage(LoginFormReport(result, count, paramText));
}

LRESULT TMainFormEvents::OnCopyData(const COPYDATASTRUCT* data) {
    const TLoginHandOver handOver =
        CheckLoginHandOver(data ? data->lpData : nullptr, data ? static_cast<size_t>(data->cbData) : 0);
    Log(FormatLogLine("收到WM_COPYDATA，dataLen=%d", {std::to_string(handOver.TextAnsi.size())}));
    if (handOver.Code != 0) return handOver.Code;

    const size_t length = handOver.TextAnsi.size();
    char* buffer = new char[length + 10];
    std::memset(buffer, 0, length + 10);
    std::memcpy(buffer, handOver.TextAnsi.data(), length);
    HandOverBuffers().Add(buffer);
    const LRESULT result = SendMessageW(FContext.Handle(), kMsgUpdateLoginUser,
                                        reinterpret_cast<WPARAM>(buffer), reinterpret_cast<LPARAM>(buffer));
    // Normally the receiver has freed it; if nobody took it, it is still ours.
    if (HandOverBuffers().Remove(buffer)) delete[] buffer;
    return result;
}

LRESULT TMainFormEvents::OnUpdateLoginUser(WPARAM wParam, LPARAM) {
    char* buffer = reinterpret_cast<char*>(wParam);
    if (!HandOverBuffers().Remove(buffer)) {
        Log("Message 2027 ignored: not a hand-over buffer of this program");
        return 0;
    }
    const std::unique_ptr<char[]> owned(buffer);
    const std::string answer =
        FContext.CallActionFun("app.UpdateLoginUser", TVarArgs{TVarRec::Text(AnsiToUtf8(buffer))});
    return IsTrueText(answer) ? kHandOverDone : kHandOverRefused;
}

LRESULT TMainFormEvents::OnAnswerCaller(WPARAM wParam) {
    // Any process can send any number: the record is copied without trusting its address, and the
    // context it names is held (so it outlives the answer) only when it is one of ours still live.
    TCallerAnswerRecord record;
    TCallerContextPtr context;
    if (CopyForeignMemory(reinterpret_cast<const void*>(wParam), &record, sizeof record))
        context = TCallerContext::FindLive(record.Context);
    if (!context) {
        Log("Message 2026 ignored: not a live caller context of this program");
        return 0;
    }
    FContext.Registry().Port().CallJsFunction(context->WebID(), context->CallerNo(), context->FRetValue);
    return kCallerAnswered;
}

void TMainFormEvents::OnInitMessageCentre() {
    FContext.CallActionFun("msg.InitEnvironment", TVarArgs{});
}

// ---------------------------------------------------------------------------------------------
// The registered message

void TMainFormEvents::AppWndProc(WPARAM code, LPARAM lParam) {
    const HWND other = reinterpret_cast<HWND>(lParam);
    const HWND mainWindow = FContext.MainFormHD();
    switch (code) {
    case kInstanceAnswer:
        if (!other) return;
        if (IsIconic(other))
            OpenIcon(other);
        else
            SetForegroundWindow(other);
        FContext.RestoreAppWndProc();
        FContext.CloseInstanceMutex();
        if (!FServices.TerminateSelf()) FServices.RequestAppTermination();
        return;
    case kInstanceStarted: {
        Log(FormatLogLine("收到Restore%d，返回：%d", {HandleText(static_cast<uintptr_t>(lParam)),
                                                      HandleText(reinterpret_cast<uintptr_t>(mainWindow))}));
        if (other)
            PostMessageW(other, FContext.RegisteredMessage(), kInstanceAnswer,
                         reinterpret_cast<LPARAM>(mainWindow));
        const TOnAppWakeUp hook = FServices.WakeUpHook();
        if (hook.Code &&
            IsTrue(CallForeign(hook.Code, hook.Data, static_cast<int32_t>(FContext.RegisteredMessage()),
                               static_cast<TFwHandle>(lParam), 1, reinterpret_cast<TFwHandle>(mainWindow))))
            return;
        // Behind the splash the main window is still hidden; minimising and restoring it would
        // show it before its page has loaded.
        if (IsWindowVisible(mainWindow) && GetForegroundWindow() != mainWindow) {
            MinimizeApplication(mainWindow);
            RestoreApplication(mainWindow);
        }
        return;
    }
    case kInstancePresence:
        Log(FormatLogLine("收到广播%d，返回：%d",
                          {HandleText(static_cast<uintptr_t>(lParam)),
                           HandleText(reinterpret_cast<uintptr_t>(FContext.Handle()))}));
        if (other)
            PostMessageW(other, kMsgPresenceAnswer, kInstancePresence,
                         reinterpret_cast<LPARAM>(FContext.Handle()));
        return;
    case kInstanceHelp:
        FServices.ExecuteJavaScript(FContext.MainCallerID(), "isNeedHelp();");
        RestoreApplication(mainWindow);
        ForceForegroundWindow(mainWindow);
        return;
    default:
        return;
    }
}
