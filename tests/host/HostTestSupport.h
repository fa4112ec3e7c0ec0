#pragma once
// Test equipment for the host context under Wine: temporary program folders, a fake framework
// (control parameters, logs, an IAppFramework for extension modules) and a fake dispatch port.
#include "actions/DispatchPorts.h"
#include "host/HostFramework.h"
#include "host/QeltContext.h"
#include "webbridge/AppFrameworkIntf.h"

#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace hosttest {

// A new empty folder under the temporary folder, with a trailing "\"; removed by the destructor.
class TTempFolder {
public:
    explicit TTempFolder(const std::string& tag);
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;
    const std::string& Path() const { return FPath; }
    void Write(const std::string& relative, const std::string& bytes) const;
    // Copies a file of the build's program folder (stand-ins) into this folder.
    void CopyFromProgram(const std::string& name, const std::string& asName) const;

private:
    std::string FPath;
};

// The build's program folder (stand-in libraries), with a trailing "\".
std::string BuildProgramFolder();
std::string ReadWholeFile(const std::string& path);

class TFakeFramework final : public IHostFramework {
public:
    TFakeFramework();
    ~TFakeFramework() override;
    std::map<std::string, std::string> Params; // "type/section/key" -> value
    std::vector<std::string> LogLines;         // main log, in order
    std::vector<uintptr_t> ShownForms;
    bool ProvideAppFramework = true;

    std::string GetControlParams(std::string_view t, std::string_view s, std::string_view k,
                                 std::string_view def) override;
    bool SetControlParams(std::string_view t, std::string_view s, std::string_view k,
                          std::string_view value) override;
    void WriteLog(std::string_view line) override;
    void ShowForm(uintptr_t window) override;
    void* AppFrameworkInterface() override;
    bool Logged(const std::string& line) const;

    // What extension modules see; WriteLog through it lands in ModuleLog (ANSI as given).
    class TModuleView;
    std::vector<std::string> ModuleLog;

private:
    mutable std::mutex FLock;
    std::unique_ptr<TModuleView> FView;
};

class TFakePort final : public IDispatchPort {
public:
    TFwRef<IAppContext> GetAppContext() override;
    void AppendParams(IJsCallerInf& params, const TVarArgs& args) override;
    bool CallJsFunction(int32_t, int32_t, const std::string&) override { return true; }
    bool CallRegisterFun(const std::string&, const TVarArgs&) override { return false; }
    void WriteLog(const std::string& line) override;
    std::vector<std::string> LogLines;
};

class TFakeRunner final : public ITaskRunner {
public:
    bool AppendTask(TActionService*, PMethodInfo, TCallerContextPtr, const TServiceClass*) override {
        return true;
    }
};

// A hidden top-level window standing for the application window; its own procedure answers
// kPlainMessage with kPlainAnswer.
class TTestAppWindow {
public:
    static constexpr UINT kPlainMessage = WM_USER + 77;
    static constexpr LRESULT kPlainAnswer = 4242;
    TTestAppWindow();
    ~TTestAppWindow();
    HWND Get() const { return FWindow; }
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);

private:
    HWND FWindow = nullptr;
};

// Settings of a context over the folder that reach only the fakes.
TQeltContextSettings FakeSettings(const std::string& folder, TFakeFramework& fw, TFakePort& port,
                                  TFakeRunner& runner, HWND appWindow = nullptr);

// A temporary program folder holding a manifest, and fakes for everything a context reaches.
struct TContextRig {
    explicit TContextRig(const std::string& tag, const std::string& manifest = "{}") : Folder(tag) {
        Folder.Write("MainFest.cfg", manifest);
    }
    TQeltContextSettings Settings(HWND appWindow = nullptr) {
        return FakeSettings(Folder.Path(), Framework, Port, Runner, appWindow);
    }
    std::unique_ptr<TQeltContext> Make(HWND appWindow = nullptr) {
        return std::make_unique<TQeltContext>(Settings(appWindow));
    }
    TTempFolder Folder;
    TFakeFramework Framework;
    TFakePort Port;
    TFakeRunner Runner;
};

// Handles pending messages until done() or about 20 s have passed.
template <class Pred>
bool PumpUntil(Pred done) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > 20000) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

} // namespace hosttest
