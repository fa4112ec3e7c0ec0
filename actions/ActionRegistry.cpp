#include "actions/ActionRegistry.h"

#include "actions/AsyncTasks.h"

#include <exception>

namespace {

// Blanks as the rest of the program trims them: every control character and the space.
bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string_view Trim(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool HasDrive(std::string_view path) {
    return path.size() >= 2 && path[1] == ':';
}

} // namespace

bool SplitActionName(std::string_view sAction, std::string& service, std::string& method) {
    const size_t dot = sAction.find('.');
    if (dot == std::string_view::npos) return false;
    std::string_view servicePart = Trim(sAction.substr(0, dot));
    std::string_view methodPart = Trim(sAction.substr(dot + 1));
    if (servicePart.empty() || methodPart.empty()) return false;
    service.assign(servicePart);
    method.assign(methodPart);
    return true;
}

TActionRegistry::TActionRegistry(IDispatchPort& port, IDispatchEnvironment& environment)
    : FPort(port), FEnvironment(environment) {}

TActionRegistry::~TActionRegistry() = default;

void TActionRegistry::InitAllModules() {
    InitAllModules(RegisteredServiceClasses());
}

void TActionRegistry::InitAllModules(const std::vector<const TServiceClass*>& classes) {
    for (const TServiceClass* cls : classes) {
        if (!cls || cls->Attributes.empty()) continue;
        const std::string& nameSpace = cls->Attributes.front().FNameSpace;
        auto reference = std::make_unique<TCefActionReference>(nameSpace, cls, *this);
        for (const TServiceMethod& method : cls->Methods) {
            for (const CefActionMethod& attribute : method.Attributes) {
                const std::string& exportName = attribute.FMethod.empty() ? method.Name : attribute.FMethod;
                reference->AddActionMethod(exportName, method.Name, attribute.FType);
            }
        }
        // The first class of a service name keeps it.
        FlstActions.emplace(nameSpace, std::move(reference));
    }
}

void TActionRegistry::Clear() {
    FlstActions.clear();
}

TCefActionReference* TActionRegistry::GetActionReference(const std::string& name) {
    try {
        auto found = FlstActions.find(name);
        return found == FlstActions.end() ? nullptr : found->second.get();
    } catch (const std::exception& e) {
        FEnvironment.ShowMessage(std::string("GetActionReference 异常：") + e.what());
        return nullptr;
    }
}

ITaskRunner& TActionRegistry::TaskRunner() {
    return FTaskRunner ? *FTaskRunner : GetAsyRunTask();
}

std::string TActionRegistry::FindServiceLibrary(const std::string& service) {
    const std::string name = service + ".dll";
    if (HasDrive(name) && FEnvironment.FileExists(name)) return name;

    std::string inFolder = FEnvironment.ProgramFolder();
    if (name.front() != '\\') inFolder += '\\';
    inFolder += name;
    if (FEnvironment.FileExists(inFolder)) return inFolder;

    // Only a genuinely relative name is looked for in the current directory: a page must not make
    // the program load a library from a network share ("\\host\share\x").
    if (!HasDrive(name) && !IsSeparator(name.front()) && FEnvironment.FileExists(name)) return name;

    std::string modulePath = FEnvironment.ExtModulePath(service);
    if (!modulePath.empty() && FEnvironment.FileExists(modulePath)) return modulePath;
    return {};
}

TCurrentCallerType TActionRegistry::CallActionFun(const std::string& sAction,
                                                  const TCallerContextPtr& aContext) {
    std::string service;
    std::string method;
    if (!SplitActionName(sAction, service, method)) return CLError;

    const std::string library = FindServiceLibrary(service);
    if (!library.empty()) {
        // The library function reads its path and name from the context; without one it cannot run.
        if (!aContext) return CLError;
        aContext->SetValue("path", library);
        aContext->SetValue("funName", method);
        TCefActionReference* app = GetActionReference("app");
        if (!app) return CLError;
        return app->CallActionFun("DllFun", aContext);
    }

    TCefActionReference* reference = GetActionReference(service);
    if (!reference) return CLError;
    return reference->CallActionFun(method, aContext);
}

std::string TActionRegistry::CallActionFun(const std::string& sAction, const TVarArgs& Args) {
    try {
        TCallerContextPtr context;
        {
            TFwRef<IAppContext> fresh = FPort.GetAppContext();
            context = TCallerContext::Create(fresh.Get());
        }
        FPort.AppendParams(*ContextParams(*context->AppContext()), Args);
        if (CallActionFun(sAction, context) == CLSync) return context->FRetValue;
    } catch (const std::exception& e) {
        WriteMainLog(FPort, FormatLogLine("CallActionFun 异常：%s", {e.what()}));
    } catch (...) {
        WriteMainLog(FPort, FormatLogLine("CallActionFun 异常：%s", {"unknown exception"}));
    }
    return {};
}
