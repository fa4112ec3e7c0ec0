#include "host/HostFramework.h"
#include "host/QeltContext.h"

namespace {
// Until the framework binding is wired in, answers are the defaults the library would give.
class TInertFramework final : public IHostFramework {
public:
    std::string GetControlParams(std::string_view, std::string_view, std::string_view,
                                 std::string_view defaultValue) override {
        return std::string(defaultValue);
    }
    bool SetControlParams(std::string_view, std::string_view, std::string_view, std::string_view) override {
        return false;
    }
    void WriteLog(std::string_view) override {}
    void ShowForm(uintptr_t) override {}
    void* AppFrameworkInterface() override { return nullptr; }
};

class TInertPort final : public IDispatchPort {
public:
    TFwRef<IAppContext> GetAppContext() override { return {}; }
    void AppendParams(IJsCallerInf&, const TVarArgs&) override {}
    bool CallJsFunction(int32_t, int32_t, const std::string&) override { return false; }
    bool CallRegisterFun(const std::string&, const TVarArgs&) override { return false; }
    void WriteLog(const std::string&) override {}
};
} // namespace

IHostFramework& DefaultHostFramework() {
    static TInertFramework inert;
    return inert;
}

IDispatchPort& DefaultDispatchPort() {
    static TInertPort inert;
    return inert;
}
