// The asynchronous page-call path without windows: dispatch of an asynchronous action, hand-off to
// the task runner, the action on the runner thread, and its answer reaching the calling thread.
// Then the idle cost of both workers: their wake-ups and the context switches the kernel counts
// for their threads while nothing is queued.
//
// usage: asyncworkers_bench [calls] [idle-seconds]
#include "actions/ActionRegistry.h"
#include "actions/AsyncTasks.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

// A page's call context with a counted reference and a caller number.
class TBenchContext final : public IAppContext {
public:
    TFwHResult QueryInterface(const TFwGuid&, void**) override { return kFwENoInterface; }
    uint32_t AddRef() override { return ++FRefs; }
    uint32_t Release() override { return --FRefs; }
    int32_t Reserved1() override { return 0; }
    int32_t CallerNo() override { return FCallerNo; }
    int32_t WebID() override { return 1; }
    void Values(IAppValues** result) override { *result = nullptr; }
    void Params(IJsCallerInf** result) override { *result = nullptr; }
    void SetCallerNo(int32_t callerNo) { FCallerNo = callerNo; }

private:
    std::atomic<uint32_t> FRefs{1};
    int32_t FCallerNo = 0;
};

// Answers wake the caller; the main log is dropped.
class TSignalPort final : public IDispatchPort {
public:
    TFwRef<IAppContext> GetAppContext() override { return {}; }
    void AppendParams(IJsCallerInf&, const TVarArgs&) override {}
    bool CallJsFunction(int32_t, int32_t callerNo, const std::string&) override {
        {
            std::lock_guard<std::mutex> guard(FLock);
            FAnswered = callerNo;
            FAnsweredAt = TClock::now();
        }
        FChanged.notify_all();
        return true;
    }
    bool CallRegisterFun(const std::string&, const TVarArgs&) override { return true; }
    void WriteLog(const std::string&) override {}

    TClock::time_point WaitForAnswer(int32_t callerNo) {
        std::unique_lock<std::mutex> guard(FLock);
        FChanged.wait(guard, [&] { return FAnswered == callerNo; });
        return FAnsweredAt;
    }

private:
    std::mutex FLock;
    std::condition_variable FChanged;
    int32_t FAnswered = 0;
    TClock::time_point FAnsweredAt;
};

class TNoFiles final : public IDispatchEnvironment {
public:
    bool FileExists(const std::string&) override { return false; }
    std::string ProgramFolder() override { return "C:\\App\\"; }
    std::string ExtModulePath(const std::string&) override { return {}; }
    void ShowMessage(const std::string&) override {}
};

class TBenchSvc : public TActionService {
public:
    bool InitEnvironment(TCallerContext*) { return true; }
    std::string Echo(TCallerContext*) { return "{\"ok\":true}"; }
};

const TServiceClass& BenchClass() {
    static const TServiceClass cls =
        MakeServiceClass<TBenchSvc>("TBenchSvc", "bench",
                                    {
                                        {"InitEnvironment", &TBenchSvc::InitEnvironment, {"", actALL}},
                                        {"Echo", &TBenchSvc::Echo, {"", actASync}},
                                    });
    return cls;
}

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5)];
}

std::set<std::string> ThreadIds() {
    std::set<std::string> ids;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') ids.insert(entry->d_name);
        closedir(dir);
    }
    return ids;
}

// Voluntary plus involuntary context switches of one thread of this process.
long ContextSwitches(const std::string& tid) {
    std::ifstream status("/proc/self/task/" + tid + "/status");
    std::string line;
    long total = 0;
    while (std::getline(status, line))
        if (line.find("ctxt_switches:") != std::string::npos)
            total += std::atol(line.c_str() + line.find(':') + 1);
    return total;
}

} // namespace

int main(int argc, char** argv) {
    const int calls = argc > 1 ? std::max(10, std::atoi(argv[1])) : 20000;
    const int idleSeconds = argc > 2 ? std::max(0, std::atoi(argv[2])) : 3;

    TSignalPort port;
    TNoFiles files;
    TActionRegistry registry(port, files);
    registry.InitAllModules({&BenchClass()});
    const std::set<std::string> before = ThreadIds();
    TAsyRunTask runner(port, registry);
    TAsyGetMessage poller(port, registry);
    registry.SetTaskRunner(&runner);
    std::vector<std::string> workers;
    for (const std::string& id : ThreadIds())
        if (!before.count(id)) workers.push_back(id);

    TBenchContext page;
    std::vector<double> us;
    for (int i = 1; i <= calls; ++i) {
        page.SetCallerNo(i);
        const auto start = TClock::now();
        if (registry.CallActionFun("bench.Echo", TCallerContext::Create(&page)) != CLAsync) return 1;
        const auto answered = port.WaitForAnswer(i);
        us.push_back(std::chrono::duration<double, std::micro>(answered - start).count());
    }
    std::printf("async page call, dispatch -> runner -> answer   n=%d  median %6.1f us  p90 %6.1f us  "
                "p99 %6.1f us\n",
                calls, Percentile(us, 0.5), Percentile(us, 0.9), Percentile(us, 0.99));

    // Let both settle into their idle wait before counting.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const uint32_t runnerWakeUps = runner.WakeUps(), pollerWakeUps = poller.WakeUps();
    long switches = 0;
    for (const std::string& id : workers)
        switches -= ContextSwitches(id);
    std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
    for (const std::string& id : workers)
        switches += ContextSwitches(id);
    std::printf(
        "idle %d s: runner woke %u times, poller %u times; %ld context switches on %zu worker threads\n",
        idleSeconds, runner.WakeUps() - runnerWakeUps, poller.WakeUps() - pollerWakeUps, switches,
        workers.size());
    return 0;
}
