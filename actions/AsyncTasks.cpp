#include "actions/AsyncTasks.h"

#include "foundation/AppLog.h"
#include "foundation/TextCodec.h"

#include <exception>
#include <stdexcept>

namespace {

const std::string& ExportNameOf(const TTaskInfo& task) {
    static const std::string kNone;
    return task.mthInfo ? task.mthInfo->sExportName : kNone;
}

const std::string& RealNameOf(const TTaskInfo& task) {
    static const std::string kNone;
    return task.mthInfo ? task.mthInfo->sRealFunName : kNone;
}

const std::string& ClassNameOf(const TTaskInfo& task) {
    static const std::string kNone;
    return task.MetaclassType ? task.MetaclassType->ClassName : kNone;
}

std::string MessageOf(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------

namespace detail {

TAsyWorker::~TAsyWorker() {
    Stop();
}

void TAsyWorker::Start() {
    FThread = std::thread([this] { Run(); });
}

void TAsyWorker::Run() noexcept {
    try {
        Execute();
    } catch (...) {
        Diagnose(FormatLogLine("工作线程异常:%s", {MessageOf(std::current_exception())}));
    }
    FEnded.Set();
}

void TAsyWorker::Stop() {
    std::lock_guard<std::recursive_mutex> stopping(FStopLock);
    {
        std::lock_guard<std::mutex> guard(FLock);
        FTerminated = true;
    }
    FWake.notify_all();
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) {
        // A plain join would deadlock against a worker blocked in a message sent to this thread.
        FEnded.Wait();
        if (FThread.joinable()) FThread.join();
    }
    std::vector<PTaskInfo> left;
    {
        std::lock_guard<std::mutex> guard(FLock);
        left.swap(FStack);
    }
}

size_t TAsyWorker::PendingCount() {
    std::lock_guard<std::mutex> guard(FLock);
    return FStack.size();
}

bool TAsyWorker::Push(PTaskInfo entry) {
    {
        std::lock_guard<std::mutex> guard(FLock);
        if (FTerminated) return false;
        FStack.push_back(std::move(entry));
    }
    FWake.notify_all();
    return true;
}

PTaskInfo TAsyWorker::Pop() {
    std::unique_lock<std::mutex> guard(FLock);
    while (!FTerminated && FStack.empty()) {
        FIdleWaits.fetch_add(1, std::memory_order_relaxed);
        FWake.wait(guard);
        FWakeUps.fetch_add(1, std::memory_order_relaxed);
    }
    if (FTerminated) return nullptr;
    PTaskInfo entry = std::move(FStack.back());
    FStack.pop_back();
    return entry;
}

bool TAsyWorker::WaitFor(std::chrono::milliseconds interval) {
    const auto deadline = std::chrono::steady_clock::now() + interval;
    std::unique_lock<std::mutex> guard(FLock);
    while (!FTerminated) {
        const bool timedOut = FWake.wait_until(guard, deadline) == std::cv_status::timeout;
        FWakeUps.fetch_add(1, std::memory_order_relaxed);
        if (timedOut) break;
    }
    return !FTerminated;
}

bool TAsyWorker::Terminated() {
    std::lock_guard<std::mutex> guard(FLock);
    return FTerminated;
}

void TAsyWorker::Log(const std::string& line) noexcept {
    WriteMainLog(FPort, line);
}

void TAsyWorker::Diagnose(const std::string& line) noexcept {
    WriteAppLog(line);
}

} // namespace detail

// ---------------------------------------------------------------------------------------------

TAsyRunTask::TAsyRunTask(IDispatchPort& port, IActionDispatcher& hooks) : TAsyWorker(port), FHooks(hooks) {
    Start();
}

TAsyRunTask::~TAsyRunTask() {
    Stop();
}

bool TAsyRunTask::AppendTask(TActionService* ActInstance, PMethodInfo mthInfo, TCallerContextPtr aContext,
                             const TServiceClass* MetaclassType) {
    auto task = std::make_unique<TTaskInfo>();
    task->ActInstance = ActInstance;
    task->mthInfo = mthInfo;
    task->aContext = std::move(aContext);
    task->MetaclassType = MetaclassType;
    Log(FormatLogLine("异步任务添加:%s[%s]%s", {ExportNameOf(*task), RealNameOf(*task), ClassNameOf(*task)}));
    Push(std::move(task));
    return true;
}

void TAsyRunTask::Execute() {
    while (PTaskInfo task = Pop()) {
        Log(FormatLogLine("异步任务，获取到一个任务:%s[%s]", {ExportNameOf(*task), RealNameOf(*task)}));
        try {
            RunTask(*task);
        } catch (...) {
            Log(FormatLogLine("异步执行:%s[%s]时异常:%s",
                              {ExportNameOf(*task), RealNameOf(*task), MessageOf(std::current_exception())}));
        }
        // Releasing the context is the last thing done for the page.
        task.reset();
    }
    Log("异步任务线程已退出！");
}

void TAsyRunTask::RunTask(TTaskInfo& task) {
    if (!task.aContext) throw std::logic_error("task without caller context");
    TCallerContext& context = *task.aContext;
    {
        TCallBracket bracket(FHooks);
        if (task.mthInfo && !task.mthInfo->sRealFunName.empty()) {
            Log(FormatLogLine("异步任务执行:%s[%s]%s",
                              {ExportNameOf(task), RealNameOf(task), ClassNameOf(task)}));
            const TServiceMethod* method = task.mthInfo->RealFun;
            if (!method && task.MetaclassType)
                method = task.MetaclassType->FindMethod(task.mthInfo->sRealFunName);
            if (!method || !task.ActInstance) {
                throw std::runtime_error("method " + task.mthInfo->sRealFunName + " not found");
            }
            context.FRetValue = method->Invoke(*task.ActInstance, &context);
        }
    }
    FPort.CallJsFunction(context.WebID(), context.CallerNo(), context.FRetValue);
}

// ---------------------------------------------------------------------------------------------

TAsyGetMessage::TAsyGetMessage(IDispatchPort& port, IActionDispatcher& dispatcher)
    : TAsyGetMessage(port, dispatcher, TTimings()) {}

TAsyGetMessage::TAsyGetMessage(IDispatchPort& port, IActionDispatcher& dispatcher, TTimings timings)
    : TAsyWorker(port), FDispatcher(dispatcher), FTimings(std::move(timings)) {
    Start();
}

TAsyGetMessage::~TAsyGetMessage() {
    Stop();
}

bool TAsyGetMessage::AppendTask(TCallerContextPtr aContext, TNotifyType aNotifyType) {
    auto entry = std::make_unique<TTaskInfo>();
    entry->aContext = std::move(aContext);
    entry->NotifyType = aNotifyType;
    Log("TAsyGetMessage 添加成功");
    Push(std::move(entry));
    return true;
}

bool TAsyGetMessage::AppendNotifyTask(const std::string& label, TNotifyType type, const TVarArgs& args) {
    bool appended = false;
    try {
        TCallerContextPtr context;
        {
            TFwRef<IAppContext> fresh = FPort.GetAppContext();
            context = TCallerContext::Create(fresh.Get());
        }
        FPort.AppendParams(*ContextParams(*context->AppContext()), args);
        appended = AppendTask(std::move(context), type);
    } catch (...) {
        appended = false;
    }
    Log(FormatLogLine(appended ? "添加异步执行[%s]成功" : "添加异步执行[%s]失败！", {label}));
    return appended;
}

bool TAsyGetMessage::Pause(std::chrono::milliseconds interval) {
    if (FTimings.Wait) return FTimings.Wait(interval) && !Terminated();
    return WaitFor(interval);
}

void TAsyGetMessage::Execute() {
    while (PTaskInfo entry = Pop()) {
        try {
            if (entry->aContext) {
                if (entry->NotifyType == NTMsg) {
                    NotifyMessages(entry->aContext);
                } else {
                    NotifyUser(*entry->aContext);
                }
            }
        } catch (...) {
            Diagnose(FormatLogLine("TAsyGetMessage 异常:%s", {MessageOf(std::current_exception())}));
        }
        entry.reset();
        if (FTimings.PassInterval.count() > 0 && !Pause(FTimings.PassInterval)) break;
    }
}

void TAsyGetMessage::NotifyMessages(const TCallerContextPtr& context) {
    Log("同步拉消息开始！");
    std::string messages;
    try {
        // A context the task runner took over is not ours to read any more.
        if (FDispatcher.CallActionFun("msg.SynFetchMsg", context) != CLAsync) messages = context->FRetValue;
    } catch (...) {
        Diagnose(FormatLogLine("同步拉消息异常:%s", {MessageOf(std::current_exception())}));
        messages.clear();
    }
    std::string key;
    const bool notify = Utf8ToAnsi(messages).size() >= 6;
    if (notify && context->ParamCount() != 0) key = context->ParamStr(0);
    Log("同步拉消息结束！");
    if (!notify) return;

    for (int attempt = 1; attempt <= kNotifyAttempts; ++attempt) {
        Log(FormatLogLine("消息通知开始[%s]！", {key}));
        if (FPort.CallRegisterFun("MessageNotify",
                                  {TVarRec::Text(key), TVarRec::Text(messages, TVarKind::vtAnsiString)})) {
            Log(FormatLogLine("消息通知已送达[%s]！", {key}));
            return;
        }
        Log("未找到消息通知函数，稍候重试！");
        if (attempt < kNotifyAttempts && !Pause(FTimings.RetryInterval)) return;
    }
}

void TAsyGetMessage::NotifyUser(TCallerContext& context) {
    if (context.ParamCount() == 0) return;
    const std::string infoAnsi = context.ParamStrAnsi(0);
    const std::string info = AnsiToUtf8(infoAnsi);
    const std::string length = std::to_string(infoAnsi.size());
    for (int attempt = 1; attempt <= kNotifyAttempts; ++attempt) {
        Log(FormatLogLine("用户登录通知开始[len=%d]！", {length}));
        if (FPort.CallRegisterFun("UserLoginNotify", {TVarRec::Text(info, TVarKind::vtAnsiString)})) {
            Log("用户登录通知已送达！");
            return;
        }
        Log("未找到用户登录通知函数，稍候重试！");
        if (attempt < kNotifyAttempts && !Pause(FTimings.RetryInterval)) return;
    }
}

// ---------------------------------------------------------------------------------------------

namespace {

struct TWorkerServices {
    std::mutex Lock;
    IDispatchPort* Port = nullptr;
    IActionDispatcher* Dispatcher = nullptr;
    // Never freed: they may still be referenced while the process winds down.
    TAsyRunTask* Runner = nullptr;
    TAsyGetMessage* Poller = nullptr;
};

TWorkerServices& Services() {
    static TWorkerServices* services = new TWorkerServices();
    return *services;
}

void RequireServices(const TWorkerServices& services) {
    if (!services.Port || !services.Dispatcher) {
        throw std::logic_error("SetAsyncWorkerServices must come before the first background task");
    }
}

} // namespace

void SetAsyncWorkerServices(IDispatchPort* port, IActionDispatcher* dispatcher) {
    TWorkerServices& services = Services();
    std::lock_guard<std::mutex> guard(services.Lock);
    services.Port = port;
    services.Dispatcher = dispatcher;
}

TAsyRunTask& GetAsyRunTask() {
    TWorkerServices& services = Services();
    std::lock_guard<std::mutex> guard(services.Lock);
    if (!services.Runner) {
        RequireServices(services);
        services.Runner = new TAsyRunTask(*services.Port, *services.Dispatcher);
    }
    return *services.Runner;
}

TAsyGetMessage& GetAsyGetMessage() {
    TWorkerServices& services = Services();
    std::lock_guard<std::mutex> guard(services.Lock);
    if (!services.Poller) {
        RequireServices(services);
        services.Poller = new TAsyGetMessage(*services.Port, *services.Dispatcher);
    }
    return *services.Poller;
}

bool AppendNotifyTask(const std::string& label, TNotifyType type, const TVarArgs& args) {
    TAsyGetMessage* poller = nullptr;
    try {
        poller = &GetAsyGetMessage();
    } catch (...) {
        WriteAppLog(FormatLogLine("添加异步执行[%s]失败！", {label}));
        return false;
    }
    return poller->AppendNotifyTask(label, type, args);
}

void StopAsyncWorkers() {
    TAsyRunTask* runner = nullptr;
    TAsyGetMessage* poller = nullptr;
    {
        TWorkerServices& services = Services();
        std::lock_guard<std::mutex> guard(services.Lock);
        runner = services.Runner;
        poller = services.Poller;
    }
    if (runner) runner->Stop();
    if (poller) poller->Stop();
}
