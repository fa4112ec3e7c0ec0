// Sample extension module. Its behaviour comes from a fixture beside the library, named like the
// library with ".ini" for ".dll" (so copies under other names behave independently):
//   [module]
//   init=1      what ModuleInit answers (default 1)
//   call=1      what Hello answers (default 1)
//   answer=...  the text Hello leaves as the call's return text (default "hello")
//   webControl=0  1: ModuleInit opens a window of its own (class "SampleModuleWindow"), embeds a
//               page in it through IAppFramework.GetWebControl at "webUrl" (default
//               "Forms\Module.html") and runs "webScript" (default "moduleReady();") in it
// ModuleInit logs "SampleModule <name> init" through the IAppFramework it is given, and with
// webControl=1 "SampleModule <name> webControl <0|1> script <0|1>".
#include "webbridge/AppFrameworkIntf.h"

#include <windows.h>

#include <cstdint>
#include <string>

#define MODULE_EXPORT extern "C" __declspec(dllexport)

namespace {

HMODULE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

std::wstring ModulePath() {
    wchar_t buf[MAX_PATH * 2] = {};
    GetModuleFileNameW(ThisModule(), buf, MAX_PATH * 2);
    return buf;
}

std::wstring FixturePath() {
    std::wstring path = ModulePath();
    const size_t dot = path.rfind(L'.');
    if (dot != std::wstring::npos) path.resize(dot);
    return path + L".ini";
}

std::string ModuleName() {
    std::wstring path = ModulePath();
    const size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos) path = path.substr(slash + 1);
    char buf[MAX_PATH * 2] = {};
    WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, buf, sizeof buf - 1, nullptr, nullptr);
    return buf;
}

int FixtureInt(const wchar_t* key, int defaultValue) {
    return static_cast<int>(GetPrivateProfileIntW(L"module", key, defaultValue, FixturePath().c_str()));
}

std::string FixtureText(const wchar_t* key, const wchar_t* defaultValue) {
    wchar_t buf[1024] = {};
    GetPrivateProfileStringW(L"module", key, defaultValue, buf, 1024, FixturePath().c_str());
    char ansi[4096] = {};
    WideCharToMultiByte(CP_ACP, 0, buf, -1, ansi, sizeof ansi - 1, nullptr, nullptr);
    return ansi;
}

void EmbedPage(IAppFramework* framework) {
    static const ATOM windowClass = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = ThisModule();
        wc.lpszClassName = L"SampleModuleWindow";
        return RegisterClassExW(&wc);
    }();
    (void)windowClass;
    // Lives as long as the process; the web control goes with it.
    const HWND window =
        CreateWindowExW(0, L"SampleModuleWindow", L"SampleModule", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                        640, 480, nullptr, nullptr, ThisModule(), nullptr);
    const std::string url = FixtureText(L"webUrl", L"Forms\\Module.html");
    const std::string script = FixtureText(L"webScript", L"moduleReady();");
    IWebCoreControlInf* control = nullptr;
    framework->GetWebControl(window, nullptr, kPasFalse, url.c_str(), {nullptr, nullptr}, "", &control);
    bool ran = false;
    if (control) ran = IsTrue(control->ExecuteJavaScript(control->GetWebID(), script.c_str()));
    const std::string line = "SampleModule " + ModuleName() + " webControl " + (control ? "1" : "0") +
                             " script " + (ran ? "1" : "0");
    framework->WriteLog(line.c_str(), nullptr, -1);
}

} // namespace

MODULE_EXPORT uint8_t __stdcall ModuleInit(IAppFramework* framework) {
    if (framework) {
        const std::string line = "SampleModule " + ModuleName() + " init";
        framework->WriteLog(line.c_str(), nullptr, -1);
        if (FixtureInt(L"webControl", 0) != 0) EmbedPage(framework);
    }
    return FixtureInt(L"init", 1) != 0 ? 1 : 0;
}

MODULE_EXPORT uint8_t __stdcall Hello(IAppContext* context) {
    if (!context) return 0;
    auto params = context->GetParams();
    std::string answer = FixtureText(L"answer", L"hello");
    if (params && params->ParamCount() > 0) answer += std::string(":") + params->ParamStr(0);
    if (params) params->SetResult(answer.c_str());
    return FixtureInt(L"call", 1) != 0 ? 1 : 0;
}
