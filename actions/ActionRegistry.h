#pragma once
// The registry of native services and the resolution of action names ("sys.Enc") to calls: a
// service method, or an exported function of a library named after the service.
#include "actions/CustomAttributeUnit.h"
#include "actions/DispatchPorts.h"
#include "foundation/TaggedValue.h"

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Splits "service.action" at the first dot and trims blanks around both parts. False when
// there is no dot or a part is empty.
bool SplitActionName(std::string_view sAction, std::string& service, std::string& method);

class TActionRegistry : public IActionDispatcher {
public:
    TActionRegistry(IDispatchPort& port, IDispatchEnvironment& environment);
    ~TActionRegistry();
    TActionRegistry(const TActionRegistry&) = delete;
    TActionRegistry& operator=(const TActionRegistry&) = delete;

    // Builds the registry from the classes given (or the process-wide list), first service name
    // wins. Run once, before any call and before the task runner starts.
    void InitAllModules(const std::vector<const TServiceClass*>& classes);
    void InitAllModules();
    // Frees every reference (and with it every method table and service instance).
    void Clear();

    // Exact-case look-up; null when the service is not registered.
    TCefActionReference* GetActionReference(const std::string& name);

    // Page call. The caller keeps its own reference to aContext; for CLAsync the task runner
    // holds another until it has answered.
    TCurrentCallerType CallActionFun(const std::string& sAction, const TCallerContextPtr& aContext) override;
    // Call made by the program itself with tagged arguments; the answer, or empty text. Never
    // raises: failures are logged as "CallActionFun 异常：%s".
    std::string CallActionFun(const std::string& sAction, const TVarArgs& Args);

    void BeginCall() override {}
    void EndCall() override {}

    // The library a call of this service is routed to, or empty text.
    std::string FindServiceLibrary(const std::string& service);

    // Where actions of type actASync go; the process-wide runner unless set.
    void SetTaskRunner(ITaskRunner* runner) { FTaskRunner = runner; }
    ITaskRunner& TaskRunner();

    IDispatchPort& Port() { return FPort; }
    IDispatchEnvironment& Environment() { return FEnvironment; }
    size_t Count() const { return FlstActions.size(); }

private:
    IDispatchPort& FPort;
    IDispatchEnvironment& FEnvironment;
    ITaskRunner* FTaskRunner = nullptr;
    std::unordered_map<std::string, std::unique_ptr<TCefActionReference>> FlstActions;
};
