#pragma once
// Fakes shared by the service and host tests.
#include "actions/CustomAttributeUnit.h"
#include "actions/LibraryCall.h"
#include "actions/ActionRegistry.h"
#include "foundation/TextCodec.h"
#include "host/HostFramework.h"
#include "support/FakeAppContext.h"

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Framework control parameters from a map keyed "type/section/key"; a missing key gives the default,
// a key in Failing raises. Main-log lines are kept in Log.
class TFakeControlParams final : public IHostFramework {
public:
    std::map<std::string, std::string> Values;
    std::set<std::string> Failing;
    std::vector<std::string> Log;
    std::string GetControlParams(std::string_view t, std::string_view s, std::string_view k,
                                 std::string_view def) override {
        const std::string key = std::string(t) + "/" + std::string(s) + "/" + std::string(k);
        if (Failing.count(key)) throw std::runtime_error("cannot read " + key);
        auto it = Values.find(key);
        return it == Values.end() ? std::string(def) : it->second;
    }
    bool SetControlParams(std::string_view, std::string_view, std::string_view, std::string_view) override {
        return false;
    }
    void WriteLog(std::string_view line) override { Log.emplace_back(line); }
    void ShowForm(uintptr_t) override {}
    void* AppFrameworkInterface() override { return nullptr; }
};

// A stand-in "app" service with only the routing target of library calls.
class TRoutingApp : public TActionService {
public:
    std::string DllFun(TCallerContext* aContext) { return CallLibraryFunction(aContext); }
};

inline const TServiceClass& RoutingAppClass() {
    static const TServiceClass cls = MakeServiceClass<TRoutingApp>(
        "TRoutingApp", "app", {{"DllFun", &TRoutingApp::DllFun, {"", actASync}}});
    return cls;
}

// A dispatch with no page behind it, no files, and a runner that only keeps the names of the
// methods handed to the background.
class TNoPort final : public IDispatchPort {
public:
    TFwRef<IAppContext> GetAppContext() override { return TFwRef<IAppContext>(TFakeAppContext::Create()); }
    void AppendParams(IJsCallerInf& params, const TVarArgs& args) override {
        for (const TVarRec& a : args)
            params.AddStrParam(jptText, Utf8ToAnsi(a.VText).c_str());
    }
    bool CallJsFunction(int32_t, int32_t, const std::string&) override { return false; }
    bool CallRegisterFun(const std::string&, const TVarArgs&) override { return false; }
    void WriteLog(const std::string&) override {}
};

class TNoFiles final : public IDispatchEnvironment {
public:
    bool FileExists(const std::string&) override { return false; }
    std::string ProgramFolder() override { return "Z:\\nowhere\\"; }
    std::string ExtModulePath(const std::string&) override { return {}; }
    void ShowMessage(const std::string&) override {}
};

class TKeepTasks final : public ITaskRunner {
public:
    std::vector<std::string> Methods;
    bool AppendTask(TActionService*, PMethodInfo info, TCallerContextPtr, const TServiceClass*) override {
        Methods.push_back(info->sRealFunName);
        return true;
    }
};
