#pragma once
// The two worker threads: the task runner, which runs background actions and answers their
// pages, and the message poller, which pushes "MessageNotify" and "UserLoginNotify" into the page.
// Each keeps a newest-first stack and sleeps on a condition variable while it is empty: an idle
// worker is never woken, and a new entry wakes it at once.
#include "actions/CustomAttributeUnit.h"
#include "actions/DispatchPorts.h"
#include "actions/ThreadEndSignal.h"
#include "foundation/TaggedValue.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

enum TNotifyType : uint8_t { NTMsg = 0, NTUser = 1 };

// One stack entry of either worker. The poller leaves ActInstance and mthInfo empty and uses
// NotifyType.
struct TTaskInfo {
    TActionService* ActInstance = nullptr;
    PMethodInfo mthInfo = nullptr;
    TCallerContextPtr aContext;
    const TServiceClass* MetaclassType = nullptr;
    TNotifyType NotifyType = NTMsg;
};
using PTaskInfo = std::unique_ptr<TTaskInfo>;

namespace detail {
// Stack, lock, wake-up and thread shared by both workers.
class TAsyWorker {
public:
    TAsyWorker(const TAsyWorker&) = delete;
    TAsyWorker& operator=(const TAsyWorker&) = delete;

    // Asks the thread to end, wakes it from any wait and waits until it has ended. The entry in
    // hand is finished; entries still stacked are released without running. On Windows the
    // caller keeps handling messages sent to its windows while it waits, so a worker that is
    // answering a page of the caller's thread finishes instead of hanging the shutdown.
    void Stop();
    // True from the moment Stop has been asked for.
    bool Terminated();
    size_t PendingCount();
    // How often the thread has begun waiting with nothing queued, and how often it has come out
    // of any wait. An idle worker waits once and is not woken until an entry comes or Stop.
    uint32_t IdleWaits() const { return FIdleWaits.load(std::memory_order_relaxed); }
    uint32_t WakeUps() const { return FWakeUps.load(std::memory_order_relaxed); }

protected:
    explicit TAsyWorker(IDispatchPort& port) : FPort(port) {}
    ~TAsyWorker();

    void Start();
    // False (and the entry released) once the thread is stopping.
    bool Push(PTaskInfo entry);
    // Newest entry; blocks while the stack is empty. Null once the thread is to end.
    PTaskInfo Pop();
    // Timed wait that Stop cuts short; false when the thread is to end.
    bool WaitFor(std::chrono::milliseconds interval);
    // Main-log line; a failing log never stops the thread.
    void Log(const std::string& line) noexcept;
    // A diagnostic of our own (a failure caught on the thread): the daily log, not the main log.
    static void Diagnose(const std::string& line) noexcept;

    virtual void Execute() = 0;
    IDispatchPort& FPort;

private:
    void Run() noexcept;

    // Recursive: a message handled while Stop waits may stop the workers again.
    std::recursive_mutex FStopLock;
    std::mutex FLock;
    std::condition_variable FWake;
    std::vector<PTaskInfo> FStack;
    bool FTerminated = false;
    std::atomic<uint32_t> FIdleWaits{0};
    std::atomic<uint32_t> FWakeUps{0};
    TThreadEndSignal FEnded;
    std::thread FThread;
};
} // namespace detail

class TAsyRunTask : public detail::TAsyWorker, public ITaskRunner {
public:
    // hooks: BeginCall/EndCall around every background action.
    TAsyRunTask(IDispatchPort& port, IActionDispatcher& hooks);
    ~TAsyRunTask();

    bool AppendTask(TActionService* ActInstance, PMethodInfo mthInfo, TCallerContextPtr aContext,
                    const TServiceClass* MetaclassType) override;

private:
    void Execute() override;
    void RunTask(TTaskInfo& task);

    IActionDispatcher& FHooks;
};

class TAsyGetMessage : public detail::TAsyWorker {
public:
    struct TTimings {
        std::chrono::milliseconds RetryInterval{1000}; // between notification attempts
        // After each handled entry. The poll of an idle stack is a wait on its event, and the
        // next waiting entry (newest first) is taken at once: 0, no pause between passes.
        std::chrono::milliseconds PassInterval{0};
        // Replaces the real waits (tests advance a fake clock); false ends the retries.
        std::function<bool(std::chrono::milliseconds)> Wait;
    };
    static constexpr int kNotifyAttempts = 20;

    // dispatcher runs "msg.SynFetchMsg".
    TAsyGetMessage(IDispatchPort& port, IActionDispatcher& dispatcher);
    TAsyGetMessage(IDispatchPort& port, IActionDispatcher& dispatcher, TTimings timings);
    ~TAsyGetMessage();

    bool AppendTask(TCallerContextPtr aContext, TNotifyType aNotifyType);
    // Wraps a fresh framework context holding args and queues it; logs the outcome with label.
    bool AppendNotifyTask(const std::string& label, TNotifyType type, const TVarArgs& args);

private:
    void Execute() override;
    void NotifyMessages(const TCallerContextPtr& context);
    void NotifyUser(TCallerContext& context);
    bool Pause(std::chrono::milliseconds interval);

    IActionDispatcher& FDispatcher;
    TTimings FTimings;
};

// Process-wide workers. The host names the port and its dispatcher first; each worker is created
// and started by the first call of its accessor and lives until the process ends.
void SetAsyncWorkerServices(IDispatchPort* port, IActionDispatcher* dispatcher);
TAsyRunTask& GetAsyRunTask();
TAsyGetMessage& GetAsyGetMessage();
// Queues a notification on the process-wide poller (used by the account and message services).
bool AppendNotifyTask(const std::string& label, TNotifyType type, const TVarArgs& args);
// Stops whichever process-wide workers exist; the host calls it before it frees the registry.
void StopAsyncWorkers();
