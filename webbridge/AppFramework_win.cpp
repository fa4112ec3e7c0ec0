#include "webbridge/AppFramework.h"

#include "foundation/AppLog.h"
#include "foundation/TextCodec.h"
#include "foundation/TextFormat.h"
#include "webbridge/AppContext.h"
#include "webbridge/AppForm.h"
#include "webbridge/BoundaryGuard.h"
#include "webbridge/JsCaller.h"
#include "webbridge/ParamPackers.h"

#include <windows.h>

#include <mutex>

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
IWebCoreControlInf* MakeWebControl(IWinControl* aParentObj, void* userContext, bool aUseIE,
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
    int32_t APPFRAME_STDCALL GetWebID(IWinControl* aWebCtrl) override {
        return GuardedSlot<int32_t>("IAppFramework.GetWebID", 0, [&] { return F.GetWebID(aWebCtrl); });
    }
    ICallJSInf* APPFRAME_STDCALL CallJS() override { return F.CallJS(); }
    IWebCoreControlInf* APPFRAME_STDCALL GetWebControl(IWinControl* aParentObj, void* userContext,
                                                       TFwBool aUseIE, const char* sUrl,
                                                       TProcWebBrowserEventEx aEvent,
                                                       const char* sParams) override {
        return GuardedSlot<IWebCoreControlInf*>("IAppFramework.GetWebControl", nullptr, [&] {
            return F.GetWebControl(aParentObj, userContext, aUseIE != 0, Text(sUrl), aEvent, Text(sParams));
        });
    }
    int32_t APPFRAME_STDCALL FormShowModal(void* userContext, TFwBool bUseIE, const char* sUrl,
                                           TProcWebBrowserEventEx aWebBrowserEvent,
                                           IAppContext* aAppContext) override {
        return GuardedSlot<int32_t>("IAppFramework.FormShowModal", 0, [&] {
            return F.FormShowModal(userContext, bUseIE != 0, Text(sUrl), aWebBrowserEvent, aAppContext);
        });
    }
    TFwBool APPFRAME_STDCALL ExecuteJavaScript(int32_t WebID, const char* sScript) override {
        return GuardedSlot<TFwBool>("IAppFramework.ExecuteJavaScript", 0,
                                    [&] { return F.ExecuteJavaScript(WebID, Text(sScript)) ? 1 : 0; });
    }
    TFwBool APPFRAME_STDCALL ExecuteJavaScriptCtrl(IWinControl* aWebCtrl, const char* sScript) override {
        return GuardedSlot<TFwBool>("IAppFramework.ExecuteJavaScript", 0,
                                    [&] { return F.ExecuteJavaScript(aWebCtrl, Text(sScript)) ? 1 : 0; });
    }
    TFwBool APPFRAME_STDCALL Call(IWinControl* aWebCtrl, const char* Method, const TVarRecAbi* Args,
                                  int32_t argCount) override {
        return GuardedSlot<TFwBool>("IAppFramework.Call", 0, [&] {
            return F.Call(aWebCtrl, Text(Method), ArgsFromAbi(Args, argCount)) ? 1 : 0;
        });
    }
    IRegAppContext* APPFRAME_STDCALL RegAppContext() override { return F.RegAppContext(); }
    const char16_t* APPFRAME_STDCALL PackFunParams(const TVarRecAbi* Args, int32_t argCount) override {
        thread_local std::u16string result;
        result.clear();
        GuardedCall("IAppFramework.PackFunParams",
                    [&] { result = Utf8ToUtf16(F.PackFunParams(ArgsFromAbi(Args, argCount))); });
        return result.c_str();
    }
    const char* APPFRAME_STDCALL GetControlParams(const char* pCfgType, const char* pSession,
                                                  const char* pKey, const char* pDef) override {
        thread_local std::string result;
        result.clear();
        GuardedCall("IAppFramework.GetControlParams", [&] {
            result = Utf8ToAnsi(F.GetControlParams(Text(pCfgType), Text(pSession), Text(pKey), Text(pDef)));
        });
        return result.c_str();
    }
    TFwBool APPFRAME_STDCALL SetControlParams(const char* pCfgType, const char* pSession, const char* pKey,
                                              const char* pValue) override {
        return GuardedSlot<TFwBool>("IAppFramework.SetControlParams", 0, [&] {
            return F.SetControlParams(Text(pCfgType), Text(pSession), Text(pKey), Text(pValue)) ? 1 : 0;
        });
    }
    IControlParamsInf* APPFRAME_STDCALL GetCallerParamInf() override {
        return GuardedSlot<IControlParamsInf*>("IAppFramework.GetCallerParamInf", nullptr,
                                               [&] { return F.GetCallerParamInf(); });
    }
    IAppContext* APPFRAME_STDCALL GetAppContext() override {
        return GuardedSlot<IAppContext*>("IAppFramework.GetAppContext", nullptr,
                                         [&] { return F.GetAppContext().Detach(); });
    }
    TFwBool APPFRAME_STDCALL WriteLog(const char* sMsg, const TVarRecAbi* Args, int32_t argCount) override {
        return GuardedSlot<TFwBool>("IAppFramework.WriteLog", 0, [&] {
            F.WriteLog(Text(sMsg), ArgsFromAbi(Args, argCount));
            return 1;
        });
    }
    TFwBool APPFRAME_STDCALL UpdateApp(const char* pEntryNames, int32_t aInstallType) override {
        return GuardedSlot<TFwBool>("IAppFramework.UpdateApp", 0,
                                    [&] { return F.UpdateApp(Text(pEntryNames), aInstallType) ? 1 : 0; });
    }
    TFwBool APPFRAME_STDCALL UrlRequest(const TFwCountedString* sUrl, uint32_t iTimeOut,
                                        TFwCountedString* sRetData) override {
        thread_local std::string answer;
        answer.clear();
        const TFwBool ok = GuardedSlot<TFwBool>("IAppFramework.UrlRequest", 0, [&] {
            std::string url;
            if (sUrl != nullptr && sUrl->Data != nullptr)
                url = AnsiToUtf8(std::string_view(sUrl->Data, sUrl->Length));
            return F.UrlRequest(url, iTimeOut, answer) ? 1 : 0;
        });
        if (sRetData != nullptr) {
            sRetData->Data = answer.data();
            sRetData->Length = static_cast<uint32_t>(answer.size());
        }
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
    return fn(bAutoInitAppcation ? GetApplication() : 0, bAppSetMainForm ? 1 : 0,
              reinterpret_cast<TFwHandle>(GetModuleHandleW(nullptr)), text.c_str()) != 0;
}

TFwHandle TAppFramework::InitMainForm(bool bNeedShowMain, void* userContext,
                                      TProcWebBrowserEventEx aWebBrowserEvent, std::string_view sParams) {
    const TInitMainForm fn = BindFrameworkExport(__InitMainForm, kExpInitMainForm);
    const std::string params = Utf8ToAnsi(sParams);
    return fn(bNeedShowMain ? 1 : 0, userContext, aWebBrowserEvent, params.c_str());
}

std::unique_ptr<TAppForm> TAppFramework::GetWebCoreForm(TFwHandle hParentHD, void* userContext, bool bUseIE,
                                                        std::string_view sUrl,
                                                        TProcWebBrowserEventEx aWebBrowserEvent,
                                                        IControlParamsInf* iControlParams) {
    const TGetWebCoreForm fn = BindFrameworkExport(
        __GetWebCoreForm, UseAltExports.load() ? kExpGetWebCoreFormEx : kExpGetWebCoreForm);
    const std::string url = Utf8ToAnsi(sUrl);
    const TFwHandle form =
        fn(hParentHD, userContext, bUseIE ? 1 : 0, url.c_str(), aWebBrowserEvent, iControlParams);
    return std::make_unique<TAppForm>(form, *this);
}

int32_t TAppFramework::FormShowModal(void* userContext, bool bUseIE, std::string_view sUrl,
                                     TProcWebBrowserEventEx aWebBrowserEvent, IAppContext* aAppContext) {
    const TFormShowModal fn = BindFrameworkExport(__FormShowModal, kExpFormShowModal);
    const std::string url = Utf8ToAnsi(sUrl);
    return fn(userContext, bUseIE ? 1 : 0, url.c_str(), aWebBrowserEvent, aAppContext);
}

void TAppFramework::AppRun() {
    BindFrameworkExport(__AppRun, kExpAppRun)();
}

IWebCoreControlInf* TAppFramework::IncWebControl(IWinControl* aParentObj, void* userContext, bool aUseIE,
                                                 std::string_view sUrl, TProcWebBrowserEventEx aEvent,
                                                 std::string_view sParams) {
    return MakeWebControl(aParentObj, userContext, aUseIE, sUrl, aEvent, sParams);
}

IWebCoreControlInf* TAppFramework::GetWebControl(IWinControl* aParentObj, void* userContext, bool aUseIE,
                                                 std::string_view sUrl, TProcWebBrowserEventEx aEvent,
                                                 std::string_view sParams) {
    return IncWebControl(aParentObj, userContext, aUseIE, sUrl, aEvent, sParams);
}

TFwHandle TAppFramework::GetMainHandle() {
    return BindFrameworkExport(__GetMainHandle, kExpGetMainHandle)();
}

int32_t TAppFramework::GetMainWebID() {
    return static_cast<int32_t>(SendMessageA(Wnd(GetMainHandle()), kFwMsgGetWebID, 1, 0));
}

int32_t TAppFramework::GetWebID(IWinControl* aWebCtrl) {
    if (aWebCtrl == nullptr) return 0;
    const char* className = aWebCtrl->ClassName();
    if (SameClassName(className, "TWebCoreControl")) return aWebCtrl->WebID();
    if (SameClassName(className, "TfrmSubBrowser")) {
        const TFwHandle own = aWebCtrl->Handle();
        return static_cast<int32_t>(SendMessageA(Wnd(own), kFwMsgGetWebID, 1, static_cast<LPARAM>(own)));
    }
    return 0;
}

bool TAppFramework::ExecuteJavaScript(int32_t WebID, std::string_view sScript) {
    if (WebID < 1) return false;
    const std::string script = Utf8ToAnsi(sScript);
    return SendMessageA(Wnd(WebID), kFwMsgRunScript, reinterpret_cast<WPARAM>(script.c_str()),
                        kFwRunScriptFlag) == kFwMsgOk;
}

bool TAppFramework::ExecuteJavaScript(IWinControl* aWebCtrl, std::string_view sScript) {
    const int32_t webId = GetWebID(aWebCtrl);
    if (webId <= 0) return false;
    return ExecuteJavaScript(webId, sScript);
}

bool TAppFramework::Call(IWinControl* aWebCtrl, std::string_view Method, const TVarArgs& Args) {
    return ExecuteJavaScript(aWebCtrl, ScriptCallText(Method, Args));
}

IRegAppContext* TAppFramework::RegAppContext() {
    return FAppContext->Intf();
}

void TAppFramework::AppTerminate() {
    BindFrameworkExport(__AppTerminate, kExpAppTerminate)();
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
    const TFwHandle handle = fn(GetApplication(), reinterpret_cast<TFwHandle>(GetModuleHandleW(nullptr)));
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
    std::unique_ptr<char[]> buffer(new char[kControlParamsBufferSize]());
    if (fn(cfgType.c_str(), session.c_str(), key.c_str(), def.c_str(), buffer.get()) == 0) return {};
    return AnsiToUtf8(TextInBuffer(buffer.get(), kControlParamsBufferSize));
}

bool TAppFramework::SetControlParams(std::string_view pCfgType, std::string_view pSession,
                                     std::string_view pKey, std::string_view pValue) {
    const TSetControlParams fn = BindFrameworkExport(__SetControlParams, kExpSetControlParams);
    return fn(Utf8ToAnsi(pCfgType).c_str(), Utf8ToAnsi(pSession).c_str(), Utf8ToAnsi(pKey).c_str(),
              Utf8ToAnsi(pValue).c_str()) != 0;
}

IControlParamsInf* TAppFramework::GetCallerParamInf() {
    return BindFrameworkExport(__GetCallerParamInf, kExpGetCallerParamInf)();
}

TFwRef<IAppContext> TAppFramework::GetAppContext() {
    return TFwRef<IAppContext>(BindFrameworkExport(__GetAppContext, kExpGetAppContext)());
}

void TAppFramework::WriteLog(std::string_view sMsg, const TVarArgs& Args) {
    const TWriteLog fn = BindFrameworkExport(__WriteLog, kExpWriteLog);
    const std::string line = Utf8ToAnsi(FormatText(sMsg, Args));
    fn(line.c_str());
}

bool TAppFramework::UpdateApp(std::string_view pEntryNames, int32_t aInstallType) {
    const TUpdateApp fn = BindFrameworkExport(__UpdateApp, kExpUpdateApp);
    return fn(Utf8ToAnsi(pEntryNames).c_str(), aInstallType) != 0;
}

bool TAppFramework::UrlRequest(std::string_view sUrl, uint32_t iTimeOut, std::string& sRetData) {
    const TUrlRequest request = BindFrameworkExport(__UrlRequest, kExpUrlRequest);
    const TFreeCountedString release = BindFrameworkExport(__FreeCountedString, kExpFreeCountedString);
    std::string url = Utf8ToAnsi(sUrl);
    const TFwCountedString in{url.data(), static_cast<uint32_t>(url.size())};
    TFwCountedString out{nullptr, 0};
    const bool ok = request(&in, iTimeOut, &out) != 0;
    // Hand the library's memory back before anything here can fail.
    std::string answer = out.Data != nullptr ? std::string(out.Data, out.Length) : std::string();
    if (out.Data != nullptr) release(&out);
    sRetData = std::move(answer);
    return ok;
}

TAppFramework& GetAppFramework() {
    // Never freed: workers and extension modules may still call it while the process ends.
    static TAppFramework* const instance = new TAppFramework();
    return *instance;
}
