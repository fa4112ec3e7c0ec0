// The native build has no push-message library: every operation answers as the Win32 client does
// when the library is missing.
#include "services/ConsumerHelperLibrary.h"

namespace {

class TMissingConsumerHelper final : public IConsumerHelper {
public:
    int32_t SetCofig(const std::string&, const std::string&, const std::string&, const std::string&,
                     const std::string&, const std::string&, const std::string&, const std::string&,
                     const std::string&, int32_t, int32_t, std::string&, std::string& aFuncParams) override {
        return Missing(aFuncParams);
    }
    int32_t FetchEx(const std::string&, const std::string&, int32_t, std::string&, int64_t&, int64_t&,
                    std::string& aFuncParams, const TMessageFilter&) override {
        return Missing(aFuncParams);
    }
    int32_t FetchOffsetEx(const std::string&, const std::string&, int32_t, int64_t, int64_t&, std::string&,
                          std::string& aFuncParams, const TMessageFilter&) override {
        return Missing(aFuncParams);
    }
    int32_t SendMsgReceipt(const std::string&, int32_t, int32_t, std::string& aFuncParams) override {
        return Missing(aFuncParams);
    }
    void GetLastNetFetchError(const std::string&, std::string& ErrorCode, std::string& ErrorMsg) override {
        ErrorCode.clear();
        Missing(ErrorMsg);
    }
    int32_t HttpRequestFetch(const std::string&, std::string& aFuncParams) override {
        return Missing(aFuncParams);
    }

private:
    static int32_t Missing(std::string& output) {
        output = kZRPNSNotFound;
        return -1;
    }
};

} // namespace

IConsumerHelper& DefaultConsumerHelper() {
    static TMissingConsumerHelper helper;
    return helper;
}
