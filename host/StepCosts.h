#pragma once
// What each start-up step costs, for the start-up benchmark: its time and the working set after
// it. Off unless the environment asks for it (APPFRAME_STARTUP_STEPS), so that an ordinary start
// pays nothing. TMeasuredSteps wraps the program's steps and measures each one of the sequence.
#include "host/EntrySequence.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct TStepCost {
    std::string Name;
    uint64_t Microseconds = 0;
    uint64_t WorkingSet = 0; // bytes, after the step
};

class TStepCosts {
public:
    using TReading = std::function<uint64_t()>;
    TStepCosts(TReading nowMicroseconds, TReading workingSet)
        : FNow(std::move(nowMicroseconds)), FWorkingSet(std::move(workingSet)) {}

    // Runs f and records its cost, also when it raises.
    template <class F>
    decltype(auto) Measure(const char* name, F&& f) {
        const TRecorder recorder(*this, name, FNow());
        return f();
    }
    const std::vector<TStepCost>& Costs() const { return FCosts; }
    // One line per step: "<name> <microseconds> us, working set <bytes>".
    std::vector<std::string> Lines() const;

private:
    struct TRecorder {
        TStepCosts& Owner;
        const char* Name;
        uint64_t Began;
        TRecorder(TStepCosts& owner, const char* name, uint64_t began)
            : Owner(owner), Name(name), Began(began) {}
        ~TRecorder() {
            try {
                Owner.FCosts.push_back({Name, Owner.FNow() - Began, Owner.FWorkingSet()});
            } catch (...) {
                // A lost figure; the step itself goes on as it would have.
            }
        }
    };

    TReading FNow;
    TReading FWorkingSet;
    std::vector<TStepCost> FCosts;
};

class TMeasuredSteps final : public IEntrySteps {
public:
    TMeasuredSteps(IEntrySteps& inner, TStepCosts& costs) : F(inner), C(costs) {}

    void InitApplication() override {
        C.Measure("InitApplication", [&] { F.InitApplication(); });
    }
    bool IsCefSubProc() override { return F.IsCefSubProc(); }
    void RunSubProcess() override { F.RunSubProcess(); }
    uint32_t TickCount() override { return F.TickCount(); }
    void StartEmergencyHelper() override {
        C.Measure("StartEmergencyHelper", [&] { F.StartEmergencyHelper(); });
    }
    void CreateHostContext() override {
        C.Measure("CreateHostContext", [&] { F.CreateHostContext(); });
    }
    bool InitProgram() override {
        return C.Measure("InitProgram", [&] { return F.InitProgram(); });
    }
    void SetCurrentFolderToProgram() override {
        C.Measure("SetCurrentFolderToProgram", [&] { F.SetCurrentFolderToProgram(); });
    }
    void CreateSplash() override {
        C.Measure("CreateSplash", [&] { F.CreateSplash(); });
    }
    void InitWebCore() override {
        C.Measure("InitWebCore", [&] { F.InitWebCore(); });
    }
    void GetTaxInfo() override {
        C.Measure("GetTaxInfo", [&] { F.GetTaxInfo(); });
    }
    void CheckSoftReg() override {
        C.Measure("CheckSoftReg", [&] { F.CheckSoftReg(); });
    }
    bool UpdateApp() override {
        return C.Measure("UpdateApp", [&] { return F.UpdateApp(); });
    }
    void WriteMainLog(const std::string& line) override { F.WriteMainLog(line); }
    void HandOverToBrev() override {
        C.Measure("HandOverToBrev", [&] { F.HandOverToBrev(); });
    }
    bool TryLaunchAssistant() override {
        return C.Measure("TryLaunchAssistant", [&] { return F.TryLaunchAssistant(); });
    }
    void ShowSplash() override {
        C.Measure("ShowSplash", [&] { F.ShowSplash(); });
    }
    void RegisterHostContext() override {
        C.Measure("RegisterHostContext", [&] { F.RegisterHostContext(); });
    }
    void CreateMainWindow() override {
        C.Measure("CreateMainWindow", [&] { F.CreateMainWindow(); });
    }
    void StartMonitor() override {
        C.Measure("StartMonitor", [&] { F.StartMonitor(); });
    }
    void SetCheckFlashTime() override {
        C.Measure("SetCheckFlashTime", [&] { F.SetCheckFlashTime(); });
    }
    void InitFinished() override {
        C.Measure("InitFinished", [&] { F.InitFinished(); });
    }
    void AppRun() override { F.AppRun(); }
    bool TerminateSelf() override { return F.TerminateSelf(); }
    void ReleaseInstanceMutex() override { F.ReleaseInstanceMutex(); }
    void ProcessMessages() override { F.ProcessMessages(); }
    void Sleep(uint32_t ms) override { F.Sleep(ms); }

private:
    IEntrySteps& F;
    TStepCosts& C;
};
