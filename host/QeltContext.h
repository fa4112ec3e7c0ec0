#pragma once
// The host context: the one object that holds the running client together (Win32 build only).
// It reads the program's identity and configuration, enforces one instance per application id,
// owns the action registry and the extension-module list, closes the splash on time-out and
// offers the host's services. Its window receives the inter-process and internal messages; the
// handlers of those messages are installed from outside (SetMessageHandler, SetAppMessageHandler).
//
// Threads: everything runs on the user-interface thread, except CallActionFun, GetExtModulePath
// and the text services, which the background runner may call too.
#include "actions/ActionRegistry.h"
#include "foundation/Abi.h"
#include "foundation/Json.h"
#include "foundation/OrderList.h"
#include "foundation/ScopedWin.h"
#include "host/HostFramework.h"
#include "host/SplashForm.h"
#include "services/ServiceHost.h"
#include "webbridge/AppContextIntf.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class TZRSvcAPIHelper;

// One loaded extension module, kept until the process ends.
struct TModulesInfo {
    std::string sIniFun;
    void* pIniFun = nullptr;
    std::string sDllPath;
};

// Environment variables kept in the framework's control parameters.
class TEnviVars {
public:
    explicit TEnviVars(IHostFramework& framework) : FFramework(framework) {}
    bool IsLogin() const;
    void SetIsLogin(bool value);
    // {"IsLogin":true|false}
    std::string ToJson() const;

private:
    IHostFramework& FFramework;
};

// Raised by the constructor when MainFest.cfg is missing or unreadable.
class EManifestError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Everything the context would otherwise take from the process, so tests can give their own.
struct TQeltContextSettings {
    // The program's folder with a trailing "\"; empty: the executable's folder.
    std::string ProgramFolder;
    // The application window, whose window procedure sees the registered message first. When
    // null, the context's own window is a hidden top-level window and stands in for it.
    HWND ApplicationWindow = nullptr;
    // Command-line parameters (without the program); used when UseProcessCommandLine is false.
    bool UseProcessCommandLine = true;
    std::vector<std::string> CommandLine;
    // "Name" of the installation record; empty: the executable's name without extension.
    std::string ApplicationTitle;
    IHostFramework* Framework = nullptr;    // null: HostFramework()
    IDispatchPort* Port = nullptr;          // null: DefaultDispatchPort()
    ITaskRunner* TaskRunner = nullptr;      // null: the process-wide task runner
    TZRSvcAPIHelper* HelpService = nullptr; // null: TZRSvcAPIHelper::Instance()
    // Starts the device's insert/update watch in the QNB run mode; none: nothing is started.
    std::function<void()> StartDeviceWatch;
};

class TQeltContext : private IDispatchEnvironment {
public:
    // Handler of a message to the context's window; its result is the message's result.
    using TMessageHandler = std::function<LRESULT(TQeltContext& context, WPARAM wParam, LPARAM lParam)>;
    // Handler of the registered message on the application window (code = wParam).
    using TAppMessageHandler = std::function<void(TQeltContext& context, WPARAM code, LPARAM lParam)>;

    static constexpr UINT_PTR kSplashTimerId = 1;
    static constexpr char kSplashWaitDefault[] = "1001";

    // Creates the window and reads MainFest.cfg; raises EManifestError when the file is missing.
    explicit TQeltContext(TQeltContextSettings settings = {});
    virtual ~TQeltContext();
    TQeltContext(const TQeltContext&) = delete;
    TQeltContext& operator=(const TQeltContext&) = delete;

    // Run modes, application id, registered message, window-procedure hook, single instance,
    // action registry. False when another instance with the same id runs.
    bool InitProgram();
    void InitAllModules();
    // Extension modules, pop-up form address, help service.
    void InitFinished();
    void InitEnviVar();

    TCurrentCallerType CallActionFun(const std::string& sAction, const TCallerContextPtr& aContext);
    std::string CallActionFun(const std::string& sAction, const TVarArgs& Args);
    TCefActionReference* GetActionReference(const std::string& name);
    TActionRegistry& Registry() { return FRegistry; }

    std::string ReadCfgValue(const std::string& file, const std::string& section, const std::string& key,
                             const std::string& defaultValue) const;

    // Splash time-out.
    void SetCheckFlashTime();
    void OnSplashTimer();
    void SetSplashForm(std::unique_ptr<ISplashForm> splash) { FSplashForm = std::move(splash); }
    bool HasSplashForm() const { return FSplashForm != nullptr; }
    // Closes and forgets the splash, shows the main window and marks the context initialised;
    // false when there was no splash any more.
    bool CloseSplashForm();

    // Extension modules and host services.
    void LoadExtendModules();
    std::string GetExtModulePath(const std::string& name);
    void DeployHelpService(const std::string& path);
    void CheckSoftReg();
    std::string EncryptString(const std::string& text) const;
    std::string DecryptString(const std::string& hex) const;
    std::string ReadEncryptedParam(const std::string& cfgType, const std::string& section,
                                   const std::string& key) const;
    std::string GetTaxCalendarURL();
    // Names of the listed extension modules, in list order.
    std::vector<std::string> ExtModuleNames();

    // Called at their points of start-up and dispatch; they have no effect.
    void asyGetTaxInfo() {}
    void StartMonitor() {}
    void BeginCall() {}
    void EndCall() {}

    // Properties.
    std::string MainFest() const; // the manifest as JSON text, empty when none
    const JsonRef& Manifest() const { return FMainFest; }
    const std::vector<std::string>& MainFestLines() const { return FmainFestCfg; }
    void SetMainFormHD(HWND window) { FMainFormHD = window; }
    HWND MainFormHD() const { return FMainFormHD; }
    const std::string& AppID() const { return FAppID; }
    const std::string& popFormUrl() const { return FpopFormUrl; }
    void SetpopFormUrl(const std::string& url) { FpopFormUrl = url; }
    bool bIsRunInQNB() const { return FIsRunInQNB; }
    bool bIsNeedOpenHelp() const { return FbIsNeedOpenHelp.load(); }
    void SetbIsNeedOpenHelp(bool value) { FbIsNeedOpenHelp.store(value); }
    // Reads and clears the help request in one step (the help action reports it once).
    bool TakeNeedOpenHelp() { return FbIsNeedOpenHelp.exchange(false); }
    const std::string& appPath() const { return FappPath; }
    bool bIsInited() const { return FbIsInited; }
    void SetbIsInited(bool value) { FbIsInited = value; }
    int32_t MainCallerID() const { return FMainCallerID; }
    void SetMainCallerID(int32_t id) { FMainCallerID = id; }
    const std::string& curUrl() const { return FcurUrl; }
    void SetcurUrl(const std::string& url) { FcurUrl = url; }
    TEnviVars& EnviVars() { return *FEnviVars; }
    IHostFramework& Framework() const { return FFramework; }
    // The reference-counted interface of the context; its counting is disabled.
    IFwUnknown* Intf() { return &FIntf; }

    // The context's own window and its message handlers (any message, WM_COPYDATA included).
    HWND Handle() const { return FHandle; }
    void SetMessageHandler(UINT message, TMessageHandler handler);

    // The single-instance machinery.
    UINT RegisteredMessage() const { return FRegisteredMessage; }
    HWND ApplicationWindow() const { return FAppWindow; }
    void SetAppMessageHandler(TAppMessageHandler handler) { FAppMessageHandler = std::move(handler); }
    // Forwards a message to the procedure the hook replaced (DefWindowProc when none).
    LRESULT CallPreviousAppWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Puts the replaced window procedure back (when the hook is still the current one).
    void RestoreAppWndProc();
    bool HasInstanceMutex() const { return static_cast<bool>(FInstanceMutex); }
    void CloseInstanceMutex() { FInstanceMutex.Reset(); }

protected:
    // The context window's procedure: the registered message when the context stands in for the
    // application window, the splash timer, then the handler table, then DefWindowProc.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

private:
    class TContextIntf final : public IFwUnknown {
    public:
        explicit TContextIntf(TQeltContext& owner) : FOwner(owner) {}
        TFwHResult APPFRAME_STDCALL QueryInterface(const TFwGuid& iid, void** object) override;
        uint32_t APPFRAME_STDCALL AddRef() override;
        uint32_t APPFRAME_STDCALL Release() override;

    private:
        TQeltContext& FOwner;
    };

    static LRESULT CALLBACK StaticWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK StaticAppWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void HandleAppMessage(WPARAM code, LPARAM lParam);
    void AllowCopyDataMessages();
    bool CreateInstanceMutex();
    void BroadcastToOtherInstances();
    void LoadOneModule(const std::string& name, const std::string& dllPath, const std::string& funName);
    void Log(const std::string& line) const;

    // IDispatchEnvironment
    bool FileExists(const std::string& path) override;
    std::string ProgramFolder() override { return FappPath; }
    std::string ExtModulePath(const std::string& name) override { return GetExtModulePath(name); }
    void ShowMessage(const std::string& text) override;

    TQeltContextSettings FSettings;
    IHostFramework& FFramework;

    // The fields of the context, in their declared order.
    JsonRef FMainFest;
    HWND FMainFormHD = nullptr;
    bool FbIsInited = false;
    std::vector<std::string> FmainFestCfg;
    int32_t FRefCount = 0;
    CriticalSection FCallLock; // kept for extension code; the context itself takes no lock
    TActionRegistry FRegistry;
    std::string FAppID;
    std::string FpopFormUrl;
    bool FIsRunInQNB = false;
    std::atomic<bool> FbIsNeedOpenHelp{false}; // also taken by the background runner
    std::string FappPath;
    TStrOrderList FExtModulesList;
    std::string FcurUrl;
    std::unique_ptr<TEnviVars> FEnviVars;
    int32_t FMainCallerID = 0;

    TContextIntf FIntf{*this};
    std::unique_ptr<IServiceHost> FServiceHost; // what the services see of this context
    HWND FHandle = nullptr;
    HWND FAppWindow = nullptr;
    WNDPROC FPrevAppWndProc = nullptr;
    bool FAppWndProcHooked = false;
    UINT FRegisteredMessage = 0;
    UniqueHandle FInstanceMutex;
    bool FStartedWorkers = false;
    std::unique_ptr<ISplashForm> FSplashForm;
    std::map<UINT, TMessageHandler> FMessageHandlers;
    TAppMessageHandler FAppMessageHandler;
};

// The framework binding as the dispatch's port (page answers, new contexts, main log).
IDispatchPort& DefaultDispatchPort();
