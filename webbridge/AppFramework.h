#pragma once
// TAppFramework: the one object through which the program uses AppFramework.dll. Each export is
// bound on first use; texts are UTF-8 here and ANSI towards the library. Failures (library or
// export missing, a log format that does not match) raise to the caller; the IAppFramework face
// handed to extension modules catches them instead.
#include "foundation/TaggedValue.h"
#include "webbridge/AppFrameworkIntf.h"

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class TAppContext;
class TAppForm;
class TJsCaller;
class TPsScript;

// A library or one of its exports that cannot be found; the text names the path or the function.
struct ELoadLibError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Off: bind "GetWebCoreForm" and "CallRegisterFun". On: their alternates "GetWebCoreFormEx" and
// "CallRegisterFunSim".
extern std::atomic<bool> UseAltExports;

// The library path: the first existing candidate, remembered for the process once found; when
// none exists, the last candidate, not remembered, so the next call searches again.
std::string GetFrameworkLibPath();
// Forgets the remembered path (unit finalisation; tests).
void ResetFrameworkLibPath();
// The candidate search itself, given the program folder (with trailing separator) and a test
// for existence. `found` tells whether the answer exists.
std::string ChooseFrameworkLibPath(const std::string& programFolder,
                                   const std::function<bool(const std::string&)>& exists, bool& found);

// Loads a library by path (or, failing that, program folder + "CefLib\" + path) and returns the
// address of an export. Raises ELoadLibError with the fixed texts. Libraries stay loaded.
void* LoadLibFunction(const std::string& pathUtf8, const std::string& name);

// Binds an export of the library on first use and keeps its address. Not locked: two threads
// binding at once both resolve the same address.
template <class Fn>
Fn BindFrameworkExport(std::atomic<Fn>& field, const char* name) {
    Fn fn = field.load(std::memory_order_acquire);
    if (fn == nullptr) {
        fn = reinterpret_cast<Fn>(LoadLibFunction(GetFrameworkLibPath(), name));
        field.store(fn, std::memory_order_release);
    }
    return fn;
}

// True when the process has at least one argument and the last contains "prefetch:" (a browser
// sub-process started by the library). `args` excludes the program itself.
bool IsCefSubProcArgs(const std::vector<std::string>& args);
// The words of a command line, program first: separated by blanks and tabs; double quotes group
// blanks into a word and are dropped.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// The zero-terminated text at the start of a buffer the library filled, read only within it.
std::string TextInBuffer(const char* buffer, size_t size);

// Creates web controls for IncWebControl / GetWebControl; the web control unit installs it.
using TWebControlFactory = std::function<IWebCoreControlInf*(
    TWinControlRef aParentObj, void* userContext, bool aUseIE, const std::string& sUrl,
    TProcWebBrowserEventEx aEvent, const std::string& sParams)>;
void SetWebControlFactory(TWebControlFactory factory);

class TAppFramework {
public:
    TAppFramework();
    ~TAppFramework();
    TAppFramework(const TAppFramework&) = delete;
    TAppFramework& operator=(const TAppFramework&) = delete;

    bool InitWebCore(std::string_view sMainFestContent, bool bAppSetMainForm, bool bAutoInitAppcation);
    TFwHandle InitMainForm(bool bNeedShowMain, void* userContext, TProcWebBrowserEventEx aWebBrowserEvent,
                           std::string_view sParams);
    // The caller owns the wrapper.
    std::unique_ptr<TAppForm> GetWebCoreForm(TFwHandle hParentHD, void* userContext, bool bUseIE,
                                             std::string_view sUrl, TProcWebBrowserEventEx aWebBrowserEvent,
                                             IControlParamsInf* iControlParams);
    int32_t FormShowModal(void* userContext, bool bUseIE, std::string_view sUrl,
                          TProcWebBrowserEventEx aWebBrowserEvent, IAppContext* aAppContext);
    void AppRun();
    // The control's owner (aParentObj's form) frees it.
    IWebCoreControlInf* IncWebControl(TWinControlRef aParentObj, void* userContext, bool aUseIE,
                                      std::string_view sUrl, TProcWebBrowserEventEx aEvent,
                                      std::string_view sParams);
    IWebCoreControlInf* GetWebControl(TWinControlRef aParentObj, void* userContext, bool aUseIE,
                                      std::string_view sUrl, TProcWebBrowserEventEx aEvent,
                                      std::string_view sParams);
    TFwHandle GetMainHandle();
    int32_t GetMainWebID();
    int32_t GetWebID(TWinControlRef aWebCtrl);
    bool ExecuteJavaScript(int32_t WebID, std::string_view sScript);
    bool ExecuteJavaScript(TWinControlRef aWebCtrl, std::string_view sScript);
    bool Call(TWinControlRef aWebCtrl, std::string_view Method, const TVarArgs& Args);
    IRegAppContext* RegAppContext();
    void AppTerminate();
    void ShowForm(TFwHandle aHd);
    static bool isCefSubProc();
    std::string PackFunParams(const TVarArgs& Args); // UTF-8 JSON
    TFwHandle InitApplication();
    ICallJSInf* CallJS();
    // Empty text when the library answers false; the default is the library's business.
    std::string GetControlParams(std::string_view pCfgType, std::string_view pSession, std::string_view pKey,
                                 std::string_view pDef);
    bool SetControlParams(std::string_view pCfgType, std::string_view pSession, std::string_view pKey,
                          std::string_view pValue);
    TFwRef<IControlParamsInf> GetCallerParamInf();
    TFwRef<IAppContext> GetAppContext(); // null when the library gives none
    // The main log. Raises EFormatError when sMsg does not match Args.
    void WriteLog(std::string_view sMsg, const TVarArgs& Args = {});
    bool UpdateApp(std::string_view pEntryNames, int32_t aInstallType);
    // sRetData receives the answer bytes as the library gives them. Works with a library that has
    // only its own exports (the optional FreeCountedString is used when present).
    bool UrlRequest(std::string_view sUrl, uint32_t iTimeOut, std::string& sRetData);
    // The application window (InitApplication makes the library's answer the application window).
    TFwHandle GetApplication() const { return FApplicationHandle.load(); }
    void SetApplicationHandle(TFwHandle handle) { FApplicationHandle.store(handle); }
    void SetOnMainBrowserEvent(TOnMainBrowserEvent aOnMainBrowserEvent) {
        FOnMainBrowserEvent = aOnMainBrowserEvent;
    }
    void SetOnAppWakeUp(TOnAppWakeUp aOnAppWakeUp) { FOnAppWakeUp = aOnAppWakeUp; }

    TAppContext& AppContext() { return *FAppContext; }
    TJsCaller& JsCaller() { return *FJsCaller; }
    TPsScript& PsScript() { return *FPsScript; }
    TOnMainBrowserEvent OnMainBrowserEvent() const { return FOnMainBrowserEvent; }
    TOnAppWakeUp OnAppWakeUp() const { return FOnAppWakeUp; }

    // The face handed to extension modules.
    IAppFramework* Intf();

private:
    class TIntf;
    TFreeCountedString FreeCountedStringExport(); // nil when the library has none

    std::atomic<TInitWebCore> __InitWebCore{nullptr};
    std::atomic<TInitMainForm> __InitMainForm{nullptr};
    std::atomic<TAppRun> __AppRun{nullptr};
    std::atomic<TGetWebCoreForm> __GetWebCoreForm{nullptr};
    std::atomic<TGetMainHandle> __GetMainHandle{nullptr};
    std::atomic<TAppTerminate> __AppTerminate{nullptr};
    std::atomic<TInitApplication> __InitApplication{nullptr};
    std::atomic<TGetControlParams> __GetControlParams{nullptr};
    std::atomic<TSetControlParams> __SetControlParams{nullptr};
    std::atomic<TGetCallerParamInf> __GetCallerParamInf{nullptr};
    std::atomic<TGetAppContext> __GetAppContext{nullptr};
    std::atomic<TFormShowModal> __FormShowModal{nullptr};
    std::atomic<TWriteLog> __WriteLog{nullptr};
    std::atomic<TUpdateApp> __UpdateApp{nullptr};
    std::atomic<TUrlRequest> __UrlRequest{nullptr};
    std::atomic<TFreeCountedString> __FreeCountedString{nullptr};
    std::atomic<bool> FFreeCountedStringLooked{false};
    std::unique_ptr<TAppContext> FAppContext;
    std::unique_ptr<TJsCaller> FJsCaller;
    std::unique_ptr<TPsScript> FPsScript;
    TOnMainBrowserEvent FOnMainBrowserEvent = nullptr;
    TOnAppWakeUp FOnAppWakeUp{nullptr, nullptr};
    std::atomic<TFwHandle> FApplicationHandle{0};
    std::unique_ptr<TIntf> FIntf;
};

// The process-wide binding, created on first use and never freed.
TAppFramework& GetAppFramework();
