#pragma once
// The client's start-up sequence and its end paths as a fixed order of steps over an interface,
// so that the order, the sub-process path and every way out can be followed without a framework
// or windows. The program's steps are in EntryPoint_win.cpp.
#include "host/StartTimes.h"

#include <cstdint>
#include <string>

// Exit codes of the process.
inline constexpr uint32_t kNormalExitCode = 0;
inline constexpr uint32_t kForcedExitCode = 0xFFFFFFFFu;
// How long an instance that launched the assistant keeps answering messages before it ends.
inline constexpr uint32_t kAssistantGraceMs = 10000;

class IEntrySteps {
public:
    virtual ~IEntrySteps() = default;
    virtual void InitApplication() = 0;
    virtual bool IsCefSubProc() = 0;
    // The whole life of a browser sub-process: the framework's start with an empty manifest.
    virtual void RunSubProcess() = 0;
    virtual uint32_t TickCount() = 0;
    virtual void StartEmergencyHelper() = 0;
    // Raises when MainFest.cfg is missing or unreadable; start-up stops there.
    virtual void CreateHostContext() = 0;
    virtual bool InitProgram() = 0;
    virtual void SetCurrentFolderToProgram() = 0;
    virtual void CreateSplash() = 0;
    virtual void InitWebCore() = 0;
    virtual void GetTaxInfo() = 0;
    virtual void CheckSoftReg() = 0;
    // False when the framework could not update itself (a failure to call it counts as false).
    virtual bool UpdateApp() = 0;
    virtual void WriteMainLog(const std::string& line) = 0;
    // Ends the process inside when it hands over.
    virtual void HandOverToBrev() = 0;
    virtual bool TryLaunchAssistant() = 0;
    // Shows the splash and lets pending messages run once.
    virtual void ShowSplash() = 0;
    virtual void RegisterHostContext() = 0;
    virtual void CreateMainWindow() = 0;
    virtual void StartMonitor() = 0;
    virtual void SetCheckFlashTime() = 0;
    virtual void InitFinished() = 0;
    // The framework's message loop; returns when the main window has closed.
    virtual void AppRun() = 0;
    // True when the end of the process was accepted (in the program it then never returns).
    virtual bool TerminateSelf() = 0;
    // Closes and forgets the single-instance mutex, if held.
    virtual void ReleaseInstanceMutex() = 0;
    virtual void ProcessMessages() = 0;
    virtual void Sleep(uint32_t ms) = 0;
};

// Runs the sequence and answers the exit code of its end. The start tick and the initialisation
// time go to `times`. Exceptions of the steps reach the caller.
uint32_t RunEntrySequence(IEntrySteps& steps, TStartTimes& times);
