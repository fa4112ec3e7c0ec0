// Test equipment of the host tests (see HostTestSupport.h).
#include "HostTestSupport.h"

#include "foundation/TextCodec.h"
#include "support/FakeAppContext.h"

#include <shellapi.h>

#include <atomic>
#include <memory>

namespace hosttest {

namespace {

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring full = folder + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full + L"\\");
            else
                DeleteFileW(full.c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

} // namespace

TTempFolder::TTempFolder(const std::string& tag) {
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    FPath = Narrow(temp) + "hostctx_" + tag + "_" + std::to_string(GetCurrentProcessId()) + "_" +
            std::to_string(counter++) + "\\";
    RemoveTree(Widen(FPath));
    CreateDirectoryW(Widen(FPath).c_str(), nullptr);
}

TTempFolder::~TTempFolder() {
    RemoveTree(Widen(FPath));
}

void TTempFolder::Write(const std::string& relative, const std::string& bytes) const {
    const std::string full = FPath + relative;
    const size_t slash = full.find_last_of('\\');
    CreateDirectoryW(Widen(full.substr(0, slash)).c_str(), nullptr);
    HANDLE h = CreateFileW(Widen(full).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

void TTempFolder::CopyFromProgram(const std::string& name, const std::string& asName) const {
    CopyFileW(Widen(BuildProgramFolder() + name).c_str(), Widen(FPath + asName).c_str(), FALSE);
}

std::string BuildProgramFolder() {
    wchar_t buf[4096] = {};
    GetEnvironmentVariableW(L"APPFRAME_BINARY_DIR", buf, 4096);
    std::string dir = Narrow(buf);
    for (char& c : dir)
        if (c == '/') c = '\\';
    return "Z:" + dir + "\\program\\";
}

std::string ReadWholeFile(const std::string& path) {
    std::string out;
    HANDLE h = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return out;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
        out.append(buf, got);
    CloseHandle(h);
    return out;
}

// ---------------------------------------------------------------------------------------------

// Only WriteLog and GetControlParams do anything; the other slots answer empty.
class TFakeFramework::TModuleView final : public IAppFramework {
public:
    explicit TModuleView(TFakeFramework& owner) : FOwner(owner) {}
    TFwHResult APPFRAME_STDCALL QueryInterface(const TFwGuid&, void** object) override {
        *object = nullptr;
        return kFwENoInterface;
    }
    uint32_t APPFRAME_STDCALL AddRef() override { return 1; }
    uint32_t APPFRAME_STDCALL Release() override { return 1; }
    TFwHandle APPFRAME_STDCALL GetMainHandle() override { return 0; }
    int32_t APPFRAME_STDCALL GetMainWebID() override { return 0; }
    int32_t APPFRAME_STDCALL GetWebID(TWinControlRef) override { return 0; }
    void APPFRAME_STDCALL CallJS(ICallJSInf**) override {}
    void APPFRAME_STDCALL GetWebControl(TWinControlRef, void*, TPasBool, const char*, TProcWebBrowserEventEx,
                                        const char*, IWebCoreControlInf**) override {}
    int32_t APPFRAME_STDCALL FormShowModal(void*, TPasBool, const char*, TProcWebBrowserEventEx,
                                           IAppContext*) override {
        return 0;
    }
    TPasBool APPFRAME_STDCALL ExecuteJavaScript(int32_t, const char*) override { return kPasFalse; }
    TPasBool APPFRAME_STDCALL ExecuteJavaScriptCtrl(TWinControlRef, const char*) override {
        return kPasFalse;
    }
    TPasBool APPFRAME_STDCALL Call(TWinControlRef, const char*, const TVarRecAbi*, int32_t) override {
        return kPasFalse;
    }
    void APPFRAME_STDCALL RegAppContext(IRegAppContext**) override {}
    void APPFRAME_STDCALL PackFunParams(const TVarRecAbi*, int32_t, char16_t**) override {}
    void APPFRAME_STDCALL GetControlParams(const char* t, const char* s, const char* k, const char* d,
                                           char** result) override {
        FOut.Assign(
            Utf8ToAnsi(FOwner.GetControlParams(AnsiToUtf8(t), AnsiToUtf8(s), AnsiToUtf8(k), AnsiToUtf8(d))));
        *result = const_cast<char*>(FOut.Data());
    }
    TPasBool APPFRAME_STDCALL SetControlParams(const char*, const char*, const char*, const char*) override {
        return kPasFalse;
    }
    void APPFRAME_STDCALL GetCallerParamInf(IControlParamsInf**) override {}
    void APPFRAME_STDCALL GetAppContext(IAppContext**) override {}
    void APPFRAME_STDCALL WriteLog(const char* sMsg, const TVarRecAbi*, int32_t) override {
        std::lock_guard<std::mutex> guard(FOwner.FLock);
        FOwner.ModuleLog.push_back(sMsg ? sMsg : "");
    }
    TPasBool APPFRAME_STDCALL UpdateApp(const char*, int32_t) override { return kPasFalse; }
    TPasBool APPFRAME_STDCALL UrlRequest(const char*, uint32_t, char**) override { return kPasFalse; }
    TFwHandle APPFRAME_STDCALL GetApplication() override { return 0; }
    void APPFRAME_STDCALL AppTerminate() override {}
    void APPFRAME_STDCALL SetOnMainBrowserEvent(TOnMainBrowserEvent) override {}
    void APPFRAME_STDCALL SetOnAppWakeUp(TOnAppWakeUp) override {}

private:
    TFakeFramework& FOwner;
    TPasConstAnsi FOut;
};

TFakeFramework::TFakeFramework() : FView(std::make_unique<TModuleView>(*this)) {}

TFakeFramework::~TFakeFramework() = default;

std::string TFakeFramework::GetControlParams(std::string_view t, std::string_view s, std::string_view k,
                                             std::string_view def) {
    std::lock_guard<std::mutex> guard(FLock);
    const auto it = Params.find(std::string(t) + "/" + std::string(s) + "/" + std::string(k));
    return it == Params.end() ? std::string(def) : it->second;
}

bool TFakeFramework::SetControlParams(std::string_view t, std::string_view s, std::string_view k,
                                      std::string_view value) {
    std::lock_guard<std::mutex> guard(FLock);
    Params[std::string(t) + "/" + std::string(s) + "/" + std::string(k)] = std::string(value);
    return true;
}

void TFakeFramework::WriteLog(std::string_view line) {
    std::lock_guard<std::mutex> guard(FLock);
    LogLines.emplace_back(line);
}

void TFakeFramework::ShowForm(uintptr_t window) {
    ShownForms.push_back(window);
}

void* TFakeFramework::AppFrameworkInterface() {
    return ProvideAppFramework ? static_cast<IAppFramework*>(FView.get()) : nullptr;
}

bool TFakeFramework::Logged(const std::string& line) const {
    std::lock_guard<std::mutex> guard(FLock);
    for (const std::string& l : LogLines)
        if (l == line) return true;
    return false;
}

TFwRef<IAppContext> TFakePort::GetAppContext() {
    return TFwRef<IAppContext>(TFakeAppContext::Create());
}

void TFakePort::AppendParams(IJsCallerInf& params, const TVarArgs& args) {
    for (const TVarRec& a : args)
        params.AddStrParam(jptText, Utf8ToAnsi(a.VText).c_str());
}

void TFakePort::WriteLog(const std::string& line) {
    LogLines.push_back(line);
}

TQeltContextSettings FakeSettings(const std::string& folder, TFakeFramework& fw, TFakePort& port,
                                  TFakeRunner& runner, HWND appWindow) {
    TQeltContextSettings s;
    s.ProgramFolder = folder;
    s.ApplicationWindow = appWindow;
    s.UseProcessCommandLine = false;
    s.Framework = &fw;
    s.Port = &port;
    s.TaskRunner = &runner;
    return s;
}

// ---------------------------------------------------------------------------------------------

TTestAppWindow::TTestAppWindow() {
    static const ATOM cls = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &TTestAppWindow::Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"HostTestAppWindow";
        return RegisterClassExW(&wc);
    }();
    (void)cls;
    FWindow = CreateWindowExW(WS_EX_TOOLWINDOW, L"HostTestAppWindow", L"host test", WS_POPUP, 0, 0, 0, 0,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

TTestAppWindow::~TTestAppWindow() {
    if (FWindow) DestroyWindow(FWindow);
}

LRESULT CALLBACK TTestAppWindow::Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == kPlainMessage) return kPlainAnswer;
    return DefWindowProcW(w, m, wp, lp);
}

} // namespace hosttest
