// The start-up sequence's order and its end paths, over recorded steps.
#include "host/EntrySequence.h"
#include "host/StepCosts.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

class TRecordedSteps final : public IEntrySteps {
public:
    std::vector<std::string> Calls;
    bool SubProcess = false;
    bool ProgramInitialised = true;
    bool Updated = true;
    bool AssistantLaunched = false;
    bool TerminationAccepted = true;
    bool ManifestMissing = false;
    // The clock: each reading advances it by Step.
    uint32_t Now = 5000;
    uint32_t Step = 0;
    int PumpRounds = 0;
    std::vector<std::string> MainLog;

    void InitApplication() override { Calls.push_back("InitApplication"); }
    bool IsCefSubProc() override {
        Calls.push_back("IsCefSubProc");
        return SubProcess;
    }
    void RunSubProcess() override { Calls.push_back("RunSubProcess"); }
    uint32_t TickCount() override {
        const uint32_t now = Now;
        Now += Step;
        return now;
    }
    void StartEmergencyHelper() override { Calls.push_back("StartEmergencyHelper"); }
    void CreateHostContext() override {
        Calls.push_back("CreateHostContext");
        if (ManifestMissing) throw std::runtime_error("Cannot open file MainFest.cfg");
    }
    bool InitProgram() override {
        Calls.push_back("InitProgram");
        return ProgramInitialised;
    }
    void SetCurrentFolderToProgram() override { Calls.push_back("SetCurrentFolderToProgram"); }
    void CreateSplash() override { Calls.push_back("CreateSplash"); }
    void InitWebCore() override { Calls.push_back("InitWebCore"); }
    void GetTaxInfo() override { Calls.push_back("GetTaxInfo"); }
    void CheckSoftReg() override { Calls.push_back("CheckSoftReg"); }
    bool UpdateApp() override {
        Calls.push_back("UpdateApp");
        return Updated;
    }
    void WriteMainLog(const std::string& line) override { MainLog.push_back(line); }
    void HandOverToBrev() override { Calls.push_back("HandOverToBrev"); }
    bool TryLaunchAssistant() override {
        Calls.push_back("TryLaunchAssistant");
        return AssistantLaunched;
    }
    void ShowSplash() override { Calls.push_back("ShowSplash"); }
    void RegisterHostContext() override { Calls.push_back("RegisterHostContext"); }
    void CreateMainWindow() override { Calls.push_back("CreateMainWindow"); }
    void StartMonitor() override { Calls.push_back("StartMonitor"); }
    void SetCheckFlashTime() override { Calls.push_back("SetCheckFlashTime"); }
    void InitFinished() override { Calls.push_back("InitFinished"); }
    void AppRun() override { Calls.push_back("AppRun"); }
    bool TerminateSelf() override {
        Calls.push_back("TerminateSelf");
        return TerminationAccepted;
    }
    void ReleaseInstanceMutex() override { Calls.push_back("ReleaseInstanceMutex"); }
    void ProcessMessages() override { ++PumpRounds; }
    void Sleep(uint32_t) override {}
};

using Calls = std::vector<std::string>;

TEST(EntrySequence, TheClientRunsEveryStepInOrderAndEndsNormally) {
    TRecordedSteps steps;
    TStartTimes times;
    EXPECT_EQ(RunEntrySequence(steps, times), kNormalExitCode);
    EXPECT_EQ(steps.Calls, (Calls{"InitApplication",    "IsCefSubProc", "StartEmergencyHelper",
                                  "CreateHostContext",  "InitProgram",  "SetCurrentFolderToProgram",
                                  "CreateSplash",       "InitWebCore",  "GetTaxInfo",
                                  "CheckSoftReg",       "UpdateApp",    "HandOverToBrev",
                                  "TryLaunchAssistant", "ShowSplash",   "RegisterHostContext",
                                  "CreateMainWindow",   "StartMonitor", "SetCheckFlashTime",
                                  "InitFinished",       "AppRun"}));
    EXPECT_TRUE(steps.MainLog.empty());
}

TEST(EntrySequence, ABrowserSubProcessOnlyStartsTheFrameworkAndTakesNoTimes) {
    TRecordedSteps steps;
    steps.SubProcess = true;
    TStartTimes times;
    EXPECT_EQ(RunEntrySequence(steps, times), kNormalExitCode);
    EXPECT_EQ(steps.Calls, (Calls{"InitApplication", "IsCefSubProc", "RunSubProcess"}));
    EXPECT_EQ(times.StartTick.load(), 0u);
    EXPECT_EQ(times.InitTime.load(), 0u);
}

TEST(EntrySequence, InitTimeIsMeasuredFromTheStartTickJustBeforeTheMessageLoop) {
    TRecordedSteps steps;
    steps.Now = 0xFFFFFFF0u; // the tick counter wraps during start-up
    steps.Step = 0x10;       // two readings: start and just before AppRun
    TStartTimes times;
    RunEntrySequence(steps, times);
    EXPECT_EQ(times.StartTick.load(), 0xFFFFFFF0u);
    EXPECT_EQ(times.InitTime.load(), 0x10u);
    EXPECT_EQ(times.LoadTime.load(), 0u);
}

TEST(EntrySequence, AFailedUpdateIsLoggedAndStartUpGoesOn) {
    TRecordedSteps steps;
    steps.Updated = false;
    TStartTimes times;
    EXPECT_EQ(RunEntrySequence(steps, times), kNormalExitCode);
    EXPECT_EQ(steps.MainLog, (std::vector<std::string>{"升级未能成功！"}));
    EXPECT_EQ(steps.Calls.back(), "AppRun");
}

TEST(EntrySequence, ASecondInstanceTriesTheAssistantAndEndsByForce) {
    TRecordedSteps steps;
    steps.ProgramInitialised = false;
    TStartTimes times;
    EXPECT_EQ(RunEntrySequence(steps, times), kForcedExitCode);
    EXPECT_EQ(steps.Calls,
              (Calls{"InitApplication", "IsCefSubProc", "StartEmergencyHelper", "CreateHostContext",
                     "InitProgram", "TryLaunchAssistant", "TerminateSelf"}));

    // When the system refuses, the process ends normally without going on with start-up.
    TRecordedSteps refused;
    refused.ProgramInitialised = false;
    refused.TerminationAccepted = false;
    EXPECT_EQ(RunEntrySequence(refused, times), kNormalExitCode);
    EXPECT_EQ(refused.Calls.back(), "TerminateSelf");
}

TEST(EntrySequence, ALaunchedAssistantFreesTheInstanceAndKeepsAnsweringForTenSeconds) {
    TRecordedSteps steps;
    steps.AssistantLaunched = true;
    steps.Now = 0xFFFFF000u; // the ten seconds span a wrap of the tick counter
    steps.Step = 100;
    TStartTimes times;
    EXPECT_EQ(RunEntrySequence(steps, times), kForcedExitCode);
    const Calls tail(steps.Calls.end() - 3, steps.Calls.end());
    EXPECT_EQ(tail, (Calls{"TryLaunchAssistant", "ReleaseInstanceMutex", "TerminateSelf"}));
    // Readings 100 ms apart: rounds at 100 .. 9900 ms after the start reading.
    EXPECT_EQ(steps.PumpRounds, 99);
    EXPECT_EQ(times.InitTime.load(), 0u);
}

TEST(EntrySequence, AMissingManifestStopsStartUpWithTheError) {
    TRecordedSteps steps;
    steps.ManifestMissing = true;
    TStartTimes times;
    EXPECT_THROW(RunEntrySequence(steps, times), std::runtime_error);
    EXPECT_EQ(steps.Calls.back(), "CreateHostContext");
}

// The benchmark's view changes nothing: the same steps run, each measured once in its order
// (the message loop is not a start-up step), and a step that raises is measured too.
TEST(EntrySequence, MeasuredStepsRunUnchangedAndEachIsRecorded) {
    TRecordedSteps plain, inner;
    TStartTimes times;
    RunEntrySequence(plain, times);
    uint64_t clock = 0, memory = 0;
    TStepCosts costs([&] { return clock += 10; }, [&] { return ++memory; });
    TMeasuredSteps measured(inner, costs);
    RunEntrySequence(measured, times);
    EXPECT_EQ(inner.Calls, plain.Calls);
    Calls names;
    for (const TStepCost& cost : costs.Costs())
        names.push_back(cost.Name);
    Calls expected;
    for (const std::string& call : plain.Calls)
        if (call != "IsCefSubProc" && call != "AppRun") expected.push_back(call);
    EXPECT_EQ(names, expected);
    EXPECT_EQ(costs.Lines().front(), "InitApplication 10 us, working set 1");

    TRecordedSteps failing;
    failing.ManifestMissing = true;
    TStepCosts failed([] { return uint64_t{0}; }, [] { return uint64_t{0}; });
    TMeasuredSteps measuredFailing(failing, failed);
    EXPECT_THROW(RunEntrySequence(measuredFailing, times), std::runtime_error);
    EXPECT_EQ(failed.Costs().back().Name, "CreateHostContext");
}

} // namespace
