#include "webbridge/WebCoreControl.h"

#include "foundation/ForeignCall.h"
#include "foundation/TextCodec.h"
#include "foundation/WinProcess.h"
#include "webbridge/AppForm.h"
#include "webbridge/AppFramework.h"
#include "webbridge/BoundaryGuard.h"
#include "webbridge/WinControlRef.h"

#include <commctrl.h>

#include <string>

namespace {

constexpr wchar_t kControlClass[] = L"TWebCoreControl";
constexpr int kClassNameBufferSize = 254;

HWND Wnd(TFwHandle h) {
    return reinterpret_cast<HWND>(h);
}

void RegisterControlClass(WNDPROC proc) {
    static const ATOM atom = [proc] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = kControlClass;
        return RegisterClassExW(&wc);
    }();
    (void)atom;
}

// A form here is a top-level window (not a child, not message-only) made by the calling thread.
HWND FormOf(HWND parent) {
    if (!IsWindow(parent)) return nullptr;
    const HWND root = GetAncestor(parent, GA_ROOT);
    if (root == nullptr || GetAncestor(root, GA_PARENT) != GetDesktopWindow()) return nullptr;
    if (GetWindowThreadProcessId(root, nullptr) != GetCurrentThreadId()) return nullptr;
    return root;
}

// The first window below `parent` (depth first, in child order) that takes the keyboard focus:
// visible, enabled and a tab stop.
HWND FirstFocusable(HWND parent) {
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongW(child, GWL_STYLE) & WS_TABSTOP) != 0 && IsWindowVisible(child) &&
            IsWindowEnabled(child))
            return child;
        if (HWND inner = FirstFocusable(child)) return inner;
    }
    return nullptr;
}

bool IsRendererWindow(HWND window) {
    char name[kClassNameBufferSize + 1] = {};
    if (GetClassNameA(window, name, kClassNameBufferSize) <= 0) return false;
    return lstrcmpiA(name, kRendererWindowClass) == 0;
}

// The common controls' subclassing, loaded with the first web control: a start that makes none
// does not load the library.
struct TSubclassApi {
    decltype(&SetWindowSubclass) Set = nullptr;
    decltype(&RemoveWindowSubclass) Remove = nullptr;
    decltype(&DefSubclassProc) Default = nullptr;
};
const TSubclassApi& SubclassApi() {
    static const TSubclassApi api = [] {
        TSubclassApi found;
        const HMODULE library = LoadLibraryW(L"comctl32.dll");
        BindExport(library, "SetWindowSubclass", found.Set);
        BindExport(library, "RemoveWindowSubclass", found.Remove);
        BindExport(library, "DefSubclassProc", found.Default);
        if (!found.Set || !found.Remove || !found.Default) found = TSubclassApi{};
        return found;
    }();
    return api;
}

void FillParent(HWND child, HWND parent) {
    RECT r{};
    GetClientRect(parent, &r);
    SetWindowPos(child, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

TWebCoreControl::TWebCoreControl(TAppFramework& framework) : FFramework(framework) {}

TWebCoreControl::~TWebCoreControl() {
    GuardedCall("TWebCoreControl.Destroy", [&] { TearDown(); });
}

TWebCoreControl* TWebCoreControl::Create(TFwHandle aOwnerWindow, TAppFramework& framework) {
    // Made first and taken apart on any failure, touching only what it got.
    std::unique_ptr<TWebCoreControl, void (*)(TWebCoreControl*)> control(
        new TWebCoreControl(framework), [](TWebCoreControl* c) { delete c; });
    if (aOwnerWindow == 0) throw EWebCoreControlError(kWebControlNoOwner);
    const HWND parent = Wnd(aOwnerWindow);
    control->FOwnerForm = FormOf(parent);
    if (control->FOwnerForm == nullptr) throw EWebCoreControlError(kWebControlNoForm);

    RegisterControlClass(&WndProc);
    RECT r{};
    GetClientRect(parent, &r);
    const HWND window = CreateWindowExW(
        0, kControlClass, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN, 0, 0, r.right - r.left,
        r.bottom - r.top, parent, nullptr, GetModuleHandleW(nullptr), control.get());
    if (window == nullptr)
        throw EWebCoreControlError("TWebCoreControl: CreateWindowEx " + std::to_string(GetLastError()));
    control->FHook = SetWindowsHookExW(WH_GETMESSAGE, &WheelHook, nullptr, GetCurrentThreadId());
    if (control->FHook == nullptr) {
        const DWORD error = GetLastError();
        DestroyWindow(window); // the destroy steps run; the object is freed here
        throw EWebCoreControlError("TWebCoreControl: SetWindowsHookEx " + std::to_string(error));
    }
    control->FOwnedByWindow = true;
    const TSubclassApi& subclass = SubclassApi();
    if (subclass.Set && subclass.Set(parent, &ParentProc, reinterpret_cast<UINT_PTR>(control.get()),
                                     reinterpret_cast<DWORD_PTR>(control.get())))
        control->FParent = parent;
    RegisterLiveControl(static_cast<IWebCoreControlInf*>(control.get()), reinterpret_cast<TFwHandle>(window));
    return control.release();
}

void TWebCoreControl::Free() {
    if (FWindow != nullptr) {
        DestroyWindow(FWindow);
        return;
    }
    delete this;
}

TFwHandle TWebCoreControl::Handle() const {
    return reinterpret_cast<TFwHandle>(FWindow);
}

int32_t TWebCoreControl::WebID() {
    if (!FWebCoreForm) return 0;
    FCurWebID = static_cast<int32_t>(
        SendMessageA(Wnd(FWebCoreForm->Handle()), kFwMsgGetWebID, 1, reinterpret_cast<LPARAM>(FWindow)));
    return FCurWebID;
}

void TWebCoreControl::SetUrl(std::string_view url) {
    FUrl = std::string(url);
    MakePage();
    const std::string ansi = Utf8ToAnsi(FUrl);
    SendMessageA(Wnd(FWebCoreForm->Handle()), kFwMsgNavigate, reinterpret_cast<WPARAM>(ansi.c_str()),
                 kFwNavigateFlag);
}

void TWebCoreControl::MakePage() {
    if (FWebCoreForm) return;
    FWebCoreForm = FFramework.GetWebCoreForm(reinterpret_cast<TFwHandle>(FWindow), FuserContext, FUseIE, "",
                                             {&PageEvent, this}, nullptr);
    const HWND form = Wnd(FWebCoreForm->Handle());
    FWebCoreForm->SetCurForm(reinterpret_cast<void*>(SendMessageA(form, kFwMsgGetFormObject, 0, 0)));
    // The form's window becomes a borderless child filling the control.
    LONG style = GetWindowLongW(form, GWL_STYLE);
    style &= ~static_cast<LONG>(WS_POPUP | WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX |
                                WS_MAXIMIZEBOX);
    SetWindowLongW(form, GWL_STYLE, style | WS_CHILD);
    SetParent(form, FWindow);
    FillParent(form, FWindow);
    ShowWindow(form, SW_SHOW);
    FWebCoreForm->Show();
    FWebCoreForm->SetHandle2(reinterpret_cast<TFwHandle>(form));
    PostMessageW(FWindow, kMsgWebControlFocus, 1, 1);
}

bool TWebCoreControl::ExecuteScript(int32_t webId, std::string_view script) {
    const std::string ansi = Utf8ToAnsi(script);
    const auto send = [&](int32_t id) {
        return SendMessageA(reinterpret_cast<HWND>(static_cast<intptr_t>(id)), kFwMsgRunScript,
                            reinterpret_cast<WPARAM>(ansi.c_str()), kFwRunScriptFlag) == kFwMsgOk;
    };
    if (webId >= 1 && send(webId)) return true;
    // A stale page window (the page was reloaded): once more with the page window asked afresh.
    const int32_t fresh = WebID();
    return fresh >= 1 && send(fresh);
}

void APPFRAME_STDCALL TWebCoreControl::PageEvent(void* self, void*, void* userContext, int32_t iEventType,
                                                 const char* sEventName, IAppContext* aAppContext) {
    GuardedCall("TWebCoreControl.OnWebBrowserEvent", [&] {
        auto* me = static_cast<TWebCoreControl*>(self);
        if (aAppContext != nullptr) {
            const int32_t webId = CallForeign(&IAppContext::WebID, aAppContext);
            if (webId > 0) me->FCurWebID = webId;
        }
        const TProcWebBrowserEventEx handler = me->FOnWebBrowserEvent;
        if (handler.Code != nullptr)
            CallForeign(handler.Code, handler.Data, static_cast<IWebCoreControlInf*>(me), userContext,
                        iEventType, sEventName, aAppContext);
    });
}

void TWebCoreControl::TearDown() {
    if (FTornDown) return;
    FTornDown = true;
    FOnWebBrowserEvent = {nullptr, nullptr};
    UnregisterLiveControl(static_cast<IWebCoreControlInf*>(this));
    if (FParent != nullptr) {
        SubclassApi().Remove(FParent, &ParentProc, reinterpret_cast<UINT_PTR>(this));
        FParent = nullptr;
    }
    if (FHook != nullptr) {
        UnhookWindowsHookEx(FHook);
        FHook = nullptr;
    }
    if (FWebCoreForm && FWebCoreForm->CurForm() != nullptr) {
        const HWND form = Wnd(FWebCoreForm->Handle());
        ShowWindow(form, SW_HIDE);
        SetParent(form, nullptr);
        SendMessageA(form, WM_CLOSE, 0, 0);
        SendMessageA(Wnd(FFramework.GetMainHandle()), kFwMsgFormClosed, 0, reinterpret_cast<LPARAM>(form));
        FWebCoreForm->SetCurForm(nullptr);
    }
    FWebCoreForm.reset(); // its Close tells the main window once more, with Handle2
}

void TWebCoreControl::FocusMessage(WPARAM wParam, LPARAM lParam) {
    switch (wParam) {
    case 1:
        if (FOwnerForm != nullptr && IsWindow(FOwnerForm)) {
            if (HWND first = FirstFocusable(FOwnerForm)) SetFocus(first);
        }
        break;
    case 2: {
        const HWND top = GetAncestor(FWindow, GA_ROOT);
        BringWindowToTop(top);
        SetForegroundWindow(top);
        PostMessageW(FWindow, kMsgWebControlFocus, 3, lParam);
        break;
    }
    case 3:
        SetFocus(reinterpret_cast<HWND>(lParam));
        break;
    default:
        PostMessageW(FWindow, kMsgWebControlFocus, 2, lParam);
        break;
    }
}

LRESULT TWebCoreControl::WindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SETFOCUS:
        // Instead of the standard focus handling: the page behind the form takes the focus.
        if (GetFocus() == FWindow && FWebCoreForm)
            PostMessageA(Wnd(FWebCoreForm->Handle()), kFwMsgFocusForm, 1, reinterpret_cast<LPARAM>(FWindow));
        return 0;
    case WM_SIZE:
        if (FWebCoreForm && FWebCoreForm->CurForm() != nullptr)
            FillParent(Wnd(FWebCoreForm->Handle()), FWindow);
        break;
    case kMsgWebControlFocus:
        FocusMessage(wParam, lParam);
        return 0;
    case kMsgWebControlWebID:
        return WebID();
    case WM_DESTROY:
        // While the form is still a child: it is detached and closed rather than destroyed with us.
        TearDown();
        break;
    default:
        break;
    }
    return DefWindowProcW(FWindow, msg, wParam, lParam);
}

LRESULT CALLBACK TWebCoreControl::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        // A window of the class made by anyone but Create has no control and stays a plain window.
        auto* control =
            static_cast<TWebCoreControl*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        if (control != nullptr) {
            control->FWindow = hwnd;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(control));
        }
    }
    auto* control = reinterpret_cast<TWebCoreControl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (control == nullptr) return DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        control->FWindow = nullptr;
        if (control->FOwnedByWindow) delete control;
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    return GuardedSlot<LRESULT>("TWebCoreControl.WndProc", 0,
                                [&] { return control->WindowMessage(msg, wParam, lParam); });
}

// The parent's size changes reach the control; the subclass goes with whichever window goes first.
LRESULT CALLBACK TWebCoreControl::ParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                             DWORD_PTR data) {
    auto* control = reinterpret_cast<TWebCoreControl*>(data);
    if (msg == WM_NCDESTROY) {
        SubclassApi().Remove(hwnd, &ParentProc, id);
        control->FParent = nullptr;
    }
    const LRESULT result = SubclassApi().Default(hwnd, msg, wParam, lParam);
    if (msg == WM_SIZE && control->FWindow != nullptr) FillParent(control->FWindow, hwnd);
    return result;
}

LRESULT CALLBACK TWebCoreControl::WheelHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        const MSG* message = reinterpret_cast<const MSG*>(lParam);
        if (message != nullptr && message->message == WM_MOUSEWHEEL) {
            POINT cursor{};
            GetCursorPos(&cursor);
            const HWND under = WindowFromPoint(cursor);
            // The wheel message itself goes on as usual.
            if (under != nullptr && under != message->hwnd && IsRendererWindow(under))
                PostMessageW(under, message->message, message->wParam, message->lParam);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// ---- IWebCoreControlInf -------------------------------------------------------------------------

TFwHResult APPFRAME_STDCALL TWebCoreControl::QueryInterface(const TFwGuid& iid, void** object) {
    if (object == nullptr) return kFwENoInterface;
    if (iid == IID_IFwUnknown || iid == IID_IWebCoreControlInf) {
        *object = static_cast<IWebCoreControlInf*>(this);
        return kFwSOk;
    }
    *object = nullptr;
    return kFwENoInterface;
}

TWinControlRef APPFRAME_STDCALL TWebCoreControl::Instance() {
    return static_cast<IWebCoreControlInf*>(this);
}

int32_t APPFRAME_STDCALL TWebCoreControl::GetWebID() {
    return GuardedSlot<int32_t>("IWebCoreControlInf.WebID", 0, [&] { return WebID(); });
}

void APPFRAME_STDCALL TWebCoreControl::GetsUrl(char** result) {
    thread_local TPasConstAnsi answer;
    answer.Assign({});
    GuardedCall("IWebCoreControlInf.sUrl", [&] { answer.Assign(Utf8ToAnsi(FUrl)); });
    if (result != nullptr) *result = const_cast<char*>(answer.Data());
}

void APPFRAME_STDCALL TWebCoreControl::GetOnWebBrowserEvent(TProcWebBrowserEventEx* result) {
    if (result != nullptr) *result = FOnWebBrowserEvent;
}

void APPFRAME_STDCALL TWebCoreControl::SetOnWebBrowserEvent(TProcWebBrowserEventEx handler) {
    FOnWebBrowserEvent = handler;
}

void APPFRAME_STDCALL TWebCoreControl::SetsUrl(const char* sUrl) {
    GuardedCall("IWebCoreControlInf.sUrl", [&] { SetUrl(AnsiToUtf8(sUrl ? sUrl : "")); });
}

TPasBool APPFRAME_STDCALL TWebCoreControl::ExecuteJavaScript(int32_t WebID, const char* sScript) {
    return GuardedSlot<TPasBool>("IWebCoreControlInf.ExecuteJavaScript", kPasFalse, [&] {
        return PasBool(ExecuteScript(WebID, AnsiToUtf8(sScript ? sScript : "")));
    });
}

// ---- Installation ---------------------------------------------------------------------------------

void InstallWebCoreControl() {
    SetWebControlFactory([](TWinControlRef aParentObj, void* userContext, bool aUseIE,
                            const std::string& sUrl, TProcWebBrowserEventEx aEvent,
                            const std::string& sParams) -> IWebCoreControlInf* {
        const TFwHandle owner = WindowOfControl(aParentObj);
        if (aParentObj != nullptr && owner == 0) throw EWebCoreControlError(kWebControlNoForm);
        TWebCoreControl* control = TWebCoreControl::Create(owner, GetAppFramework());
        try {
            control->SetsRunParams(sParams);
            control->SetbUseIE(aUseIE);
            control->SetOnWebBrowserEvent(aEvent);
            control->SetUserContext(userContext);
            control->SetUrl(sUrl);
        } catch (...) {
            control->Free();
            throw;
        }
        return control;
    });
}
