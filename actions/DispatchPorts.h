#pragma once
// What the dispatch needs from the world around it. The host wires these to the framework
// binding and the file system; tests wire them to fakes.
#include "actions/CustomAttributeUnit.h"
#include "foundation/TaggedValue.h"
#include "webbridge/AppContextIntf.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

// The web framework as the dispatch and its worker threads use it. Every operation may be called
// from any thread.
class IDispatchPort {
public:
    // A fresh call context, owned by the caller.
    virtual TFwRef<IAppContext> GetAppContext() = 0;
    // Appends the values, in order, to a parameter list.
    virtual void AppendParams(IJsCallerInf& params, const TVarArgs& args) = 0;
    // Sends an answer (UTF-8) to the page callback numbered callerNo in the page window webId.
    virtual bool CallJsFunction(int32_t webId, int32_t callerNo, const std::string& answer) = 0;
    // Calls a function the page has registered; false when the page has no such function (yet).
    virtual bool CallRegisterFun(const std::string& funName, const TVarArgs& args) = 0;
    // One finished line (UTF-8) of the main log.
    virtual void WriteLog(const std::string& line) = 0;

protected:
    ~IDispatchPort() = default;
};

// Where service libraries are looked for, and how look-up failures are shown.
class IDispatchEnvironment {
public:
    virtual bool FileExists(const std::string& path) = 0;
    // The program's folder, ending in a backslash.
    virtual std::string ProgramFolder() = 0;
    // The library path of the extension module of that name, empty when there is none.
    virtual std::string ExtModulePath(const std::string& name) = 0;
    virtual void ShowMessage(const std::string& text) = 0;

protected:
    ~IDispatchEnvironment() = default;
};

// The entry points the worker threads call back into.
class IActionDispatcher {
public:
    virtual TCurrentCallerType CallActionFun(const std::string& sAction,
                                             const TCallerContextPtr& aContext) = 0;
    virtual void BeginCall() = 0;
    virtual void EndCall() = 0;

protected:
    ~IActionDispatcher() = default;
};

// BeginCall/EndCall bracket every invocation; EndCall runs on every way out.
class TCallBracket {
public:
    explicit TCallBracket(IActionDispatcher& hooks) : FHooks(hooks) { FHooks.BeginCall(); }
    ~TCallBracket() { FHooks.EndCall(); }
    TCallBracket(const TCallBracket&) = delete;
    TCallBracket& operator=(const TCallBracket&) = delete;

private:
    IActionDispatcher& FHooks;
};

// Takes actions that run in the background.
class ITaskRunner {
public:
    virtual bool AppendTask(TActionService* ActInstance, PMethodInfo mthInfo, TCallerContextPtr aContext,
                            const TServiceClass* MetaclassType) = 0;

protected:
    ~ITaskRunner() = default;
};

// Formats a log line the way the main log's formatter does for the texts used here: each "%s"
// and "%d" takes the next argument ("%%" is a percent sign).
std::string FormatLogLine(std::string_view format, std::initializer_list<std::string_view> args);

// Writes a main-log line; when the main log fails, the line goes to the daily log instead.
void WriteMainLog(IDispatchPort& port, const std::string& line) noexcept;
