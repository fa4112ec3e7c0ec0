#pragma once
// Fakes around the dispatch: a framework port that records what reaches the page and the main
// log, a file system made of a set of paths, and small service classes that write what they do
// into a journal.
#include "actions/ActionRegistry.h"
#include "actions/AsyncTasks.h"
#include "foundation/TextCodec.h"
#include "support/FakeAppContext.h"
#include "webbridge/ParamPackers.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace dispatch_test {

// Long enough never to be reached by a working program; only stops a broken test from hanging.
inline constexpr std::chrono::seconds kPatience{60};

// What the services did, in order, from any thread.
class TJournal {
public:
    static TJournal& Instance() {
        static TJournal journal;
        return journal;
    }
    void Add(std::string line) {
        std::lock_guard<std::mutex> guard(FLock);
        FLines.push_back(std::move(line));
    }
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> guard(FLock);
        return FLines;
    }
    void Clear() {
        std::lock_guard<std::mutex> guard(FLock);
        FLines.clear();
    }

private:
    std::mutex FLock;
    std::vector<std::string> FLines;
};

inline void Note(std::string line) {
    TJournal::Instance().Add(std::move(line));
}

struct TAnswer {
    int32_t WebId;
    int32_t CallerNo;
    std::string Text;
};

struct TPageCall {
    std::string Function;
    std::vector<std::string> Args; // UTF-8
};

class TFakePort final : public IDispatchPort {
public:
    TFwRef<IAppContext> GetAppContext() override {
        std::lock_guard<std::mutex> guard(FLock);
        if (FNoContexts) return TFwRef<IAppContext>();
        return TFwRef<IAppContext>(TFakeAppContext::Create());
    }
    void AppendParams(IJsCallerInf& params, const TVarArgs& args) override {
        TranParamToJsCallerInf(args, params);
    }
    bool CallJsFunction(int32_t webId, int32_t callerNo, const std::string& answer) override {
        {
            std::lock_guard<std::mutex> guard(FLock);
            FAnswers.push_back({webId, callerNo, answer});
        }
        Changed();
        return true;
    }
    bool CallRegisterFun(const std::string& funName, const TVarArgs& args) override {
        std::function<bool(const TPageCall&)> page;
        TPageCall call{funName, {}};
        for (const TVarRec& a : args)
            call.Args.push_back(a.VText);
        {
            std::lock_guard<std::mutex> guard(FLock);
            FPageCalls.push_back(call);
            page = FPage;
        }
        const bool found = page && page(call);
        Changed();
        return found;
    }
    void WriteLog(const std::string& line) override {
        {
            std::lock_guard<std::mutex> guard(FLock);
            FLog.push_back(line);
        }
        Changed();
    }

    // Which registered page functions exist; asked at every call.
    void SetPage(std::function<bool(const TPageCall&)> page) {
        std::lock_guard<std::mutex> guard(FLock);
        FPage = std::move(page);
    }
    void SetNoContexts() {
        std::lock_guard<std::mutex> guard(FLock);
        FNoContexts = true;
    }

    std::vector<std::string> Log() {
        std::lock_guard<std::mutex> guard(FLock);
        return FLog;
    }
    std::vector<TAnswer> Answers() {
        std::lock_guard<std::mutex> guard(FLock);
        return FAnswers;
    }
    std::vector<TPageCall> PageCalls() {
        std::lock_guard<std::mutex> guard(FLock);
        return FPageCalls;
    }
    size_t LogCount(const std::string& line) {
        std::lock_guard<std::mutex> guard(FLock);
        return static_cast<size_t>(std::count(FLog.begin(), FLog.end(), line));
    }
    bool HasLog(const std::string& line) { return LogCount(line) != 0; }

    // Waits until the condition on the recorded state holds; false if it never does.
    bool WaitUntil(const std::function<bool()>& condition) {
        std::unique_lock<std::mutex> guard(FWaitLock);
        return FChanged.wait_for(guard, kPatience, condition);
    }
    bool WaitForLog(const std::string& line, size_t times = 1) {
        return WaitUntil([&] { return LogCount(line) >= times; });
    }
    bool WaitForAnswers(size_t count) {
        return WaitUntil([&] { return Answers().size() >= count; });
    }

private:
    // Passing through the waiters' lock first means no waiter can miss the change.
    void Changed() {
        { std::lock_guard<std::mutex> guard(FWaitLock); }
        FChanged.notify_all();
    }

    std::mutex FLock;
    std::mutex FWaitLock;
    std::condition_variable_any FChanged;
    std::vector<std::string> FLog;
    std::vector<TAnswer> FAnswers;
    std::vector<TPageCall> FPageCalls;
    std::function<bool(const TPageCall&)> FPage;
    bool FNoContexts = false;
};

class TFakeFiles final : public IDispatchEnvironment {
public:
    std::set<std::string> Files;
    std::string Folder = "C:\\Prog\\";
    std::map<std::string, std::string> Modules;
    std::vector<std::string> Probes;
    std::vector<std::string> Messages;

    bool FileExists(const std::string& path) override {
        std::lock_guard<std::mutex> guard(FLock);
        Probes.push_back(path);
        return Files.count(path) != 0;
    }
    std::string ProgramFolder() override { return Folder; }
    std::string ExtModulePath(const std::string& name) override {
        std::lock_guard<std::mutex> guard(FLock);
        auto found = Modules.find(name);
        return found == Modules.end() ? std::string() : found->second;
    }
    void ShowMessage(const std::string& text) override {
        std::lock_guard<std::mutex> guard(FLock);
        Messages.push_back(text);
    }

private:
    // Page calls may come from several threads at once.
    std::mutex FLock;
};

// Keeps what the registry hands to the background instead of running it.
class TKeptTasks final : public ITaskRunner {
public:
    struct TKept {
        TActionService* Instance;
        PMethodInfo Info;
        TCallerContextPtr Context;
        const TServiceClass* Class;
    };
    std::vector<TKept> Tasks;
    bool AppendTask(TActionService* ActInstance, PMethodInfo mthInfo, TCallerContextPtr aContext,
                    const TServiceClass* MetaclassType) override {
        Tasks.push_back({ActInstance, mthInfo, std::move(aContext), MetaclassType});
        return true;
    }
};

// A context of the fake framework, owned by the test.
class TOwnedContext {
public:
    explicit TOwnedContext(int32_t callerNo = 0, int32_t webId = 0)
        : FContext(TFakeAppContext::Create(callerNo, webId)) {}
    ~TOwnedContext() { FContext->Release(); }
    TOwnedContext(const TOwnedContext&) = delete;
    TOwnedContext& operator=(const TOwnedContext&) = delete;
    TFakeAppContext* operator->() const { return FContext; }
    TFakeAppContext* Get() const { return FContext; }
    TCallerContextPtr Wrap() const { return TCallerContext::Create(FContext); }

private:
    TFakeAppContext* FContext;
};

// ---------------------------------------------------------------------------------------------
// Service classes

class TTestAccount : public TActionService {
public:
    TTestAccount() { Note("TTestAccount.Create"); }
    bool InitEnvironment(TCallerContext*) {
        Note("app.InitEnvironment");
        return true;
    }
    std::string login(TCallerContext* c) {
        Note("app.login");
        return "login:" + (c && c->ParamCount() ? c->ParamStr(0) : std::string());
    }
    std::string appId(TCallerContext*) { return "42"; }
    std::string DllFun(TCallerContext* c) {
        Note("app.DllFun " + c->GetValue("path") + " " + c->GetValue("funName"));
        return "dll:" + c->GetValue("funName");
    }
    std::string Boom(TCallerContext*) { throw std::runtime_error("kaput"); }
    std::string Echo(TCallerContext* c) {
        std::string all;
        for (int32_t i = 0; i < c->ParamCount(); ++i)
            all += (i ? "|" : "") + c->ParamStr(i);
        return all;
    }
};

class TTestSys : public TActionService {
public:
    bool InitEnvironment(TCallerContext*) {
        Note("sys.InitEnvironment");
        return true;
    }
    std::string EncryptStr(TCallerContext*) {
        Note("sys.EncryptStr");
        return "enc";
    }
};

class TTestMsg : public TActionService {
public:
    TTestMsg() { Note("TTestMsg.Create"); }
    bool InitEnvironment(TCallerContext*) {
        Note("msg.InitEnvironment");
        return true;
    }
    std::string SynFetchMsg(TCallerContext*) {
        Note("msg.SynFetchMsg");
        std::lock_guard<std::mutex> guard(Lock());
        if (FailFetch()) throw std::runtime_error("fetch failed");
        return Answer();
    }
    std::string GetMessage(TCallerContext*) { return "msgs"; }

    // What the next fetches answer.
    static std::string& Answer() {
        static std::string answer;
        return answer;
    }
    static bool& FailFetch() {
        static bool fail = false;
        return fail;
    }
    static std::mutex& Lock() {
        static std::mutex lock;
        return lock;
    }
    static void SetAnswer(std::string text, bool fail = false) {
        std::lock_guard<std::mutex> guard(Lock());
        Answer() = std::move(text);
        FailFetch() = fail;
    }
};

inline const TServiceClass& AccountClass() {
    static const TServiceClass cls =
        MakeServiceClass<TTestAccount>("TTestAccount", "app",
                                       {
                                           {"InitEnvironment", &TTestAccount::InitEnvironment, {"", actALL}},
                                           {"login", &TTestAccount::login, {"", actASync}},
                                           {"appId", &TTestAccount::appId, {"", actALL}},
                                           {"DllFun", &TTestAccount::DllFun, {"", actASync}},
                                           {"Boom", &TTestAccount::Boom, {"boom", actASync}},
                                           {"Echo", &TTestAccount::Echo, {"", actSync}},
                                       });
    return cls;
}

inline const TServiceClass& SysClass() {
    static const TServiceClass cls =
        MakeServiceClass<TTestSys>("TTestSys", "sys",
                                   {
                                       {"InitEnvironment", &TTestSys::InitEnvironment, {"", actALL}},
                                       {"EncryptStr", &TTestSys::EncryptStr, {"Enc", actASync}},
                                   });
    return cls;
}

inline const TServiceClass& MsgClass() {
    static const TServiceClass cls =
        MakeServiceClass<TTestMsg>("TTestMsg", "msg",
                                   {
                                       {"InitEnvironment", &TTestMsg::InitEnvironment, {"", actALL}},
                                       {"SynFetchMsg", &TTestMsg::SynFetchMsg, {"", actALL}},
                                       {"GetMessage", &TTestMsg::GetMessage, {"", actASync}},
                                   });
    return cls;
}

inline std::vector<const TServiceClass*> TestClasses() {
    return {&AccountClass(), &SysClass(), &MsgClass()};
}

} // namespace dispatch_test
