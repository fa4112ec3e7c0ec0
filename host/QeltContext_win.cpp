#include "host/QeltContext.h"
#include "foundation/WinProcess.h"

#include "actions/AsyncTasks.h"
#include "device/LocalEnv.h"
#include "device/ZRSvcAPIHelper.h"
#include "foundation/ForeignCall.h"
#include "foundation/TextCodec.h"
#include "host/HostConfig.h"
#include "host/HostFiles.h"
#include "host/HostServices.h"
#include "services/ServiceClasses.h"
#include "services/ZRAccountContract.h"
#include "webbridge/AppFramework.h"

#include <shellapi.h>

#include <cstdlib>

namespace {

constexpr wchar_t kWindowClass[] = L"TQeltContext";
// Properties on the application window while the hook is installed.
constexpr wchar_t kContextProp[] = L"TQeltContext.Context";
constexpr wchar_t kPrevProcProp[] = L"TQeltContext.PrevProc";

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WithTrailingDelimiter(std::string folder) {
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
    return folder;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
        start = end + 1;
    }
    return lines;
}

void SetRegString(HKEY key, const wchar_t* name, const std::string& utf8) {
    const std::wstring value = Widen(utf8);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Environment variables

bool TEnviVars::IsLogin() const {
    return ControlParamToBool(FFramework.GetControlParams("Sys", "State", "IsLogin", "0"));
}

void TEnviVars::SetIsLogin(bool value) {
    FFramework.SetControlParams("Sys", "State", "IsLogin", value ? "1" : "0");
}

std::string TEnviVars::ToJson() const {
    const JsonRef obj = NewJsonObject();
    obj->PutB("IsLogin", IsLogin());
    return PrintJson(obj);
}

// ---------------------------------------------------------------------------------------------
// The context's interface: counting is disabled, references never free the context.

TFwHResult APPFRAME_STDCALL TQeltContext::TContextIntf::QueryInterface(const TFwGuid& iid, void** object) {
    if (!object) return kFwENoInterface;
    if (iid == IID_IFwUnknown) {
        *object = this;
        AddRef();
        return kFwSOk;
    }
    *object = nullptr;
    return kFwENoInterface;
}

uint32_t APPFRAME_STDCALL TQeltContext::TContextIntf::AddRef() {
    FOwner.FRefCount = 100;
    return 100;
}

uint32_t APPFRAME_STDCALL TQeltContext::TContextIntf::Release() {
    return static_cast<uint32_t>(FOwner.FRefCount);
}

// ---------------------------------------------------------------------------------------------
// Construction and teardown

namespace {

// The context as the page-facing services see it.
class TContextServiceHost final : public IServiceHost {
public:
    explicit TContextServiceHost(TQeltContext& context) : F(context) {}
    std::string AppID() override { return F.AppID(); }
    std::string ProgramFolder() override { return F.appPath(); }
    bool TakeHelpRequest() override { return F.TakeNeedOpenHelp(); }
    std::string CallAction(const std::string& sAction, const TVarArgs& Args) override {
        return F.CallActionFun(sAction, Args);
    }
    bool AppendNotifyTask(const std::string& label, TNotifyType type, const TVarArgs& args) override {
        return ::AppendNotifyTask(label, type, args);
    }
    std::string TaxCalendarURL() override { return F.GetTaxCalendarURL(); }

private:
    TQeltContext& F;
};

} // namespace

TQeltContext::TQeltContext(TQeltContextSettings settings)
    : FSettings(std::move(settings)),
      FFramework(FSettings.Framework ? *FSettings.Framework : HostFramework()),
      FRegistry(FSettings.Port ? *FSettings.Port : DefaultDispatchPort(), *this) {
    AllowCopyDataMessages();
    FExtModulesList.FDisposeData = [](void* data) { delete static_cast<TModulesInfo*>(data); };
    FMainCallerID = 0;
    FappPath = WithTrailingDelimiter(FSettings.ProgramFolder.empty() ? FolderOf(ExecutablePath())
                                                                     : FSettings.ProgramFolder);

    // The manifest is read before the window exists, so a failed construction leaves nothing behind.
    FbIsNeedOpenHelp = false;
    FEnviVars = std::make_unique<TEnviVars>(FFramework);
    FServiceHost = std::make_unique<TContextServiceHost>(*this);
    SetServiceHost(FServiceHost.get());
    const std::string manifestPath = FappPath + kManifestFileName;
    std::string bytes;
    if (!ReadFileBytes(manifestPath, bytes))
        throw EManifestError("Cannot open file \"" + manifestPath + "\"");
    const std::string text = DecodeConfigText(bytes);
    FmainFestCfg = SplitLines(text);
    FIsRunInQNB = false;
    FbIsInited = false;
    FMainFest = ParseJson(text);

    static const ATOM windowClass = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &TQeltContext::StaticWndProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kWindowClass;
        return RegisterClassExW(&wc);
    }();
    (void)windowClass;
    const bool child = FSettings.ApplicationWindow != nullptr;
    FHandle = CreateWindowExW(child ? 0 : WS_EX_TOOLWINDOW, kWindowClass, L"", child ? WS_CHILD : WS_POPUP, 0,
                              0, 0, 0, FSettings.ApplicationWindow, nullptr, GetModuleHandleW(nullptr), this);
    if (!FHandle) throw std::runtime_error("TQeltContext: CreateWindowEx failed");
}

TQeltContext::~TQeltContext() {
    if (FStartedWorkers) StopAsyncWorkers();
    if (&ServiceHost() == FServiceHost.get()) SetServiceHost(nullptr);
    if (FHandle) KillTimer(FHandle, kSplashTimerId);
    RestoreAppWndProc();
    FEnviVars.reset();
    FRegistry.Clear();
    FmainFestCfg.clear();
    FMainFest.reset();
    FExtModulesList.Lock();
    FExtModulesList.Clear();
    FExtModulesList.UnLock();
    FSplashForm.reset();
    if (FHandle) {
        SetWindowLongPtrW(FHandle, GWLP_USERDATA, 0);
        DestroyWindow(FHandle);
        FHandle = nullptr;
    }
    FInstanceMutex.Reset();
}

void TQeltContext::AllowCopyDataMessages() {
    using TChangeWindowMessageFilter = BOOL(WINAPI*)(UINT message, DWORD flag);
    constexpr DWORD kFilterAdd = 1;
    constexpr DWORD kFilterRemove = 2;
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (!user32) return;
    auto change = reinterpret_cast<TChangeWindowMessageFilter>(
        reinterpret_cast<void*>(GetProcAddress(user32, "ChangeWindowMessageFilter")));
    if (!change) return;
    change(WM_COPYDATA, kFilterAdd);
    change(WM_DEVICECHANGE, kFilterRemove);
}

// ---------------------------------------------------------------------------------------------
// Initialisation

bool TQeltContext::InitProgram() {
    bool result = true;

    FIsRunInQNB = false;
    const TRunModes modes =
        ParseRunModes(FSettings.UseProcessCommandLine ? ProcessParameters() : FSettings.CommandLine);
    FIsRunInQNB = modes.IsRunInQNB;
    if (modes.NeedOpenHelp) FbIsNeedOpenHelp = true;
    if (FIsRunInQNB && FSettings.StartDeviceWatch) {
        try {
            FSettings.StartDeviceWatch();
        } catch (const std::exception& e) {
            Log(e.what());
        } catch (...) {
        }
    }

    FAppID = ResolveAppId(ReadCfgValue(FappPath + kEnviParamsFileName, "EnviParams", "AppID", ""), FMainFest);

    FRegisteredMessage = RegisterWindowMessageW(Widen(FAppID).c_str());
    FAppWindow = FSettings.ApplicationWindow ? FSettings.ApplicationWindow : FHandle;
    if (FAppWindow != FHandle && !FAppWndProcHooked) {
        SetPropW(FAppWindow, kContextProp, this);
        FPrevAppWndProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            FAppWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TQeltContext::StaticAppWndProc)));
        SetPropW(FAppWindow, kPrevProcProp, reinterpret_cast<HANDLE>(FPrevAppWndProc));
        FAppWndProcHooked = true;
    }

    if (!CreateInstanceMutex()) {
        result = false;
        BroadcastToOtherInstances();
    }

    // The same file the account library is loaded from at start (services/AccountLibrary.h).
    if (FileExistsUtf8(FappPath + kZRAccountLibName)) {
        InitAllModules();
        if (FSettings.TaskRunner) {
            FRegistry.SetTaskRunner(FSettings.TaskRunner);
        } else {
            SetAsyncWorkerServices(&FRegistry.Port(), &FRegistry);
            GetAsyRunTask();
            FStartedWorkers = true;
        }
    }
    return result;
}

// Creating the mutex and looking at whether it existed is one step, so of two instances starting
// at the same moment exactly one finds it new.
bool TQeltContext::CreateInstanceMutex() {
    if (FInstanceMutex) return true;
    SetLastError(ERROR_SUCCESS);
    UniqueHandle mutex(CreateMutexW(nullptr, FALSE, Widen(FAppID).c_str()));
    const DWORD error = GetLastError();
    if (mutex && error == ERROR_ALREADY_EXISTS) return false;
    // A mutex of another user's instance cannot be opened, but it is there all the same.
    if (!mutex) return error != ERROR_ACCESS_DENIED;
    FInstanceMutex = std::move(mutex);
    return true;
}

void TQeltContext::BroadcastToOtherInstances() {
    DWORD recipients = BSM_APPLICATIONS;
    BroadcastSystemMessageW(BSF_POSTMESSAGE | BSF_IGNORECURRENTTASK, &recipients, FRegisteredMessage, 2,
                            reinterpret_cast<LPARAM>(FAppWindow));
}

void TQeltContext::InitAllModules() {
    RegisterServiceClasses();
    FRegistry.InitAllModules();
}

void TQeltContext::InitFinished() {
    LoadExtendModules();
    try {
        FpopFormUrl = FFramework.GetControlParams("AppFrame", "System", "PopForm", "");
    } catch (const std::exception& e) {
        Log(e.what());
    }
    DeployHelpService(FappPath + kHelpServiceExeName);
}

void TQeltContext::InitEnviVar() {
    FEnviVars->SetIsLogin(false);
}

std::string TQeltContext::ReadCfgValue(const std::string& file, const std::string& section,
                                       const std::string& key, const std::string& defaultValue) const {
    return ReadCfgFileValue(file, section, key, defaultValue);
}

std::string TQeltContext::MainFest() const {
    return FMainFest ? PrintJson(FMainFest) : std::string();
}

// ---------------------------------------------------------------------------------------------
// Dispatch

TCurrentCallerType TQeltContext::CallActionFun(const std::string& sAction,
                                               const TCallerContextPtr& aContext) {
    return FRegistry.CallActionFun(sAction, aContext);
}

std::string TQeltContext::CallActionFun(const std::string& sAction, const TVarArgs& Args) {
    return FRegistry.CallActionFun(sAction, Args);
}

TCefActionReference* TQeltContext::GetActionReference(const std::string& name) {
    return FRegistry.GetActionReference(name);
}

bool TQeltContext::FileExists(const std::string& path) {
    return FileExistsUtf8(path);
}

void TQeltContext::ShowMessage(const std::string& text) {
    MessageBoxW(nullptr, Widen(text).c_str(), L"", MB_OK);
}

// ---------------------------------------------------------------------------------------------
// Splash time-out

void TQeltContext::SetCheckFlashTime() {
    try {
        const int32_t wait = StrToIntDef(
            FFramework.GetControlParams("DyncConfig", "DyncParams", "splashWait", kSplashWaitDefault), 0);
        if (wait > 0) SetTimer(FHandle, kSplashTimerId, static_cast<UINT>(wait), nullptr);
    } catch (const std::exception& e) {
        Log(e.what());
    }
}

void TQeltContext::OnSplashTimer() {
    KillTimer(FHandle, kSplashTimerId);
    CloseSplashForm();
}

bool TQeltContext::CloseSplashForm() {
    if (!FSplashForm) return false;
    std::unique_ptr<ISplashForm> splash = std::move(FSplashForm);
    splash->Close();
    FFramework.ShowForm(reinterpret_cast<uintptr_t>(FMainFormHD));
    FbIsInited = true;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Extension modules

void TQeltContext::LoadExtendModules() {
    try {
        FExtModulesList.Lock();
        FExtModulesList.Clear();
        FExtModulesList.UnLock();
        for (const TExtModuleSpec& module : ParseExtendModules(FMainFest, FappPath)) {
            try {
                LoadOneModule(module.Name, module.DllPath, module.FunName);
            } catch (const std::exception& e) {
                Log(std::string("加载模块异常-") + e.what());
            }
        }
    } catch (const std::exception& e) {
        Log(std::string("LoadExtendModules异常-") + e.what());
    }
}

void TQeltContext::LoadOneModule(const std::string& name, const std::string& dllPath,
                                 const std::string& funName) {
    if (!FileExistsUtf8(dllPath)) throw std::runtime_error("错误：模块[" + dllPath + "]未找到!");
    void* fn = LoadLibFunction(dllPath, funName);
    const TPasBool ok = CallForeign(reinterpret_cast<TModuleIniFun>(fn),
                                    static_cast<IAppFramework*>(FFramework.AppFrameworkInterface()));
    if (!IsTrue(ok)) Log("模块[" + dllPath + "(" + funName + ")]返回False");
    auto info = std::make_unique<TModulesInfo>();
    info->sIniFun = funName;
    info->pIniFun = fn;
    info->sDllPath = dllPath;
    FExtModulesList.Lock();
    const bool inserted = FExtModulesList.Insert(name, info.get());
    FExtModulesList.UnLock();
    if (inserted) info.release();
}

std::string TQeltContext::GetExtModulePath(const std::string& name) {
    std::string path;
    FExtModulesList.Lock();
    TStrOrderNode* node = nullptr;
    if (FExtModulesList.Search(name, node) && node && node->Data)
        path = static_cast<TModulesInfo*>(node->Data)->sDllPath;
    FExtModulesList.UnLock();
    return path;
}

std::vector<std::string> TQeltContext::ExtModuleNames() {
    std::vector<std::string> names;
    FExtModulesList.Lock();
    for (size_t i = 0; i < FExtModulesList.Count(); ++i)
        names.push_back(FExtModulesList.GetItems(i)->Key);
    FExtModulesList.UnLock();
    return names;
}

// ---------------------------------------------------------------------------------------------
// Host services

void TQeltContext::DeployHelpService(const std::string& path) {
    try {
        if (FAppID == kNoHelpServiceAppId || !FileExistsUtf8(path)) return;
        TZRSvcAPIHelper& service =
            FSettings.HelpService ? *FSettings.HelpService : TZRSvcAPIHelper::Instance();
        // The helper hands the library a buffer of at least its 1024 bytes, larger when the text
        // needs it, so a long path is never cut.
        const int32_t result = service.AddService(FAppID, HelpServiceParams(path));
        Log(IsServiceCallSuccess(result) ? "帮助服务部署成功" : "帮助服务部署失败!");
    } catch (const std::exception& e) {
        Log(std::string("帮助服务部署异常：") + e.what());
    }
}

void TQeltContext::CheckSoftReg() {
    try {
        std::string productCode =
            FFramework.GetControlParams("DyncConfig", "DyncParams", "ProductCode", "NULL");
        // An empty code would write into the maker's own key.
        if (productCode.empty()) productCode = "NULL";
        const std::wstring keyPath = L"SOFTWARE\\Corvane\\" + Widen(productCode);
        HKEY raw = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw,
                            nullptr) != ERROR_SUCCESS)
            return;
        UniqueRegKey key(raw);
        const std::string exePath = ExecutablePath();
        std::string title = FSettings.ApplicationTitle;
        if (title.empty()) {
            title = FileNameOf(exePath);
            const size_t dot = title.rfind('.');
            if (dot != std::string::npos) title.resize(dot);
        }
        SetRegString(key.Get(), L"InstalledPath", FappPath);
        SetRegString(key.Get(), L"PID", productCode);
        SetRegString(key.Get(), L"Name", title);
        SetRegString(key.Get(), L"Version", FFramework.GetControlParams("AppFrame", "System", "ver", "1.0"));
        SetRegString(key.Get(), L"FileName", FileNameOf(exePath));
    } catch (...) {
        // The record is optional; start-up goes on without it.
    }
}

std::string TQeltContext::EncryptString(const std::string& text) const {
    return HostEncryptString(text);
}

std::string TQeltContext::DecryptString(const std::string& hex) const {
    return HostDecryptString(hex);
}

std::string TQeltContext::ReadEncryptedParam(const std::string& cfgType, const std::string& section,
                                             const std::string& key) const {
    return ::ReadEncryptedParam(FFramework, cfgType, section, key);
}

std::string TQeltContext::GetTaxCalendarURL() {
    const std::string areaCode = CallActionFun("app.areaCode", TVarArgs{});
    const std::string host =
        FFramework.GetControlParams("DyncConfig", "DyncParams", "TaxCalendarHost", kDefaultTaxCalendarHost);
    return TaxCalendarURL(host, areaCode);
}

void TQeltContext::Log(const std::string& line) const {
    try {
        FFramework.WriteLog(line);
    } catch (...) {
    }
}

// ---------------------------------------------------------------------------------------------
// Windows

void TQeltContext::SetMessageHandler(UINT message, TMessageHandler handler) {
    if (handler)
        FMessageHandlers[message] = std::move(handler);
    else
        FMessageHandlers.erase(message);
}

LRESULT TQeltContext::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (FAppWindow == FHandle && FRegisteredMessage != 0 && message == FRegisteredMessage) {
        HandleAppMessage(wParam, lParam);
        return 0;
    }
    if (message == WM_TIMER && wParam == kSplashTimerId) {
        OnSplashTimer();
        return 0;
    }
    const auto it = FMessageHandlers.find(message);
    if (it != FMessageHandlers.end()) return it->second(*this, wParam, lParam);
    return DefWindowProcW(FHandle, message, wParam, lParam);
}

LRESULT CALLBACK TQeltContext::StaticWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* context = reinterpret_cast<TQeltContext*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!context || !context->FHandle) return DefWindowProcW(window, message, wParam, lParam);
    try {
        return context->WindowProc(message, wParam, lParam);
    } catch (const std::exception& e) {
        context->Log(e.what());
    } catch (...) {
    }
    return 0;
}

void TQeltContext::HandleAppMessage(WPARAM code, LPARAM lParam) {
    if (!FAppMessageHandler) return;
    try {
        FAppMessageHandler(*this, code, lParam);
    } catch (const std::exception& e) {
        Log(e.what());
    } catch (...) {
    }
}

LRESULT CALLBACK TQeltContext::StaticAppWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* context = static_cast<TQeltContext*>(GetPropW(window, kContextProp));
    if (context && context->FRegisteredMessage != 0 && message == context->FRegisteredMessage) {
        context->HandleAppMessage(wParam, lParam);
        return 0;
    }
    auto previous = reinterpret_cast<WNDPROC>(GetPropW(window, kPrevProcProp));
    return previous ? CallWindowProcW(previous, window, message, wParam, lParam)
                    : DefWindowProcW(window, message, wParam, lParam);
}

LRESULT TQeltContext::CallPreviousAppWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return FPrevAppWndProc ? CallWindowProcW(FPrevAppWndProc, window, message, wParam, lParam)
                           : DefWindowProcW(window, message, wParam, lParam);
}

void TQeltContext::RestoreAppWndProc() {
    if (!FAppWndProcHooked || !FAppWindow) return;
    FAppWndProcHooked = false;
    RemovePropW(FAppWindow, kContextProp);
    const auto current = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(FAppWindow, GWLP_WNDPROC));
    if (current == &TQeltContext::StaticAppWndProc) {
        SetWindowLongPtrW(FAppWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FPrevAppWndProc));
        RemovePropW(FAppWindow, kPrevProcProp);
    }
    // Otherwise someone hooked the window after us: our procedure stays in the chain and keeps
    // forwarding through the remembered previous procedure.
}
