#pragma once
// The push-message client as the message centre uses it: the program's one gateway to the
// push-message library. Every operation answers the library's own code, or -1 with a message
// text when the library is missing or the call failed; nothing is raised. Texts are UTF-8 here.
// The Win32 build implements it over "ZRPNSApi.dll" (TConsumerHelper); tests put a fake in its
// place.
#include <cstdint>
#include <functional>
#include <string>

// The text member of a candidate message by name (UTF-8), empty when it has none.
using TMessageMember = std::function<std::string(const char* name)>;
// Asked for each candidate message during a fetch; true keeps it.
using TMessageFilter = std::function<bool(const TMessageMember& member)>;

class IConsumerHelper {
public:
    virtual int32_t SetCofig(const std::string& ClientID, const std::string& AppID,
                             const std::string& AppSecret, const std::string& AccountType,
                             const std::string& AccountName, const std::string& Token, const std::string& MAC,
                             const std::string& CompanyArray, const std::string& AreaCode, int32_t Interval,
                             int32_t Timeout, std::string& UniRegID, std::string& aFuncParams) = 0;
    virtual int32_t FetchEx(const std::string& UniRegID, const std::string& bizType, int32_t MsgCount,
                            std::string& JsonArray, int64_t& BeginOffset, int64_t& EndOffset,
                            std::string& aFuncParams, const TMessageFilter& QueryFilter) = 0;
    virtual int32_t FetchOffsetEx(const std::string& UniRegID, const std::string& bizType, int32_t MsgCount,
                                  int64_t Offset, int64_t& EndOffset, std::string& JsonArray,
                                  std::string& aFuncParams, const TMessageFilter& QueryFilter) = 0;
    virtual int32_t SendMsgReceipt(const std::string& UniRegID, int32_t MsgID, int32_t Receipt,
                                   std::string& aFuncParams) = 0;
    virtual void GetLastNetFetchError(const std::string& UniRegID, std::string& ErrorCode,
                                      std::string& ErrorMsg) = 0;
    virtual int32_t HttpRequestFetch(const std::string& UniRegID, std::string& aFuncParams) = 0;

protected:
    ~IConsumerHelper() = default;
};

// The process-wide client: TConsumerHelper::GetInstance() in the Win32 build, one whose every
// operation answers -1 ("没有找到ZRPNSApi.dll") natively, unless a test has set another. The
// caller keeps the object alive while it is set; null puts the default back.
IConsumerHelper& ConsumerHelper();
void SetConsumerHelper(IConsumerHelper* helper);
