#include "host/HostFramework.h"

#include "foundation/AppLog.h"
#include "host/QeltContext.h"
#include "webbridge/AppFramework.h"
#include "webbridge/JsCaller.h"

namespace {

// The main log goes through the framework; when the library cannot take the line, the daily log
// keeps it. The line is passed as an argument so a '%' in it is never read as a format.
void WriteMainLogLine(std::string_view line) noexcept {
    try {
        GetAppFramework().WriteLog("%s", TVarArgs{TVarRec::Text(line)});
        return;
    } catch (...) {
    }
    WriteAppLog(line);
}

class TBindingFramework final : public IHostFramework {
public:
    std::string GetControlParams(std::string_view cfgType, std::string_view section, std::string_view key,
                                 std::string_view defaultValue) override {
        return GetAppFramework().GetControlParams(cfgType, section, key, defaultValue);
    }
    bool SetControlParams(std::string_view cfgType, std::string_view section, std::string_view key,
                          std::string_view value) override {
        return GetAppFramework().SetControlParams(cfgType, section, key, value);
    }
    void WriteLog(std::string_view utf8Line) override { WriteMainLogLine(utf8Line); }
    void ShowForm(uintptr_t window) override { GetAppFramework().ShowForm(window); }
    void* AppFrameworkInterface() override { return GetAppFramework().Intf(); }
};

class TBindingPort final : public IDispatchPort {
public:
    TFwRef<IAppContext> GetAppContext() override { return GetAppFramework().GetAppContext(); }
    void AppendParams(IJsCallerInf& params, const TVarArgs& args) override {
        GetAppFramework().JsCaller().TranParamToJsCallerInf(args, &params);
    }
    bool CallJsFunction(int32_t webId, int32_t callerNo, const std::string& answer) override {
        return GetAppFramework().JsCaller().CallJsFunction(webId, callerNo, std::string_view(answer));
    }
    bool CallRegisterFun(const std::string& funName, const TVarArgs& args) override {
        return GetAppFramework().JsCaller().CallRegisterFun(funName, args);
    }
    void WriteLog(const std::string& line) override { WriteMainLogLine(line); }
};

} // namespace

IHostFramework& DefaultHostFramework() {
    static TBindingFramework binding;
    return binding;
}

IDispatchPort& DefaultDispatchPort() {
    static TBindingPort binding;
    return binding;
}
