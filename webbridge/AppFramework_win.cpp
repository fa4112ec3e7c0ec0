#include "webbridge/AppFramework.h"

#include "foundation/AppLog.h"
#include "foundation/ForeignCall.h"
#include "foundation/TextCodec.h"
#include "foundation/TextFormat.h"
#include "webbridge/AppContext.h"
#include "webbridge/AppForm.h"
#include "webbridge/BoundaryGuard.h"
#include "webbridge/JsCaller.h"
#include "webbridge/ParamPackers.h"
#include "webbridge/WinControlRef.h"

#include <windows.h>

#include <mutex>
#include <new>

namespace {

std::mutex gLibPathLock;
std::string gLibPath; // remembered once found

std::mutex gFactoryLock;
TWebControlFactory gWebControlFactory;

bool FileExists(const std::string& pathUtf8) {
    const DWORD attributes = GetFileAttributesW(Widen(pathUtf8).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

HWND Wnd(TFwHandle h) {
    return reinterpret_cast<HWND>(h);
}
HWND Wnd(int32_t webId) {
    return reinterpret_cast<HWND>(static_cast<intptr_t>(webId));
}

struct TPagesFree {
    void operator()(char* pages) const { VirtualFree(pages, 0, MEM_RELEASE); }
};

bool SameClassName(const char* a, const char* b) {
    if (a == nullptr) return false;
    for (; *a != 0 && *b != 0; ++a, ++b) {
        const char ca = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a + 32) : *a;
        const char cb = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b + 32) : *b;
        if (ca != cb) return false;
    }
    return *a == *b;
}

std::string Text(const char* ansi) {
    return AnsiToUtf8(ansi ? ansi : "");
}

// Creates the web control through the installed factory.
IWebCoreControlInf* MakeWebControl(TWinControlRef aParentObj, void* userContext, bool aUseIE,
                                   std::string_view sUrl, TProcWebBrowserEventEx aEvent,
                                   std::string_view sParams) {
    TWebControlFactory factory;
    {
        std::lock_guard<std::mutex> guard(gFactoryLock);
        factory = gWebControlFactory;
    }
    if (!factory) throw std::logic_error("TWebCoreControl is not available in this program");
    return factory(aParentObj, userContext, aUseIE, std::string(sUrl), aEvent, std::string(sParams));
}

} // namespace

std::string GetFrameworkLibPath() {
    {
        std::lock_guard<std::mutex> guard(gLibPathLock);
        if (!gLibPath.empty()) return gLibPath;
    }
    bool found = false;
    std::string path = ChooseFrameworkLibPath(ProgramFolder(), FileExists, found);
    if (found) {
        std::lock_guard<std::mutex> guard(gLibPathLock);
        gLibPath = path;
    }
    return path;
}

void ResetFrameworkLibPath() {
    std::lock_guard<std::mutex> guard(gLibPathLock);
    gLibPath.clear();
}

void* LoadLibFunction(const std::string& pathUtf8, const std::string& name) {
    HMODULE module = LoadLibraryW(Widen(pathUtf8).c_str());
    if (module == nullptr) {
        const std::string second = ProgramFolder() + kFrameworkLibSubfolder + pathUtf8;
        module = LoadLibraryW(Widen(second).c_str());
        if (module == nullptr) throw ELoadLibError(second + kFwErrNotFound);
    }
    FARPROC address = GetProcAddress(module, Utf8ToAnsi(name).c_str());
    if (address == nullptr) throw ELoadLibError(pathUtf8 + kFwErrOfFunction + name + kFwErrNotFound);
    return reinterpret_cast<void*>(address);
}

void SetWebControlFactory(TWebControlFactory factory) {
    std::lock_guard<std::mutex> guard(gFactoryLock);
    gWebControlFactory = std::move(factory);
}

// ---- The face handed to extension modules --------------------------------------------------------

class TAppFramework::TIntf final : public IAppFramework {
public:
    explicit TIntf(TAppFramework& owner) : F(owner) {}

    TFwHResult APPFRAME_STDCALL QueryInterface(const TFwGuid& iid, void** object) override {
        if (object == nullptr) return kFwENoInterface;
        if (iid == IID_IFwUnknown || iid == IID_IAppFramework) {
            *object = static_cast<IAppFramework*>(this);
            return kFwSOk;
        }
        *object = nullptr;
        return kFwENoInterface;
    }
    uint32_t APPFRAME_STDCALL AddRef() override { return 1; }
    uint32_t APPFRAME_STDCALL Release() override { return 1; }

    TFwHandle APPFRAME_STDCALL GetMainHandle() override {
        return GuardedSlot<TFwHandle>("IAppFramework.GetMainHandle", 0, [&] { return F.GetMainHandle(); });
    }
    int32_t APPFRAME_STDCALL GetMainWebID() override {
        return GuardedSlot<int32_t>("IAppFramework.GetMainWebID", 0, [&] { return F.GetMainWebID(); });
    }
    int32_t APPFRAME_STDCALL GetWebID(TWinControlRef aWebCtrl) override {
        return GuardedSlot<int32_t>("IAppFramework.GetWebID", 0, [&] { return F.GetWebID(aWebCtrl); });
    }
    void APPFRAME_STDCALL CallJS(ICallJSInf** result) override { StoreInterface(result, F.CallJS()); }
    void APPFRAME_STDCALL GetWebControl(TWinControlRef aParentObj, void* userContext, TPasBool aUseIE,
                                        const char* sUrl, TProcWebBrowserEventEx aEvent, const char* sParams,
                                        IWebCoreControlInf** result) override {
        IWebCoreControlInf* control =
            GuardedSlot<IWebCoreControlInf*>("IAppFramework.GetWebControl", nullptr, [&] {
                return F.GetWebControl(aParentObj, userContext, IsTrue(aUseIE), Text(sUrl), aEvent,
                                       Text(sParams));
            });
        StoreInterface(result, control);
    }
    int32_t APPFRAME_STDCALL FormShowModal(void* userContext, TPasBool bUseIE, const char* sUrl,
                                           TProcWebBrowserEventEx aWebBrowserEvent,
                                           IAppContext* aAppContext) override {
        return GuardedSlot<int32_t>("IAppFramework.FormShowModal", 0, [&] {
            return F.FormShowModal(userContext, IsTrue(bUseIE), Text(sUrl), aWebBrowserEvent, aAppContext);
        });
    }
    TPasBool APPFRAME_STDCALL ExecuteJavaScript(int32_t WebID, const char* sScript) override {
        return GuardedSlot<TPasBool>("IAppFramework.ExecuteJavaScript", kPasFalse,
                                     [&] { return PasBool(F.ExecuteJavaScript(WebID, Text(sScript))); });
    }
    TPasBool APPFRAME_STDCALL ExecuteJavaScriptCtrl(TWinControlRef aWebCtrl, const char* sScript) override {
        return GuardedSlot<TPasBool>("IAppFramework.ExecuteJavaScript", kPasFalse,
                                     [&] { return PasBool(F.ExecuteJavaScript(aWebCtrl, Text(sScript))); });
    }
    TPasBool APPFRAME_STDCALL Call(TWinControlRef aWebCtrl, const char* Method, const TVarRecAbi* Args,
                                   int32_t high) override {
        return GuardedSlot<TPasBool>("IAppFramework.Call", kPasFalse, [&] {
            return PasBool(F.Call(aWebCtrl, Text(Method), ArgsFromAbi(Args, high)));
        });
    }
    void APPFRAME_STDCALL RegAppContext(IRegAppContext** result) override {
        StoreInterface(result, F.RegAppContext());
    }
    void APPFRAME_STDCALL PackFunParams(const TVarRecAbi* Args, int32_t high, char16_t** result) override {
        GuardedCall("IAppFramework.PackFunParams",
                    [&] { PasWideAssign(result, Utf8ToUtf16(F.PackFunParams(ArgsFromAbi(Args, high)))); });
    }
    void APPFRAME_STDCALL GetControlParams(const char* pCfgType, const char* pSession, const char* pKey,
                                           const char* pDef, char** result) override {
        thread_local TPasConstAnsi answer;
        answer.Assign({});
        GuardedCall("IAppFramework.GetControlParams", [&] {
            answer.Assign(
                Utf8ToAnsi(F.GetControlParams(Text(pCfgType), Text(pSession), Text(pKey), Text(pDef))));
        });
        if (result != nullptr) *result = const_cast<char*>(answer.Data());
    }
    TPasBool APPFRAME_STDCALL SetControlParams(const char* pCfgType, const char* pSession, const char* pKey,
                                               const char* pValue) override {
        return GuardedSlot<TPasBool>("IAppFramework.SetControlParams", kPasFalse, [&] {
            return PasBool(F.SetControlParams(Text(pCfgType), Text(pSession), Text(pKey), Text(pValue)));
        });
    }
    void APPFRAME_STDCALL GetCallerParamInf(IControlParamsInf** result) override {
        TFwRef<IControlParamsInf> params;
        GuardedCall("IAppFramework.GetCallerParamInf", [&] { params = F.GetCallerParamInf(); });
        StoreOwned(result, std::move(params));
    }
    void APPFRAME_STDCALL GetAppContext(IAppContext** result) override {
        TFwRef<IAppContext> context;
        GuardedCall("IAppFramework.GetAppContext", [&] { context = F.GetAppContext(); });
        StoreOwned(result, std::move(context));
    }
    void APPFRAME_STDCALL WriteLog(const char* sMsg, const TVarRecAbi* Args, int32_t high) override {
        GuardedCall("IAppFramework.WriteLog", [&] { F.WriteLog(Text(sMsg), ArgsFromAbi(Args, high)); });
    }
    TPasBool APPFRAME_STDCALL UpdateApp(const char* pEntryNames, int32_t aInstallType) override {
        return GuardedSlot<TPasBool>("IAppFramework.UpdateApp", kPasFalse,
                                     [&] { return PasBool(F.UpdateApp(Text(pEntryNames), aInstallType)); });
    }
    TPasBool APPFRAME_STDCALL UrlRequest(const char* sUrl, uint32_t iTimeOut, char** sRetData) override {
        thread_local TPasConstAnsi answer;
        answer.Assign({});
        const TPasBool ok = GuardedSlot<TPasBool>("IAppFramework.UrlRequest", kPasFalse, [&] {
            std::string bytes;
            const bool done = F.UrlRequest(AnsiToUtf8(PasAnsiView(sUrl)), iTimeOut, bytes);
            answer.Assign(bytes);
            return PasBool(done);
        });
        if (sRetData != nullptr) *sRetData = const_cast<char*>(answer.Data());
        return ok;
    }
    TFwHandle APPFRAME_STDCALL GetApplication() override { return F.GetApplication(); }
    void APPFRAME_STDCALL AppTerminate() override {
        GuardedCall("IAppFramework.AppTerminate", [&] { F.AppTerminate(); });
    }
    void APPFRAME_STDCALL SetOnMainBrowserEvent(TOnMainBrowserEvent aOnMainBrowserEvent) override {
        F.SetOnMainBrowserEvent(aOnMainBrowserEvent);
    }
    void APPFRAME_STDCALL SetOnAppWakeUp(TOnAppWakeUp aOnAppWakeUp) override {
        F.SetOnAppWakeUp(aOnAppWakeUp);
    }

private:
    TAppFramework& F;
};

// ---- TAppFramework -----------------------------------------------------------------------------------

TAppFramework::TAppFramework()
    : FAppContext(std::make_unique<TAppContext>()), FJsCaller(std::make_unique<TJsCaller>(*this)),
      FPsScript(std::make_unique<TPsScript>(*this)), FIntf(std::make_unique<TIntf>(*this)) {}

TAppFramework::~TAppFramework() = default;

IAppFramework* TAppFramework::Intf() {
    return FIntf.get();
}

bool TAppFramework::InitWebCore(std::string_view sMainFestContent, bool bAppSetMainForm,
                                bool bAutoInitAppcation) {
    const TInitWebCore fn = BindFrameworkExport(__InitWebCore, kExpInitWebCore);
    const std::string text = Utf8ToAnsi(sMainFestContent);
    return IsTrue(CallForeign(fn, bAutoInitAppcation ? GetApplication() : 0, PasBool(bAppSetMainForm),
                              reinterpret_cast<TFwHandle>(GetModuleHandleW(nullptr)), text.c_str()));
}

TFwHandle TAppFramework::InitMainForm(bool bNeedShowMain, void* userContext,
                                      TProcWebBrowserEventEx aWebBrowserEvent, std::string_view sParams) {
    const TInitMainForm fn = BindFrameworkExport(__InitMainForm, kExpInitMainForm);
    const std::string params = Utf8ToAnsi(sParams);
    return CallForeign(fn, PasBool(bNeedShowMain), userContext, aWebBrowserEvent, params.c_str());
}

std::unique_ptr<TAppForm> TAppFramework::GetWebCoreForm(TFwHandle hParentHD, void* userContext, bool bUseIE,
                                                        std::string_view sUrl,
                                                        TProcWebBrowserEventEx aWebBrowserEvent,
                                                        IControlParamsInf* iControlParams) {
    const TGetWebCoreForm fn = BindFrameworkExport(
        __GetWebCoreForm, UseAltExports.load() ? kExpGetWebCoreFormEx : kExpGetWebCoreForm);
    const std::string url = Utf8ToAnsi(sUrl);
    const TFwHandle form = CallForeign(fn, hParentHD, userContext, PasBool(bUseIE), url.c_str(),
                                       aWebBrowserEvent, iControlParams);
    return std::make_unique<TAppForm>(form, *this);
}

int32_t TAppFramework::FormShowModal(void* userContext, bool bUseIE, std::string_view sUrl,
                                     TProcWebBrowserEventEx aWebBrowserEvent, IAppContext* aAppContext) {
    const TFormShowModal fn = BindFrameworkExport(__FormShowModal, kExpFormShowModal);
    const std::string url = Utf8ToAnsi(sUrl);
    return CallForeign(fn, userContext, PasBool(bUseIE), url.c_str(), aWebBrowserEvent, aAppContext);
}

void TAppFramework::AppRun() {
    CallForeign(BindFrameworkExport(__AppRun, kExpAppRun));
}

IWebCoreControlInf* TAppFramework::IncWebControl(TWinControlRef aParentObj, void* userContext, bool aUseIE,
                                                 std::string_view sUrl, TProcWebBrowserEventEx aEvent,
                                                 std::string_view sParams) {
    return MakeWebControl(aParentObj, userContext, aUseIE, sUrl, aEvent, sParams);
}

IWebCoreControlInf* TAppFramework::GetWebControl(TWinControlRef aParentObj, void* userContext, bool aUseIE,
                                                 std::string_view sUrl, TProcWebBrowserEventEx aEvent,
                                                 std::string_view sParams) {
    return IncWebControl(aParentObj, userContext, aUseIE, sUrl, aEvent, sParams);
}

TFwHandle TAppFramework::GetMainHandle() {
    return CallForeign(BindFrameworkExport(__GetMainHandle, kExpGetMainHandle));
}

int32_t TAppFramework::GetMainWebID() {
    return static_cast<int32_t>(SendMessageA(Wnd(GetMainHandle()), kFwMsgGetWebID, 1, 0));
}

int32_t TAppFramework::GetWebID(TWinControlRef aWebCtrl) {
    const TFwHandle window = WindowOfControl(aWebCtrl);
    if (window == 0) return 0;
    const std::string className = WindowClassName(window);
    if (SameClassName(className.c_str(), "TWebCoreControl"))
        return IsLiveControlWindow(window)
                   ? static_cast<int32_t>(SendMessageA(Wnd(window), kMsgWebControlWebID, 0, 0))
                   : 0;
    if (SameClassName(className.c_str(), "TfrmSubBrowser"))
        return static_cast<int32_t>(
            SendMessageA(Wnd(window), kFwMsgGetWebID, 1, static_cast<LPARAM>(window)));
    return 0;
}

bool TAppFramework::ExecuteJavaScript(int32_t WebID, std::string_view sScript) {
    if (WebID < 1) return false;
    const std::string script = Utf8ToAnsi(sScript);
    return SendMessageA(Wnd(WebID), kFwMsgRunScript, reinterpret_cast<WPARAM>(script.c_str()),
                        kFwRunScriptFlag) == kFwMsgOk;
}

bool TAppFramework::ExecuteJavaScript(TWinControlRef aWebCtrl, std::string_view sScript) {
    const int32_t webId = GetWebID(aWebCtrl);
    if (webId <= 0) return false;
    return ExecuteJavaScript(webId, sScript);
}

bool TAppFramework::Call(TWinControlRef aWebCtrl, std::string_view Method, const TVarArgs& Args) {
    return ExecuteJavaScript(aWebCtrl, ScriptCallText(Method, Args));
}

IRegAppContext* TAppFramework::RegAppContext() {
    return FAppContext->Intf();
}

void TAppFramework::AppTerminate() {
    CallForeign(BindFrameworkExport(__AppTerminate, kExpAppTerminate));
}

void TAppFramework::ShowForm(TFwHandle aHd) {
    SendMessageA(Wnd(aHd), kFwMsgShowForm, kFwShowNormal, kFwShowNormal);
}

bool TAppFramework::isCefSubProc() {
    std::vector<std::string> words = SplitCommandLine(Narrow(GetCommandLineW()));
    if (!words.empty()) words.erase(words.begin());
    return IsCefSubProcArgs(words);
}

std::string TAppFramework::PackFunParams(const TVarArgs& Args) {
    return PackFunParamsText(Args);
}

TFwHandle TAppFramework::InitApplication() {
    const TInitApplication fn = BindFrameworkExport(__InitApplication, kExpInitApplication);
    const TFwHandle handle =
        CallForeign(fn, GetApplication(), reinterpret_cast<TFwHandle>(GetModuleHandleW(nullptr)));
    SetApplicationHandle(handle);
    return handle;
}

ICallJSInf* TAppFramework::CallJS() {
    return FJsCaller->Intf();
}

std::string TAppFramework::GetControlParams(std::string_view pCfgType, std::string_view pSession,
                                            std::string_view pKey, std::string_view pDef) {
    const TGetControlParams fn = BindFrameworkExport(__GetControlParams, kExpGetControlParams);
    const std::string cfgType = Utf8ToAnsi(pCfgType);
    const std::string session = Utf8ToAnsi(pSession);
    const std::string key = Utf8ToAnsi(pKey);
    const std::string def = Utf8ToAnsi(pDef);
    // The system's zeroed pages: only what the library writes is ever touched, where clearing
    // five megabytes at every call cost milliseconds and as much working set.
    const std::unique_ptr<char, TPagesFree> buffer(static_cast<char*>(
        VirtualAlloc(nullptr, kControlParamsBufferSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)));
    if (!buffer) throw std::bad_alloc();
    if (!IsTrue(CallForeign(fn, cfgType.c_str(), session.c_str(), key.c_str(), def.c_str(), buffer.get())))
        return {};
    return AnsiToUtf8(TextInBuffer(buffer.get(), kControlParamsBufferSize));
}

bool TAppFramework::SetControlParams(std::string_view pCfgType, std::string_view pSession,
                                     std::string_view pKey, std::string_view pValue) {
    const TSetControlParams fn = BindFrameworkExport(__SetControlParams, kExpSetControlParams);
    return IsTrue(CallForeign(fn, Utf8ToAnsi(pCfgType).c_str(), Utf8ToAnsi(pSession).c_str(),
                              Utf8ToAnsi(pKey).c_str(), Utf8ToAnsi(pValue).c_str()));
}

TFwRef<IControlParamsInf> TAppFramework::GetCallerParamInf() {
    IControlParamsInf* params = nullptr;
    CallForeign(BindFrameworkExport(__GetCallerParamInf, kExpGetCallerParamInf), &params);
    return TFwRef<IControlParamsInf>(params);
}

TFwRef<IAppContext> TAppFramework::GetAppContext() {
    IAppContext* context = nullptr;
    CallForeign(BindFrameworkExport(__GetAppContext, kExpGetAppContext), &context);
    return TFwRef<IAppContext>(context);
}

void TAppFramework::WriteLog(std::string_view sMsg, const TVarArgs& Args) {
    const TWriteLog fn = BindFrameworkExport(__WriteLog, kExpWriteLog);
    const std::string line = Utf8ToAnsi(FormatText(sMsg, Args));
    CallForeign(fn, line.c_str());
}

bool TAppFramework::UpdateApp(std::string_view pEntryNames, int32_t aInstallType) {
    const TUpdateApp fn = BindFrameworkExport(__UpdateApp, kExpUpdateApp);
    return IsTrue(CallForeign(fn, Utf8ToAnsi(pEntryNames).c_str(), aInstallType));
}

bool TAppFramework::UrlRequest(std::string_view sUrl, uint32_t iTimeOut, std::string& sRetData) {
    const TUrlRequest request = BindFrameworkExport(__UrlRequest, kExpUrlRequest);
    const TPasConstAnsi url(Utf8ToAnsi(sUrl));
    char* answer = nullptr;
    const bool ok = IsTrue(CallForeign(request, url.Data(), iTimeOut, &answer));
    // The answer is the library's string: read it by its length and hand it back only when the
    // library offers a way to; otherwise it stays with the library.
    sRetData.assign(PasAnsiView(answer));
    if (answer != nullptr) {
        if (const TFreeCountedString release = FreeCountedStringExport()) CallForeign(release, &answer);
    }
    return ok;
}

TFreeCountedString TAppFramework::FreeCountedStringExport() {
    if (!FFreeCountedStringLooked.load(std::memory_order_acquire)) {
        TFreeCountedString fn = nullptr;
        try {
            fn = reinterpret_cast<TFreeCountedString>(
                LoadLibFunction(GetFrameworkLibPath(), kExpFreeCountedString));
        } catch (const ELoadLibError&) {
        }
        __FreeCountedString.store(fn, std::memory_order_release);
        FFreeCountedStringLooked.store(true, std::memory_order_release);
    }
    return __FreeCountedString.load(std::memory_order_acquire);
}

TAppFramework& GetAppFramework() {
    // Never freed: workers and extension modules may still call it while the process ends.
    static TAppFramework* const instance = new TAppFramework();
    return *instance;
}
