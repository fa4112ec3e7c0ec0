#include "services/Sys.h"

#include "foundation/AppLog.h"
#include "foundation/Crypto.h"
#include "foundation/RequestSign.h"
#include "foundation/TextCodec.h"
#include "host/HostConfig.h"
#include "host/HostFramework.h"
#include "host/StartTimes.h"

#include <chrono>

namespace {
constexpr char kSysProbeAnswer[] = "这是Test的返回值";

bool HasParams(TCallerContext* aContext) {
    return aContext && aContext->ParamCount() > 0;
}

// The main log; a line it cannot take is lost rather than failing the action.
void WriteMainLog(std::string_view line) {
    try {
        HostFramework().WriteLog(line);
    } catch (...) {
    }
}
} // namespace

std::string TSys::A2(TCallerContext* aContext) {
    std::string failure;
    try {
        if (!HasParams(aContext)) return {};
        const std::string appId =
            HostFramework().GetControlParams("DyncConfig", "DyncParams", "ProductCode", "");
        // Logs its own failure and the exit line, and raises nothing.
        return SignRequest(aContext->ParamStr(0), appId, CurrentLocalTimestampMs, WriteMainLog);
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
    }
    // The product code or the request could not be read: reported like a failed signing.
    WriteMainLog("[TAppAction.HttpRequest] 异常. " + failure);
    WriteMainLog("退出TAppAction.HttpRequest.");
    return {};
}

std::string TSys::EncryptStr(TCallerContext* aContext) {
    try {
        if (!HasParams(aContext)) return {};
        const auto started = std::chrono::steady_clock::now();
        std::string hex = AesEncryptHex(aContext->ParamStrAnsi(0), kSysCipherKey, kAesLengthFramed);
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
        WriteAppLogW(u"Enc耗时：" + Utf8ToUtf16(std::to_string(ms.count())), u"");
        return hex;
    } catch (...) {
        return {};
    }
}

std::string TSys::DecryptStr(TCallerContext* aContext) {
    try {
        if (!HasParams(aContext)) return {};
        return AnsiToUtf8(AesDecryptHex(aContext->ParamStrAnsi(0), kSysCipherKey));
    } catch (...) {
        return {};
    }
}

std::string TSys::Status(TCallerContext* aContext) {
    try {
        if (!HasParams(aContext)) return "0";
        const std::string what = aContext->ParamStr(0);
        if (SameTextAscii(what, "LoadTime")) return std::to_string(StartTimes().LoadTime.load());
        if (SameTextAscii(what, "InitTime")) return std::to_string(StartTimes().InitTime.load());
    } catch (...) {
    }
    return "0";
}

std::string TSys::test(TCallerContext*) {
    return kSysProbeAnswer;
}

bool TSys::InitEnvironment(TCallerContext*) {
    return true;
}

const TServiceClass& SysServiceClass() {
    static const TServiceClass cls =
        MakeServiceClass<TSys>("TSys", "sys",
                               {
                                   {"InitEnvironment", &TSys::InitEnvironment, {"", actALL}},
                                   {"A2", &TSys::A2, {"", actASync}},
                                   {"EncryptStr", &TSys::EncryptStr, {"Enc", actASync}},
                                   {"DecryptStr", &TSys::DecryptStr, {"Dec", actASync}},
                                   {"Status", &TSys::Status, {"", actASync}},
                                   {"test", &TSys::test, {"", actASync}},
                               });
    return cls;
}
