#include "ClientRig.h"

#include "foundation/TextCodec.h"

#include <atomic>

namespace clienttest {

namespace {

const wchar_t* const kProgramFiles[] = {L"AppFrameMain.exe",      L"AppFramework.dll",
                                        L"ZRAccount.dll",         L"Config\\EnviParams.cfg",
                                        L"Forms\\MainForm1.html", L"Image\\config.ini"};

std::wstring WindowClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

std::string TextOf(HWND window) {
    wchar_t text[4096] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                        &copied);
    return Narrow(text);
}

} // namespace

bool WaitUntil(const std::function<bool()>& done, DWORD patienceMs) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > patienceMs) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

// ---------------------------------------------------------------------------------------------

TClientProcess::~TClientProcess() {
    if (Running()) {
        TerminateProcess(FProcess.Get(), 99);
        WaitForSingleObject(FProcess.Get(), kPatienceMs);
    }
}

DWORD TClientProcess::WaitForExit(DWORD patienceMs) {
    DWORD code = STILL_ACTIVE;
    WaitUntil([&] { return WaitForSingleObject(FProcess.Get(), 0) == WAIT_OBJECT_0; }, patienceMs);
    GetExitCodeProcess(FProcess.Get(), &code);
    return code;
}

bool TClientProcess::Running() {
    return FProcess && WaitForSingleObject(FProcess.Get(), 0) == WAIT_TIMEOUT;
}

// ---------------------------------------------------------------------------------------------

TClientFolder::TClientFolder(const std::wstring& tag) : FFolder(L"client-" + tag) {
    static std::atomic<unsigned> counter{0};
    FAppId =
        "E2E_" + Narrow(tag) + "_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
    for (const wchar_t* name : kProgramFiles)
        CopyFromProgram(name, name);
    Write(L"MainFest.cfg", R"({"AppID":")" + FAppId + R"(","extendModule":{"Modules":{}}})");
    SetParams("{}");
}

void TClientFolder::Write(const std::wstring& relative, const std::string& bytes) const {
    const std::wstring path = Path() + relative;
    const size_t slash = path.find_last_of(L'\\');
    CreateFolders(path.substr(0, slash + 1));
    WriteWholeFile(path, bytes);
}

void TClientFolder::Remove(const std::wstring& relative) const {
    DeleteFileW((Path() + relative).c_str());
}

void TClientFolder::CopyFromProgram(const std::wstring& name, const std::wstring& asName) const {
    CopyTestFile(TestProgramFolder() + name, Path() + asName);
}

void TClientFolder::SetScenario(const std::string& json) const {
    Write(L"scenario.json", json);
}

void TClientFolder::SetParams(const std::string& json) const {
    Write(L"AppFramework.params.json", json);
}

std::unique_ptr<TClientProcess> TClientFolder::Start(const std::wstring& args) const {
    TScopedEnv scenario(L"APPFRAME_STUB_SCENARIO", Path() + L"scenario.json");
    TScopedEnv transcript(L"APPFRAME_STUB_TRANSCRIPT", Path() + L"transcript.jsonl");
    TScopedEnv params(L"APPFRAME_STUB_PARAMS", Path() + L"AppFramework.params.json");
    TScopedEnv siblings(L"APPFRAME_SIBLING_LOG", SiblingLogPath());
    const std::wstring exe = Path() + L"AppFrameMain.exe";
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!args.empty()) commandLine += L" " + args;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, Path().c_str(),
                        &startup, &info))
        return nullptr;
    CloseHandle(info.hThread);
    return std::make_unique<TClientProcess>(info.hProcess, info.dwProcessId);
}

std::vector<JsonRef> TClientFolder::Transcript() const {
    return ReadJsonLines(Path() + L"transcript.jsonl");
}

std::vector<JsonRef> TClientFolder::TranscriptOf(const std::string& kind) const {
    std::vector<JsonRef> lines;
    for (const JsonRef& line : Transcript())
        if (line->GetS("kind") == kind) lines.push_back(line);
    return lines;
}

JsonRef TClientFolder::WaitForTranscript(const std::string& kind,
                                         const std::function<bool(const JsonRef&)>& test) const {
    JsonRef found;
    WaitUntil([&] {
        for (const JsonRef& line : TranscriptOf(kind))
            if (!test || test(line)) {
                found = line;
                return true;
            }
        return false;
    });
    return found;
}

std::string TClientFolder::FrameworkLog() const {
    return AnsiToUtf8(ReadWholeFile(Path() + L"AppFramework.log"));
}

std::string TClientFolder::DailyLog() const {
    std::string text;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((Path() + L"Temp\\AppFrame_*.log").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return text;
    do {
        text += AnsiToUtf8(ReadWholeFile(Path() + L"Temp\\" + found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return text;
}

// ---------------------------------------------------------------------------------------------

namespace {

struct TWindowSearch {
    DWORD Pid;
    const wchar_t* Class;
    HWND Except;
    HWND Found;
};

BOOL CALLBACK MatchProcessWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<TWindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->Pid || window == search->Except || WindowClassOf(window) != search->Class)
        return TRUE;
    search->Found = window;
    return FALSE;
}

BOOL CALLBACK CollectStatics(HWND child, LPARAM param) {
    if (WindowClassOf(child) == L"Static") reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
    return TRUE;
}

} // namespace

HWND FindProcessWindow(DWORD pid, const wchar_t* windowClass, HWND except) {
    TWindowSearch search{pid, windowClass, except, nullptr};
    EnumWindows(&MatchProcessWindow, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

std::string CloseMessageBox(DWORD pid) {
    HWND box = nullptr;
    std::string text;
    // The box's window comes first, its text a moment later.
    WaitUntil([&] {
        box = FindProcessWindow(pid, L"#32770");
        if (!box) return false;
        std::vector<HWND> statics;
        EnumChildWindows(box, &CollectStatics, reinterpret_cast<LPARAM>(&statics));
        text.clear();
        for (HWND child : statics)
            text += TextOf(child);
        return !text.empty();
    });
    if (box) PostMessageW(box, WM_COMMAND, IDOK, 0);
    return text;
}

} // namespace clienttest
