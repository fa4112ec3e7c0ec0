#pragma once
// The push-message client over the library itself (services/ZRPNSApiContract.h), and the default
// that ConsumerHelper() answers when no other has been set.
#include "services/ConsumerHelper.h"

#include <string>

// TConsumerHelper::GetInstance() in the Win32 build; natively a client whose every operation
// answers -1 with kZRPNSNotFound.
IConsumerHelper& DefaultConsumerHelper();

// The message output of every operation when the library is missing.
inline constexpr char kZRPNSNotFound[] = "没有找到ZRPNSApi.dll";

#ifdef _WIN32
#include "foundation/ScopedWin.h"

// The library loaded from its one place (the Windows directory's drive + kZRPNSLibSubPath). Each
// export is looked up by name at every call; a missing library or export, or anything raised
// during a call, comes back as -1 with the message output set (see ConsumerHelper.h). The calls
// that deliver through the callback and the two diagnostic fetches run under one process-wide
// lock.
class TConsumerHelper final : public IConsumerHelper {
public:
    // The process-wide client, created (and the library loaded) on first use; it and the library
    // stay until the program ends.
    static TConsumerHelper& GetInstance();

    // Loads the library from its place now; tests make their own after putting a library there
    // (or taking it away). The library is freed with the object.
    TConsumerHelper();
    TConsumerHelper(const TConsumerHelper&) = delete;
    TConsumerHelper& operator=(const TConsumerHelper&) = delete;
    ~TConsumerHelper() = default;

    bool IsLoaded() const { return FDllHandle.Valid(); }
    // The library's path (UTF-8).
    static std::string LibraryPath();

    int32_t SetCofig(const std::string& ClientID, const std::string& AppID, const std::string& AppSecret,
                     const std::string& AccountType, const std::string& AccountName, const std::string& Token,
                     const std::string& MAC, const std::string& CompanyArray, const std::string& AreaCode,
                     int32_t Interval, int32_t Timeout, std::string& UniRegID,
                     std::string& aFuncParams) override;
    int32_t FetchEx(const std::string& UniRegID, const std::string& bizType, int32_t MsgCount,
                    std::string& JsonArray, int64_t& BeginOffset, int64_t& EndOffset,
                    std::string& aFuncParams, const TMessageFilter& QueryFilter) override;
    int32_t FetchOffsetEx(const std::string& UniRegID, const std::string& bizType, int32_t MsgCount,
                          int64_t Offset, int64_t& EndOffset, std::string& JsonArray,
                          std::string& aFuncParams, const TMessageFilter& QueryFilter) override;
    int32_t SendMsgReceipt(const std::string& UniRegID, int32_t MsgID, int32_t Receipt,
                           std::string& aFuncParams) override;
    void GetLastNetFetchError(const std::string& UniRegID, std::string& ErrorCode,
                              std::string& ErrorMsg) override;
    int32_t HttpRequestFetch(const std::string& UniRegID, std::string& aFuncParams) override;

    // The library's other operations, wrapped the same way (the message centre does not use them).
    // FetchAEx hands the library the current JsonArray and replaces it with the delivered text.
    int32_t FetchAEx(const std::string& UniRegID, const std::string& bizType, int64_t BeginOffset,
                     std::string& JsonArray, int64_t& RetBeginOffset, int64_t& RetEndOffset,
                     int64_t& RetMsgCount, std::string& aFuncParams, const TMessageFilter& QueryFilter);
    int32_t FetchA(const std::string& UniRegID, const std::string& bizType, int64_t BeginOffset,
                   std::string& JsonArray, int64_t& RetBeginOffset, int64_t& RetEndOffset,
                   int64_t& RetMsgCount, std::string& aFuncParams);
    int32_t Fetch(const std::string& UniRegID, const std::string& bizType, int32_t MsgCount,
                  std::string& JsonArray, int64_t& BeginOffset, int64_t& EndOffset, std::string& aFuncParams);
    int32_t FetchOffset(const std::string& UniRegID, const std::string& bizType, int32_t MsgCount,
                        int64_t Offset, int64_t& EndOffset, std::string& JsonArray, std::string& aFuncParams);
    int32_t AttachToMsgDB(const std::string& UniRegID, const std::string& AppID,
                          const std::string& NewReceiver, std::string& aFuncParams);
    int32_t FilterQuery(const std::string& UniRegID, const std::string& KeyValues, std::string& JsonArray,
                        std::string& aFuncParams);

private:
    // One wrapped operation: without the library -1 and kZRPNSNotFound in `output`; otherwise the
    // body, anything it raises becoming -1 and the label followed by the error's message.
    template <class F>
    int32_t Wrapped(const char* label, std::string& output, F&& body) const;
    int32_t FetchAWith(const char* exportName, const std::string& UniRegID, const std::string& bizType,
                       int64_t BeginOffset, std::string& JsonArray, int64_t& RetBeginOffset,
                       int64_t& RetEndOffset, int64_t& RetMsgCount, std::string& aFuncParams,
                       const TMessageFilter* QueryFilter);
    // The export's address; raises naming the library and the export when it has none.
    void* Export(const char* name) const;

    UniqueModule FDllHandle;
};
#endif
