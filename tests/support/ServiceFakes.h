#pragma once
// Fakes shared by the service and host tests.
#include "actions/CustomAttributeUnit.h"
#include "actions/LibraryCall.h"
#include "host/HostFramework.h"

#include <map>
#include <string>
#include <string_view>

// Framework control parameters from a map keyed "type/section/key"; a missing key gives the default.
class TFakeControlParams final : public IHostFramework {
public:
    std::map<std::string, std::string> Values;
    std::string GetControlParams(std::string_view t, std::string_view s, std::string_view k,
                                 std::string_view def) override {
        auto it = Values.find(std::string(t) + "/" + std::string(s) + "/" + std::string(k));
        return it == Values.end() ? std::string(def) : it->second;
    }
    bool SetControlParams(std::string_view, std::string_view, std::string_view, std::string_view) override {
        return false;
    }
    void WriteLog(std::string_view) override {}
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
