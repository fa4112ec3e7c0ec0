#include "host/EntryPoint.h"
#include "foundation/WinProcess.h"

#include "actions/AsyncTasks.h"
#include "device/FRXExtInterface.h"
#include "device/ZRCompanyUtils.h"
#include "foundation/AppLog.h"
#include "foundation/CrashReport.h"
#include "foundation/TextCodec.h"
#include "host/EntrySequence.h"
#include "host/Handover.h"
#include "host/MainFormEvents.h"
#include "host/ProcessControl.h"
#include "host/QeltContext.h"
#include "host/SplashFrm.h"
#include "host/StartTimes.h"
#include "host/StepCosts.h"
#include "services/AccountLibrary.h"
#include "services/ServiceClasses.h"
#include "webbridge/AppContext.h"
#include "webbridge/AppFramework.h"
#include "webbridge/WebCoreControl.h"

#include <windows.h>

#include <psapi.h>

#include <exception>
#include <memory>

namespace {

constexpr wchar_t kApplicationClass[] = L"TAppFrameApplication";
constexpr wchar_t kApplicationTitle[] = L"AppFrameMain";

// The application window: hidden and top-level, so that broadcasts to applications reach it.
HWND CreateApplicationWindow() {
    static const ATOM windowClass = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kApplicationClass;
        return RegisterClassExW(&wc);
    }();
    (void)windowClass;
    return CreateWindowExW(WS_EX_TOOLWINDOW, kApplicationClass, kApplicationTitle, WS_POPUP, 0, 0, 0, 0,
                           nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

class TProgramEntrySteps final : public IEntrySteps {
public:
    void InitApplication() override {
        FAppWindow = CreateApplicationWindow();
        GetAppFramework().SetApplicationHandle(reinterpret_cast<TFwHandle>(FAppWindow));
        InstallWebCoreControl(); // before extension modules can ask for web controls
    }
    bool IsCefSubProc() override { return TAppFramework::isCefSubProc(); }
    void RunSubProcess() override { GetAppFramework().InitWebCore("", true, true); }
    uint32_t TickCount() override { return GetTickCount(); }
    void StartEmergencyHelper() override {
        WriteAppLog("AppFrameMain: client start");
        ::StartEmergencyHelper(ProgramFolder());
    }
    void CreateHostContext() override {
        TQeltContextSettings settings;
        settings.ApplicationWindow = FAppWindow;
        // The QNB run mode watches the tax device for insertions and updates.
        settings.StartDeviceWatch = [] { TFRXExtInterface::Instance().GetFRXInsertUpdateEvent(); };
        FContext = std::make_unique<TQeltContext>(std::move(settings));
        FEvents = std::make_unique<TMainFormEvents>(*FContext, DefaultMainWindowServices(), StartTimes());
        FEvents->Install();
    }
    bool InitProgram() override { return FContext->InitProgram(); }
    void SetCurrentFolderToProgram() override { SetCurrentDirectoryW(Widen(FContext->appPath()).c_str()); }
    void CreateSplash() override {
        auto splash = std::make_unique<TfrmSplashFrm>(FContext->appPath());
        FSplash = splash.get();
        FContext->SetSplashForm(std::move(splash));
    }
    void InitWebCore() override { GetAppFramework().InitWebCore(FContext->MainFest(), false, true); }
    void GetTaxInfo() override { FContext->asyGetTaxInfo(); }
    void CheckSoftReg() override { FContext->CheckSoftReg(); }
    bool UpdateApp() override {
        try {
            return GetAppFramework().UpdateApp("", -1);
        } catch (const std::exception& e) {
            WriteMainLog(std::string("UpdateApp: ") + e.what());
            return false;
        }
    }
    void WriteMainLog(const std::string& line) override { FContext->Framework().WriteLog(line); }
    void HandOverToBrev() override { ::HandOverToBrev(FContext->AppID()); }
    bool TryLaunchAssistant() override { return ::TryLaunchAssistant(); }
    void ShowSplash() override {
        // The splash may only have been closed by events that cannot come before the main window.
        if (FContext->HasSplashForm()) FSplash->Show();
        ProcessPendingMessages();
    }
    void RegisterHostContext() override {
        GetAppFramework().AppContext().RegContext("QeltContext", FContext->Intf());
    }
    void CreateMainWindow() override {
        const TFwHandle mainWindow =
            GetAppFramework().InitMainForm(false, FContext->Intf(), FEvents->MainFormCallback(), "");
        FContext->SetMainFormHD(reinterpret_cast<HWND>(mainWindow));
    }
    void StartMonitor() override { FContext->StartMonitor(); }
    void SetCheckFlashTime() override { FContext->SetCheckFlashTime(); }
    void InitFinished() override { FContext->InitFinished(); }
    void AppRun() override { GetAppFramework().AppRun(); }
    bool TerminateSelf() override { return ::TerminateSelf(); }
    void ReleaseInstanceMutex() override {
        if (FContext) FContext->CloseInstanceMutex();
    }
    void ProcessMessages() override { ProcessPendingMessages(); }
    void Sleep(uint32_t ms) override { ::Sleep(ms); }

private:
    HWND FAppWindow = nullptr;
    // Live until the process ends: the framework and worker threads may still reach them while
    // the process winds down, so they are never destroyed.
    std::unique_ptr<TQeltContext> FContext;
    std::unique_ptr<TMainFormEvents> FEvents;
    TfrmSplashFrm* FSplash = nullptr;
};

void LogProcessEnd(uint32_t exitCode) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    std::string line = "AppFrameMain: end, exit code " + std::to_string(exitCode) +
                       ", InitTime=" + std::to_string(StartTimes().InitTime.load()) +
                       ", LoadTime=" + std::to_string(StartTimes().LoadTime.load());
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        line += ", PeakWorkingSetSize=" + std::to_string(counters.PeakWorkingSetSize);
    WriteAppLog(line);
}

uint64_t MicrosecondsNow() {
    LARGE_INTEGER frequency{}, counter{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<uint64_t>(counter.QuadPart) * 1000000u / static_cast<uint64_t>(frequency.QuadPart);
}

uint64_t WorkingSetNow() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) ? counters.WorkingSetSize
                                                                                 : 0;
}

} // namespace

void RunModuleInitialisation(TStepCosts* costs) {
    const auto step = [costs](const char* name, void (*f)()) {
        if (costs != nullptr)
            costs->Measure(name, f);
        else
            f();
    };
    StartTimes().Reset();
    step("RegisterServiceClasses", &RegisterServiceClasses);
    step("WipeTaxpayerRecordsAtStart", &WipeTaxpayerRecordsAtStart);
    step("InitAppLog", [] { InitAppLog(); });
    step("InstallCrashReport", &InstallCrashReport);
    step("LoadZRAccountAtStart", &LoadZRAccountAtStart);
}

uint32_t RunAppFrameMain() {
    // The start-up benchmark's view of the steps, when it asks for it.
    std::unique_ptr<TStepCosts> costs;
    if (GetEnvironmentVariableW(L"APPFRAME_STARTUP_STEPS", nullptr, 0) > 0)
        costs = std::make_unique<TStepCosts>(&MicrosecondsNow, &WorkingSetNow);
    RunModuleInitialisation(costs.get());
    // Deliberately never freed (see the steps' fields).
    auto* programSteps = new TProgramEntrySteps();
    IEntrySteps* steps = programSteps;
    if (costs) steps = new TMeasuredSteps(*programSteps, *costs);
    uint32_t exitCode = kNormalExitCode;
    try {
        exitCode = RunEntrySequence(*steps, StartTimes());
    } catch (const std::exception& e) {
        // Start-up cannot go on (no manifest, no framework library): say why and stop.
        WriteAppLog(std::string("AppFrameMain: start-up stopped: ") + e.what());
        MessageBoxW(nullptr, Widen(e.what()).c_str(), kApplicationTitle, MB_OK | MB_ICONERROR);
        exitCode = 1;
    } catch (...) {
        WriteAppLog("AppFrameMain: start-up stopped by an unknown error");
        exitCode = 1;
    }
    // The message loop has ended: the task runner finishes the task in hand and logs its exit.
    StopAsyncWorkers();
    UnloadZRAccount();
    if (costs)
        for (const std::string& line : costs->Lines())
            WriteAppLog("AppFrameMain: start-up step " + line);
    if (!TAppFramework::isCefSubProc()) LogProcessEnd(exitCode);
    return exitCode;
}
