// Stand-in AppFramework.dll: forms, page windows, the window messages they answer, page events
// and the scenario player.
#include "StubState.h"

#include "PageHost.h"

#include "foundation/TextCodec.h"

#include <cstring>
#include <exception>

namespace {

constexpr wchar_t kFormClass[] = L"AppFwStubForm";
constexpr wchar_t kPageClass[] = L"AppFwStubPage";
constexpr wchar_t kAppClass[] = L"AppFwStubApp";
constexpr wchar_t kPlayerClass[] = L"AppFwStubPlayer";
constexpr wchar_t kRendererClass[] = L"Chrome_RenderWidgetHostHWND";
constexpr UINT_PTR kStepTimer = 1;
constexpr int32_t kModalCancel = 2;

LRESULT CALLBACK FormProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK PageProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK PlayerProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK RendererProc(HWND, UINT, WPARAM, LPARAM);

void RegisterClasses() {
    static bool done = false;
    if (done) return;
    done = true;
    struct {
        const wchar_t* Name;
        WNDPROC Proc;
    } classes[] = {{kFormClass, FormProc},
                   {kPageClass, PageProc},
                   {kAppClass, DefWindowProcW},
                   {kPlayerClass, PlayerProc},
                   {kRendererClass, RendererProc}};
    for (auto& c : classes) {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = c.Proc;
        wc.hInstance = StubInstance();
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.lpszClassName = c.Name;
        RegisterClassExW(&wc);
    }
}

std::string Str(const char* s) {
    return s ? std::string(s) : std::string();
}

// Copy of a form's record; false when the window is not one of ours.
bool FindForm(HWND h, TStubForm& out) {
    TStubState& s = Stub();
    CriticalSectionLock lock(s.Lock);
    for (auto& f : s.Forms)
        if (f->Form == h || f->Page == h) {
            out = *f;
            return true;
        }
    return false;
}

template <class Fn>
bool WithForm(HWND form, Fn fn) {
    TStubState& s = Stub();
    CriticalSectionLock lock(s.Lock);
    for (auto& f : s.Forms)
        if (f->Form == form) {
            fn(*f);
            return true;
        }
    return false;
}

HWND ResolveForm(const std::string& which) {
    TStubState& s = Stub();
    CriticalSectionLock lock(s.Lock);
    if (which.empty() || which == "main") return s.MainForm;
    HWND found = nullptr;
    int depth = 0;
    for (auto& f : s.Forms) {
        if (which == "last" && !f->IsMain) found = f->Form;
        if (which == "modal" && f->ModalDepth > depth) found = f->Form, depth = f->ModalDepth;
    }
    return found;
}

HWND CreateForm(bool isMain, TProcWebBrowserEventEx event, void* userContext, const char* url) {
    RegisterClasses();
    HWND form = CreateWindowExW(0, kFormClass, L"AppFramework", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 800, 600, nullptr, nullptr, StubInstance(), nullptr);
    if (!form) return nullptr;
    HWND page = CreateWindowExW(0, kPageClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 800, 600, form, nullptr,
                                StubInstance(), nullptr);
    // The browser draws the page in a renderer window of its own inside the page window.
    CreateWindowExW(0, kRendererClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 800, 600, page, nullptr,
                    StubInstance(), nullptr);
    auto rec = std::make_unique<TStubForm>();
    rec->Form = form;
    rec->Page = page;
    rec->Event = event;
    rec->UserContext = userContext;
    rec->Url = Str(url);
    rec->IsMain = isMain;
    {
        TStubState& s = Stub();
        CriticalSectionLock lock(s.Lock);
        s.Forms.push_back(std::move(rec));
        if (isMain) {
            s.MainForm = form;
            s.UiThread = GetCurrentThreadId();
        }
    }
    if (PageHostEnabled()) PageHostFormAdded(form, page, isMain, Str(url));
    return form;
}

// Runs a modal loop for the form until it is closed; answers the modal result.
int32_t RunModal(HWND form) {
    if (!WithForm(form, [](TStubForm& f) {
            ++f.ModalDepth;
            f.ModalDone = false;
            f.ModalResult = kModalCancel;
        }))
        return 0;
    ShowWindow(form, SW_SHOW);
    if (PageHostEnabled()) {
        TStubForm f;
        if (FindForm(form, f)) PageHostFormShown(f.Page);
    }
    int32_t result = kModalCancel;
    for (;;) {
        TStubForm f;
        if (!FindForm(form, f)) break;
        if (f.ModalDone) {
            result = f.ModalResult;
            break;
        }
        MSG msg;
        if (GetMessageW(&msg, nullptr, 0, 0) <= 0) {
            PostQuitMessage(static_cast<int>(msg.wParam)); // the outer loop must end too
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (WithForm(form, [](TStubForm& f) { --f.ModalDepth; })) ShowWindow(form, SW_HIDE);
    return result;
}

void CloseForm(HWND form, int32_t result) {
    WithForm(form, [&](TStubForm& f) { f.ModalResult = result; });
    SendMessageW(form, WM_CLOSE, 0, 0);
}

JsonRef Fields() {
    return NewJsonObject();
}

bool FireEvent(const JsonRef& step) {
    HWND form = ResolveForm(step->GetS("form"));
    TStubForm f;
    if (!FindForm(form, f)) return false;
    int32_t type = step->GetO("type") ? static_cast<int32_t>(step->GetI("type")) : kFwEventPageCall;
    int32_t callerNo = static_cast<int32_t>(step->GetI("callerNo"));
    JsonRef callerParams = NewJsonObject();
    callerParams->PutI("CallerNo", callerNo);
    callerParams->PutI("WebID", static_cast<int32_t>(reinterpret_cast<uintptr_t>(f.Page)));
    callerParams->PutS("FunName", step->GetS("name"));
    callerParams->PutO("paramTypes", step->GetO("paramTypes") ? step->GetO("paramTypes") : NewJsonArray());
    callerParams->PutO("paramValues", step->GetO("paramValues") ? step->GetO("paramValues") : NewJsonArray());
    return StubRaiseEvent(form, type, step->GetS("name"), callerNo, PrintJson(callerParams),
                          step->GetO("values"))
        .Found;
}

bool RunStep(const JsonRef& step) {
    if (!step || !step->IsType(stObject)) return false;
    std::string what = step->GetS("do");
    TStubState& s = Stub();
    if (what == "event") return FireEvent(step);
    if (what == "registerFun" || what == "unregisterFun") {
        StubEnsureLoaded();
        CriticalSectionLock lock(s.Lock);
        std::string name = Utf8ToAnsi(step->GetS("name"));
        if (what == "unregisterFun")
            s.PageFunctions.erase(name);
        else
            s.PageFunctions[name] = GetTickCount64() + static_cast<ULONGLONG>(step->GetI("delay"));
        return true;
    }
    if (what == "closeForm" || what == "close") {
        std::string which = what == "close" ? "main" : step->GetO("form") ? step->GetS("form") : "last";
        HWND form = ResolveForm(which);
        if (!form) return false;
        CloseForm(form, step->GetO("result") ? static_cast<int32_t>(step->GetI("result")) : kModalCancel);
        return true;
    }
    if (what == "terminate") {
        AppTerminate();
        return true;
    }
    if (what == "setParam") {
        StubEnsureLoaded();
        CriticalSectionLock lock(s.Lock);
        s.Params[{Utf8ToAnsi(step->GetS("cfgType")), Utf8ToAnsi(step->GetS("section")),
                  Utf8ToAnsi(step->GetS("key"))}] = Utf8ToAnsi(step->GetS("value"));
        return true;
    }
    return false;
}

void ScheduleNextStep() {
    TStubState& s = Stub();
    CriticalSectionLock lock(s.Lock);
    if (!s.Player || s.NextStep >= s.Steps.size()) return;
    int64_t after = s.Steps[s.NextStep]->GetI("after");
    SetTimer(s.Player, kStepTimer, after < USER_TIMER_MINIMUM ? USER_TIMER_MINIMUM : static_cast<UINT>(after),
             nullptr);
}

LRESULT CALLBACK PlayerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    try {
        if (msg == WM_TIMER && wParam == kStepTimer) {
            KillTimer(hwnd, kStepTimer);
            JsonRef step;
            {
                TStubState& s = Stub();
                CriticalSectionLock lock(s.Lock);
                if (s.NextStep < s.Steps.size()) step = s.Steps[s.NextStep++];
            }
            // The next step is armed first, so steps go on while this one waits in a modal loop.
            ScheduleNextStep();
            if (step && !RunStep(step)) {
                JsonRef f = Fields();
                f->PutO("step", step);
                Transcript("badStep", f);
            }
            return 0;
        }
    } catch (const std::exception&) {
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT FormMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    TStubState& s = Stub();
    switch (msg) {
    case kFwMsgGetWebID: {
        TStubForm f;
        const HWND page = FindForm(hwnd, f) ? f.Page : nullptr;
        JsonRef t = Fields();
        t->PutI("form", H(hwnd));
        t->PutI("control", static_cast<int64_t>(lParam));
        t->PutI("webId", H(page));
        Transcript("webId", t);
        return reinterpret_cast<LRESULT>(page);
    }
    case WM_SIZE: {
        TStubForm f;
        if (FindForm(hwnd, f) && f.Page)
            SetWindowPos(f.Page, nullptr, 0, 0, LOWORD(lParam), HIWORD(lParam),
                         SWP_NOZORDER | SWP_NOACTIVATE);
        break;
    }
    case kFwMsgShowForm: {
        bool modal = wParam == kFwShowModal && static_cast<uintptr_t>(lParam) == kFwShowModal;
        if (!modal && !(wParam == kFwShowNormal && static_cast<uintptr_t>(lParam) == kFwShowNormal)) return 0;
        JsonRef f = Fields();
        f->PutI("form", H(hwnd));
        f->PutB("modal", modal);
        Transcript("show", f);
        if (modal) return RunModal(hwnd);
        ShowWindow(hwnd, SW_SHOW);
        if (PageHostEnabled()) {
            TStubForm shown;
            if (FindForm(hwnd, shown)) PageHostFormShown(shown.Page);
        }
        return 0;
    }
    case kFwMsgSizeForm: {
        RECT r;
        GetWindowRect(hwnd, &r);
        int w = wParam ? static_cast<int>(wParam) : r.right - r.left;
        int h = lParam ? static_cast<int>(lParam) : r.bottom - r.top;
        SetWindowPos(hwnd, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        JsonRef f = Fields();
        f->PutI("form", H(hwnd));
        f->PutI("width", static_cast<int64_t>(wParam));
        f->PutI("height", static_cast<int64_t>(lParam));
        Transcript("size", f);
        return 0;
    }
    case kFwMsgNavigate: {
        if (lParam != kFwNavigateFlag) return 0;
        const char* url = reinterpret_cast<const char*>(wParam);
        HWND page = nullptr;
        WithForm(hwnd, [&](TStubForm& rec) {
            rec.Url = Str(url);
            page = rec.Page;
        });
        if (page && PageHostEnabled()) PageHostFormNavigated(page, Str(url));
        JsonRef f = Fields();
        f->PutI("form", H(hwnd));
        f->PutS("url", A2U(url));
        Transcript("navigate", f);
        return 0;
    }
    case kFwMsgGetFormObject: {
        // An object of this library's own runtime: callers must not take it for a window.
        static char formObjectTag;
        JsonRef f = Fields();
        f->PutI("form", H(hwnd));
        Transcript("formObject", f);
        return reinterpret_cast<LRESULT>(&formObjectTag);
    }
    case kFwMsgRunMainScript: {
        std::string script = Str(reinterpret_cast<const char*>(wParam));
        std::string err;
        bool ok;
        if (PageHostEnabled()) {
            TStubForm f;
            ok = FindForm(hwnd, f) && PageHostRunScript(f.Page, script, err);
        } else {
            ok = script.find("throw") == std::string::npos;
            err = "Uncaught " + script;
        }
        char* buffer = reinterpret_cast<char*>(lParam);
        if (!ok && buffer) {
            size_t n = err.size() < kScriptErrorBufferSize - 1 ? err.size() : kScriptErrorBufferSize - 1;
            std::memcpy(buffer, err.data(), n);
            buffer[n] = 0;
        }
        JsonRef f = Fields();
        f->PutS("text", AnsiToUtf8(script));
        f->PutB("ok", ok);
        Transcript("mainScript", f);
        return ok ? kFwMsgOk : 0;
    }
    case kFwMsgFormClosed: {
        HWND closed = reinterpret_cast<HWND>(lParam);
        TStubForm f;
        bool known = closed && FindForm(closed, f) && f.Form == closed && !f.IsMain;
        JsonRef t = Fields();
        t->PutI("form", H(closed));
        t->PutB("known", known);
        Transcript("formClosed", t);
        if (known) DestroyWindow(closed);
        return 0;
    }
    case kFwMsgFocusForm: {
        JsonRef f = Fields();
        f->PutI("form", H(hwnd));
        f->PutI("control", static_cast<int64_t>(lParam));
        Transcript("focus", f);
        return 0;
    }
    case WM_CLOSE: {
        bool modal = false;
        WithForm(hwnd, [&](TStubForm& f) {
            modal = f.ModalDepth > 0;
            if (modal) f.ModalDone = true;
        });
        if (!modal) DestroyWindow(hwnd);
        return 0;
    }
    case WM_NCDESTROY: {
        bool quit = false;
        HWND page = nullptr;
        {
            CriticalSectionLock lock(s.Lock);
            for (size_t i = 0; i < s.Forms.size(); ++i)
                if (s.Forms[i]->Form == hwnd) {
                    page = s.Forms[i]->Page;
                    quit = s.Forms[i]->IsMain && !s.Resetting;
                    s.Forms.erase(s.Forms.begin() + static_cast<ptrdiff_t>(i));
                    break;
                }
            if (s.MainForm == hwnd) s.MainForm = nullptr;
        }
        if (page && PageHostEnabled()) PageHostFormGone(page);
        if (quit) PostQuitMessage(0);
        break;
    }
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    try {
        return FormMessage(hwnd, msg, wParam, lParam);
    } catch (const std::exception&) {
        return 0;
    }
}

// What a person sees of a stand-in page: a pale page with a header band and the page's address.
void PaintPage(HWND renderer) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(renderer, &ps);
    RECT all;
    GetClientRect(renderer, &all);
    HBRUSH page = CreateSolidBrush(kStubPageColour);
    FillRect(dc, &all, page);
    DeleteObject(page);
    RECT band{all.left, all.top, all.right, all.top + 40};
    HBRUSH header = CreateSolidBrush(kStubHeaderColour);
    FillRect(dc, &band, header);
    DeleteObject(header);
    TStubForm form;
    if (FindForm(GetParent(renderer), form)) {
        std::wstring url(form.Url.begin(), form.Url.end());
        RECT text{all.left + 12, all.top + 52, all.right - 12, all.bottom};
        SetBkMode(dc, TRANSPARENT);
        DrawTextW(dc, url.c_str(), static_cast<int>(url.size()), &text, DT_LEFT | DT_TOP | DT_WORDBREAK);
    }
    EndPaint(renderer, &ps);
}

LRESULT CALLBACK RendererProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    try {
        if (msg == WM_PAINT) {
            PaintPage(hwnd);
            return 0;
        }
        if (msg == WM_MOUSEWHEEL) {
            JsonRef f = Fields();
            f->PutI("renderer", H(hwnd));
            f->PutI("delta", GET_WHEEL_DELTA_WPARAM(wParam));
            Transcript("wheel", f);
            return 0;
        }
    } catch (const std::exception&) {
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    try {
        if (msg == WM_SIZE) {
            if (HWND renderer = GetWindow(hwnd, GW_CHILD))
                SetWindowPos(renderer, nullptr, 0, 0, LOWORD(lParam), HIWORD(lParam),
                             SWP_NOZORDER | SWP_NOACTIVATE);
        }
        if (msg == kFwMsgRunScript) {
            bool ok = lParam == kFwRunScriptFlag && wParam != 0;
            std::string err;
            if (ok && PageHostEnabled())
                ok = PageHostRunScript(hwnd, reinterpret_cast<const char*>(wParam), err);
            JsonRef f = Fields();
            f->PutI("webId", H(hwnd));
            f->PutS("text", A2U(reinterpret_cast<const char*>(wParam)));
            f->PutB("ok", ok);
            Transcript("script", f);
            return ok ? kFwMsgOk : 0;
        }
        if (msg == kFwMsgAnswerCaller) {
            int32_t callerNo = static_cast<int32_t>(wParam);
            bool ok = callerNo != 0;
            if (PageHostEnabled())
                ok = PageHostAnswer(hwnd, callerNo, Str(reinterpret_cast<const char*>(lParam)));
            JsonRef f = Fields();
            f->PutI("webId", H(hwnd));
            f->PutI("callerNo", callerNo);
            f->PutS("text", A2U(reinterpret_cast<const char*>(lParam)));
            f->PutB("ok", ok);
            Transcript("answer", f);
            return ok ? kFwMsgOk : 0;
        }
    } catch (const std::exception&) {
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

int32_t PlayScenario(const std::string& utf8) {
    JsonRef doc = ParseJson(utf8);
    JsonRef steps = doc && doc->IsType(stObject) ? doc->GetO("steps") : doc;
    if (!steps || !steps->IsType(stArray)) return -1;
    RegisterClasses();
    TStubState& s = Stub();
    {
        CriticalSectionLock lock(s.Lock);
        if (!s.Player)
            s.Player = CreateWindowExW(0, kPlayerClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                       StubInstance(), nullptr);
        s.Steps.clear();
        for (size_t i = 0; i < steps->Length(); ++i)
            s.Steps.push_back(steps->O(i));
        s.NextStep = 0;
    }
    ScheduleNextStep();
    return static_cast<int32_t>(steps->Length());
}

} // namespace

void StubClearForms() {
    TStubState& s = Stub();
    std::vector<HWND> windows;
    {
        CriticalSectionLock lock(s.Lock);
        s.Resetting = true;
        for (auto& f : s.Forms)
            windows.push_back(f->Form);
        windows.push_back(s.AppWindow);
        windows.push_back(s.Player);
        s.AppWindow = s.Player = nullptr;
        s.Steps.clear();
        s.NextStep = 0;
    }
    for (HWND h : windows)
        if (h) DestroyWindow(h);
    CriticalSectionLock lock(s.Lock);
    s.Forms.clear(); // forms of another thread cannot be destroyed from here; forget them
    s.MainForm = nullptr;
    s.Resetting = false;
}

TStubEventOutcome StubRaiseEvent(HWND form, int32_t type, const std::string& nameUtf8, int32_t callerNo,
                                 const std::string& callerParamsUtf8, const JsonRef& values) {
    TStubEventOutcome outcome;
    TStubForm f;
    if (!FindForm(form, f) || f.Form != form) return outcome;
    outcome.Found = true;
    const std::string name = Utf8ToAnsi(nameUtf8);
    const int32_t webId = static_cast<int32_t>(reinterpret_cast<uintptr_t>(f.Page));
    TFakeAppContext* ctx = NewStubContext(callerNo, webId, name);
    if (!callerParamsUtf8.empty()) {
        ctx->LoadCallerParams(callerParamsUtf8);
    } else {
        JsonRef callerParams = NewJsonObject();
        callerParams->PutI("CallerNo", callerNo);
        callerParams->PutI("WebID", webId);
        callerParams->PutS("FunName", nameUtf8);
        callerParams->PutO("paramTypes", NewJsonArray());
        callerParams->PutO("paramValues", NewJsonArray());
        ctx->LoadCallerParams(PrintJson(callerParams));
    }
    if (values) ctx->LoadValues(PrintJson(values));
    if (f.Event.Code)
        f.Event.Code(f.Event.Data, reinterpret_cast<void*>(f.Form), f.UserContext, type, name.c_str(), ctx);
    outcome.ResultUtf8 = AnsiToUtf8(ctx->ResultText());
    outcome.Values = ParseJson(ctx->ValuesJson());
    JsonRef out = Fields();
    out->PutI("type", type);
    out->PutS("name", nameUtf8);
    out->PutI("callerNo", callerNo);
    out->PutI("webId", webId);
    out->PutS("result", outcome.ResultUtf8);
    out->PutO("values", outcome.Values);
    Transcript("eventDone", out);
    ctx->Release();
    return outcome;
}

HWND StubOpenPopupForm(HWND opener, const std::string& urlAnsi, int width, int height) {
    TStubForm f;
    if (!FindForm(opener, f)) return nullptr;
    HWND form = CreateForm(false, f.Event, f.UserContext, urlAnsi.c_str());
    if (!form) return nullptr;
    if (width > 0 && height > 0) SetWindowPos(form, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
    ShowWindow(form, SW_SHOW);
    JsonRef t = Fields();
    t->PutI("form", H(form));
    t->PutI("opener", H(opener));
    t->PutS("url", A2U(urlAnsi.c_str()));
    Transcript("popupForm", t);
    TStubForm made;
    return FindForm(form, made) ? made.Page : nullptr;
}

void StubCloseForm(HWND form, int32_t result) {
    CloseForm(form, result);
}

STUB_EXPORT TFwHandle APPFRAME_STDCALL InitApplication(TFwHandle appHandle, TFwHandle) {
    RegisterClasses();
    TStubState& s = Stub();
    HWND app;
    {
        CriticalSectionLock lock(s.Lock);
        if (!s.AppWindow)
            s.AppWindow = CreateWindowExW(0, kAppClass, L"AppFramework", WS_POPUP, 0, 0, 0, 0, nullptr,
                                          nullptr, StubInstance(), nullptr);
        app = s.AppWindow;
    }
    JsonRef f = Fields();
    f->PutI("appHandle", static_cast<int64_t>(appHandle));
    f->PutI("app", H(app));
    Transcript("initApplication", f);
    return reinterpret_cast<TFwHandle>(app);
}

STUB_EXPORT TFwHandle APPFRAME_STDCALL InitMainForm(TPasBool bNeedShowMain, void* userContext,
                                                    TProcWebBrowserEventEx aWebBrowserEvent,
                                                    const char* sParams) {
    // A second main form replaces the first without ending the message loop.
    if (HWND old = ResolveForm("main")) {
        TStubState& s = Stub();
        CriticalSectionLock lock(s.Lock); // re-entered by the form's own destruction
        s.Resetting = true;
        DestroyWindow(old);
        s.Resetting = false;
    }
    if (PageHostEnabled()) PageHostStart();
    HWND form = CreateForm(true, aWebBrowserEvent, userContext, "");
    if (form && IsTrue(bNeedShowMain)) ShowWindow(form, SW_SHOW);
    JsonRef f = Fields();
    f->PutB("show", IsTrue(bNeedShowMain));
    f->PutS("params", A2U(sParams));
    f->PutI("form", H(form));
    Transcript("initMainForm", f);
    return reinterpret_cast<TFwHandle>(form);
}

STUB_EXPORT TFwHandle APPFRAME_STDCALL GetMainHandle() {
    TStubState& s = Stub();
    CriticalSectionLock lock(s.Lock);
    return reinterpret_cast<TFwHandle>(s.MainForm);
}

static TFwHandle MakeWebForm(TFwHandle hParentHD, void* userContext, TPasBool bUseIE, const char* sUrl,
                             TProcWebBrowserEventEx event) {
    HWND form = CreateForm(false, event, userContext, sUrl);
    JsonRef f = Fields();
    f->PutI("form", H(form));
    f->PutI("parent", static_cast<int64_t>(hParentHD));
    f->PutS("url", A2U(sUrl));
    f->PutB("useIE", IsTrue(bUseIE));
    Transcript("webForm", f);
    return reinterpret_cast<TFwHandle>(form);
}

STUB_EXPORT TFwHandle APPFRAME_STDCALL GetWebCoreForm(TFwHandle hParentHD, void* userContext, TPasBool bUseIE,
                                                      const char* sUrl,
                                                      TProcWebBrowserEventEx aWebBrowserEvent,
                                                      IControlParamsInf*) {
    return MakeWebForm(hParentHD, userContext, bUseIE, sUrl, aWebBrowserEvent);
}

STUB_EXPORT TFwHandle APPFRAME_STDCALL GetWebCoreFormEx(TFwHandle hParentHD, void* userContext,
                                                        TPasBool bUseIE, const char* sUrl,
                                                        TProcWebBrowserEventEx aWebBrowserEvent,
                                                        IControlParamsInf*) {
    return MakeWebForm(hParentHD, userContext, bUseIE, sUrl, aWebBrowserEvent);
}

STUB_EXPORT int32_t APPFRAME_STDCALL FormShowModal(void* userContext, TPasBool bUseIE, const char* sUrl,
                                                   TProcWebBrowserEventEx aWebBrowserEvent,
                                                   IAppContext* aAppContext) {
    HWND form = CreateForm(false, aWebBrowserEvent, userContext, sUrl);
    if (!form) return 0;
    JsonRef values = NewJsonObject();
    if (TFakeAppContext* ours = TFakeAppContext::From(aAppContext)) {
        values = ParseJson(ours->ValuesJson());
    } else if (auto theirs = aAppContext ? aAppContext->GetValues() : TFwRef<IAppValues>()) {
        for (const char* name : {"Width", "Height"})
            values->PutS(name, A2U(theirs->GetValue(name)));
    }
    int w = static_cast<int>(values->GetI("Width")), h = static_cast<int>(values->GetI("Height"));
    if (w > 0 && h > 0) SetWindowPos(form, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    int32_t result = RunModal(form);
    if (IsWindow(form)) DestroyWindow(form);
    JsonRef f = Fields();
    f->PutS("url", A2U(sUrl));
    f->PutB("useIE", IsTrue(bUseIE));
    f->PutO("values", values);
    f->PutI("result", result);
    Transcript("formShowModal", f);
    return result;
}

STUB_EXPORT void APPFRAME_STDCALL AppTerminate() {
    Transcript("appTerminate");
    TStubState& s = Stub();
    DWORD thread;
    {
        CriticalSectionLock lock(s.Lock);
        thread = s.UiThread;
    }
    if (thread == 0 || thread == GetCurrentThreadId())
        PostQuitMessage(0);
    else
        PostThreadMessageW(thread, WM_QUIT, 0, 0);
}

STUB_EXPORT void APPFRAME_STDCALL AppRun() {
    if (!GetMainHandle()) return; // nothing could ever end the loop
    {
        TStubState& s = Stub();
        CriticalSectionLock lock(s.Lock);
        s.UiThread = GetCurrentThreadId();
    }
    bool ok = false;
    std::string scenario = ReadUtf8File(StubEnv(L"APPFRAME_STUB_SCENARIO"), ok);
    if (ok) PlayScenario(scenario);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (PageHostEnabled()) PageHostStop();
    Transcript("appRunEnd");
}

STUB_EXPORT TPasBool APPFRAME_STDCALL StubRunStep(const char* stepJsonUtf8) {
    try {
        return PasBool(RunStep(ParseJson(Str(stepJsonUtf8))));
    } catch (const std::exception&) {
        return kPasFalse;
    }
}

STUB_EXPORT int32_t APPFRAME_STDCALL StubPlayScenario(const char* scenarioJsonUtf8) {
    try {
        return PlayScenario(Str(scenarioJsonUtf8));
    } catch (const std::exception&) {
        return -1;
    }
}
