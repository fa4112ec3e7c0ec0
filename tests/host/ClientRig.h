#pragma once
// Test equipment for end-to-end runs of AppFrameMain.exe under Wine: a private copy of the
// program folder with the stand-in web framework, a scenario for it, its transcript, the client's
// logs, and the client's windows and message boxes seen from outside.
#include "foundation/Json.h"
#include "foundation/ScopedWin.h"
#include "support/WinTestEnv.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace clienttest {

// Long enough never to be reached by a working program; only stops a broken test from hanging.
inline constexpr DWORD kPatienceMs = 20000;

// Runs a predicate until it holds or the patience runs out, letting this thread's windows work.
bool WaitUntil(const std::function<bool()>& done, DWORD patienceMs = kPatienceMs);

class TClientProcess {
public:
    TClientProcess(HANDLE process, DWORD pid) : FProcess(process), FPid(pid) {}
    ~TClientProcess(); // ends the client if a test left it running
    TClientProcess(const TClientProcess&) = delete;
    TClientProcess& operator=(const TClientProcess&) = delete;
    HANDLE Handle() const { return FProcess.Get(); }
    DWORD Pid() const { return FPid; }
    // The exit code, or STILL_ACTIVE when the process did not end within the patience.
    DWORD WaitForExit(DWORD patienceMs = kPatienceMs);
    bool Running();

private:
    UniqueHandle FProcess;
    DWORD FPid;
};

class TClientFolder {
public:
    // A copy of the build's program folder whose manifest names a fresh application id.
    explicit TClientFolder(const std::wstring& tag);

    const std::wstring& Path() const { return FFolder.Path(); }
    std::string PathUtf8() const { return FFolder.Utf8(); }
    const std::string& AppId() const { return FAppId; }

    void Write(const std::wstring& relative, const std::string& bytes) const;
    void Remove(const std::wstring& relative) const;
    void CopyFromProgram(const std::wstring& name, const std::wstring& asName) const;
    // The stand-in framework's scenario and control parameters (UTF-8 JSON).
    void SetScenario(const std::string& json) const;
    void SetParams(const std::string& json) const;

    // Starts the client with the given arguments (after the program name).
    std::unique_ptr<TClientProcess> Start(const std::wstring& args = L"") const;

    // What the stand-in framework received, one object per line.
    std::vector<JsonRef> Transcript() const;
    std::vector<JsonRef> TranscriptOf(const std::string& kind) const;
    // Waits until the transcript holds a line of that kind for which the test holds.
    JsonRef WaitForTranscript(const std::string& kind,
                              const std::function<bool(const JsonRef&)>& test = {}) const;
    // The framework's main log (as UTF-8) and the client's daily log.
    std::string FrameworkLog() const;
    std::string DailyLog() const;
    std::wstring SiblingLogPath() const { return Path() + L"SiblingCalls.jsonl"; }

private:
    TTestFolder FFolder;
    std::string FAppId;
};

// A top-level window of the process with that class, or null.
HWND FindProcessWindow(DWORD pid, const wchar_t* windowClass, HWND except = nullptr);
// Waits for a message box of the process, answers it with OK and returns its text; empty text
// when none came.
std::string CloseMessageBox(DWORD pid);

} // namespace clienttest
