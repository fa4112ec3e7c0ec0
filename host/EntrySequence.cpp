#include "host/EntrySequence.h"

namespace {

// The forced end; when the system refuses it, the process ends normally instead.
uint32_t EndBySelfTermination(IEntrySteps& steps) {
    return steps.TerminateSelf() ? kForcedExitCode : kNormalExitCode;
}

} // namespace

uint32_t RunEntrySequence(IEntrySteps& steps, TStartTimes& times) {
    steps.InitApplication();
    if (steps.IsCefSubProc()) {
        steps.RunSubProcess();
        return kNormalExitCode;
    }

    times.StartTick = steps.TickCount();
    steps.StartEmergencyHelper();
    steps.CreateHostContext();
    if (!steps.InitProgram()) {
        // Another instance runs: only the assistant may still be wanted.
        steps.TryLaunchAssistant();
        return EndBySelfTermination(steps);
    }

    steps.SetCurrentFolderToProgram();
    steps.CreateSplash();
    steps.InitWebCore();
    steps.GetTaxInfo();
    steps.CheckSoftReg();
    if (!steps.UpdateApp()) steps.WriteMainLog("升级未能成功！");
    steps.HandOverToBrev();
    if (steps.TryLaunchAssistant()) {
        // Let a new instance start at once, and keep answering messages while the assistant
        // comes up.
        steps.ReleaseInstanceMutex();
        const uint32_t start = steps.TickCount();
        while (steps.TickCount() - start < kAssistantGraceMs) {
            steps.ProcessMessages();
            steps.Sleep(1);
        }
        return EndBySelfTermination(steps);
    }

    steps.ShowSplash();
    steps.RegisterHostContext();
    steps.CreateMainWindow();
    steps.StartMonitor();
    steps.SetCheckFlashTime();
    steps.InitFinished();
    times.InitTime = steps.TickCount() - times.StartTick.load();
    steps.AppRun();
    return kNormalExitCode;
}
