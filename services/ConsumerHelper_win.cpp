#include "services/ConsumerHelperLibrary.h"

#include "foundation/ForeignCall.h"
#include "foundation/TextCodec.h"
#include "services/ZRPNSApiContract.h"
#include "webbridge/AppFrameworkContract.h"

#include <windows.h>

#include <exception>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

// Serialises the calls that deliver through the callback (the delivered text and the current
// filter below are single process-wide variables) and the two diagnostic fetches.
CriticalSection gCallLock;
// Held by gCallLock's owner only.
std::u16string gDelivered;
const TMessageFilter* gFilter = nullptr;

// The datum handed to every callback-delivering export: the empty text.
constexpr char16_t kEmptyDatum[] = u"";

// A buffer the library fills, handed over as the address of the variable holding its address.
class TLibBuffer {
public:
    explicit TLibBuffer(size_t chars) : FData(chars, u'\0'), FAddress(FData.data()) {}
    char16_t** Slot() { return &FAddress; }
    // Up to the first zero character, never past the end: the library may fill the buffer to the
    // last byte without a terminating zero.
    std::string Utf8() const {
        size_t n = 0;
        while (n < FData.size() && FData[n] != u'\0')
            ++n;
        return Utf16ToUtf8(std::u16string_view(FData.data(), n));
    }

private:
    std::vector<char16_t> FData;
    char16_t* FAddress;
};

// The library's text is valid only during the call: copied here, under gCallLock.
void APPFRAME_STDCALL Deliver(const char16_t* text, const void*) noexcept {
    try {
        gDelivered = text ? std::u16string(text) : std::u16string();
    } catch (...) {
        gDelivered.clear();
    }
}

// A wide-string result variable, freed when it goes.
struct TWideResult {
    char16_t* Value = nullptr;
    TWideResult() = default;
    TWideResult(const TWideResult&) = delete;
    TWideResult& operator=(const TWideResult&) = delete;
    ~TWideResult() { PasWideFree(Value); }
};

// The library's filter function over the current TMessageFilter. A message whose reading fails
// is kept: nothing raised may cross into the library.
TPasBool APPFRAME_STDCALL FilterMessage(IZRPNSMessage* message) noexcept {
    try {
        if (gFilter == nullptr || !*gFilter || message == nullptr) return kPasTrue;
        const TMessageMember member = [message](const char* name) {
            const std::u16string wideName = Utf8ToUtf16(name ? name : "");
            TWideResult value;
            CallForeign(&IZRPNSMessage::GetValue, message, wideName.c_str(), &value.Value);
            return Utf16ToUtf8(PasWideView(value.Value));
        };
        return PasBool((*gFilter)(member));
    } catch (const std::exception& e) {
        OutputDebugStringW(Widen(std::string("TConsumerHelper.QueryFilter") + e.what()).c_str());
    } catch (...) {
        OutputDebugStringW(L"TConsumerHelper.QueryFilter");
    }
    return kPasTrue;
}

// Holds gCallLock for one callback-delivering call: the delivered text starts empty and the
// filter is the caller's until the call ends.
class TDeliveringCall {
public:
    explicit TDeliveringCall(const TMessageFilter* filter) : FLock(gCallLock) {
        gDelivered.clear();
        gFilter = filter;
    }
    ~TDeliveringCall() {
        gFilter = nullptr;
        gDelivered.clear();
    }
    TDeliveringCall(const TDeliveringCall&) = delete;
    TDeliveringCall& operator=(const TDeliveringCall&) = delete;
    std::string Delivered() const { return Utf16ToUtf8(gDelivered); }
    TZRPNSQueryFilter Filter() const { return gFilter != nullptr && *gFilter ? &FilterMessage : nullptr; }

private:
    CriticalSectionLock FLock;
};

// The label directly followed by the error's message.
std::string ErrorText(const char* label, const std::exception* e) {
    return std::string(label) + (e ? e->what() : "unknown error");
}

// Runs a wrapped call: -1 and the label with the error's text in `output` when anything raises.
template <class F>
int32_t Guarded(const char* label, std::string& output, F&& body) noexcept {
    try {
        try {
            return body();
        } catch (const std::exception& e) {
            output = ErrorText(label, &e);
        } catch (...) {
            output = ErrorText(label, nullptr);
        }
    } catch (...) {
        // Even the message could not be made.
    }
    return -1;
}

} // namespace

template <class F>
int32_t TConsumerHelper::Wrapped(const char* label, std::string& output, F&& body) const {
    if (!IsLoaded()) {
        output = kZRPNSNotFound;
        return -1;
    }
    return Guarded(label, output, std::forward<F>(body));
}

IConsumerHelper& DefaultConsumerHelper() {
    return TConsumerHelper::GetInstance();
}

TConsumerHelper& TConsumerHelper::GetInstance() {
    static TConsumerHelper instance;
    return instance;
}

std::string TConsumerHelper::LibraryPath() {
    wchar_t windowsFolder[MAX_PATH + 1] = {};
    const UINT n = GetWindowsDirectoryW(windowsFolder, MAX_PATH + 1);
    const std::wstring drive = n >= 2 && windowsFolder[1] == L':' ? std::wstring(windowsFolder, 2) : L"C:";
    return Narrow(drive) + Utf16ToUtf8(kZRPNSLibSubPath);
}

TConsumerHelper::TConsumerHelper() {
    try {
        FDllHandle.Reset(LoadLibraryW(Widen(LibraryPath()).c_str()));
    } catch (...) {
        // No library: every operation answers kZRPNSNotFound.
    }
}

void* TConsumerHelper::Export(const char* name) const {
    FARPROC address = GetProcAddress(FDllHandle.Get(), name);
    if (address == nullptr)
        throw std::runtime_error(LibraryPath() + kFwErrOfFunction + name + kFwErrNotFound);
    return reinterpret_cast<void*>(address);
}

int32_t TConsumerHelper::SetCofig(const std::string& ClientID, const std::string& AppID,
                                  const std::string& AppSecret, const std::string& AccountType,
                                  const std::string& AccountName, const std::string& Token,
                                  const std::string& MAC, const std::string& CompanyArray,
                                  const std::string& AreaCode, int32_t Interval, int32_t Timeout,
                                  std::string& UniRegID, std::string& aFuncParams) {
    return Wrapped("TConsumerHelper.SetCofig", aFuncParams, [&] {
        const std::u16string texts[] = {
            Utf8ToUtf16(ClientID),    Utf8ToUtf16(AppID),        Utf8ToUtf16(AppSecret),
            Utf8ToUtf16(AccountType), Utf8ToUtf16(AccountName),  Utf8ToUtf16(Token),
            Utf8ToUtf16(MAC),         Utf8ToUtf16(CompanyArray), Utf8ToUtf16(AreaCode)};
        TLibBuffer regId(kZRPNSRegIdChars);
        TLibBuffer message(kZRPNSMessageChars);
        OutputDebugStringW(L"SetCofig start");
        const auto fn = reinterpret_cast<TZRPNSSetConfig>(Export(kZRPNSExpSetConfig));
        const int32_t result =
            CallForeign(fn, texts[0].c_str(), texts[1].c_str(), texts[2].c_str(), texts[3].c_str(),
                        texts[4].c_str(), texts[5].c_str(), texts[6].c_str(), texts[7].c_str(),
                        texts[8].c_str(), Interval, Timeout, regId.Slot(), message.Slot());
        UniRegID = regId.Utf8();
        aFuncParams = message.Utf8();
        return result;
    });
}

int32_t TConsumerHelper::FetchEx(const std::string& UniRegID, const std::string& bizType, int32_t MsgCount,
                                 std::string& JsonArray, int64_t& BeginOffset, int64_t& EndOffset,
                                 std::string& aFuncParams, const TMessageFilter& QueryFilter) {
    return Wrapped("TConsumerHelper.Fetch", aFuncParams, [&] {
        const std::u16string regId = Utf8ToUtf16(UniRegID);
        const std::u16string types = Utf8ToUtf16(bizType);
        TDeliveringCall call(&QueryFilter);
        TLibBuffer message(kZRPNSMessageChars);
        const auto fn = reinterpret_cast<TZRPNSFetchEx>(Export(kZRPNSExpFetchEx));
        const int32_t result = CallForeign(fn, regId.c_str(), types.c_str(), MsgCount, &Deliver, kEmptyDatum,
                                           &BeginOffset, &EndOffset, message.Slot(), call.Filter());
        aFuncParams = message.Utf8();
        JsonArray = call.Delivered();
        return result;
    });
}

int32_t TConsumerHelper::FetchOffsetEx(const std::string& UniRegID, const std::string& bizType,
                                       int32_t MsgCount, int64_t Offset, int64_t& EndOffset,
                                       std::string& JsonArray, std::string& aFuncParams,
                                       const TMessageFilter& QueryFilter) {
    return Wrapped("TConsumerHelper.FetchOffset", aFuncParams, [&] {
        const std::u16string regId = Utf8ToUtf16(UniRegID);
        const std::u16string types = Utf8ToUtf16(bizType);
        TDeliveringCall call(&QueryFilter);
        TLibBuffer message(kZRPNSMessageChars);
        const auto fn = reinterpret_cast<TZRPNSFetchOffsetEx>(Export(kZRPNSExpFetchOffsetEx));
        const int32_t result = CallForeign(fn, regId.c_str(), types.c_str(), MsgCount, Offset, &Deliver,
                                           kEmptyDatum, &EndOffset, message.Slot(), call.Filter());
        JsonArray = call.Delivered();
        aFuncParams = message.Utf8();
        return result;
    });
}

int32_t TConsumerHelper::SendMsgReceipt(const std::string& UniRegID, int32_t MsgID, int32_t Receipt,
                                        std::string& aFuncParams) {
    return Wrapped("TConsumerHelper.SendMsgReceipt", aFuncParams, [&] {
        const std::u16string regId = Utf8ToUtf16(UniRegID);
        TLibBuffer message(kZRPNSMessageChars);
        const auto fn = reinterpret_cast<TZRPNSSendMsgReceipt>(Export(kZRPNSExpSendMsgReceipt));
        const int32_t result = CallForeign(fn, regId.c_str(), MsgID, Receipt, message.Slot());
        aFuncParams = message.Utf8();
        return result;
    });
}

void TConsumerHelper::GetLastNetFetchError(const std::string& UniRegID, std::string& ErrorCode,
                                           std::string& ErrorMsg) {
    ErrorCode.clear();
    ErrorMsg.clear();
    if (!IsLoaded()) {
        ErrorMsg = kZRPNSNotFound;
        return;
    }
    Guarded("TConsumerHelper.GetLastNetFetchError", ErrorMsg, [&] {
        const std::u16string regId = Utf8ToUtf16(UniRegID);
        CriticalSectionLock lock(gCallLock);
        TLibBuffer code(kZRPNSMessageChars);
        TLibBuffer message(kZRPNSMessageChars);
        const auto fn = reinterpret_cast<TZRPNSGetLastNetFetchError>(Export(kZRPNSExpGetLastNetFetchError));
        CallForeign(fn, regId.c_str(), code.Slot(), message.Slot());
        ErrorCode = code.Utf8();
        ErrorMsg = message.Utf8();
        return 0;
    });
}

int32_t TConsumerHelper::HttpRequestFetch(const std::string& UniRegID, std::string& aFuncParams) {
    return Wrapped("TConsumerHelper.HttpRequestFetch", aFuncParams, [&] {
        const std::u16string regId = Utf8ToUtf16(UniRegID);
        CriticalSectionLock lock(gCallLock);
        TLibBuffer message(kZRPNSMessageChars);
        const auto fn = reinterpret_cast<TZRPNSHttpRequestFetch>(Export(kZRPNSExpHttpRequestFetch));
        const int32_t result = CallForeign(fn, regId.c_str(), message.Slot());
        aFuncParams = message.Utf8();
        return result;
    });
}

int32_t TConsumerHelper::FetchAEx(const std::string& UniRegID, const std::string& bizType,
                                  int64_t BeginOffset, std::string& JsonArray, int64_t& RetBeginOffset,
                                  int64_t& RetEndOffset, int64_t& RetMsgCount, std::string& aFuncParams,
                                  const TMessageFilter& QueryFilter) {
    return FetchAWith(kZRPNSExpFetchAEx, UniRegID, bizType, BeginOffset, JsonArray, RetBeginOffset,
                      RetEndOffset, RetMsgCount, aFuncParams, &QueryFilter);
}

int32_t TConsumerHelper::FetchA(const std::string& UniRegID, const std::string& bizType, int64_t BeginOffset,
                                std::string& JsonArray, int64_t& RetBeginOffset, int64_t& RetEndOffset,
                                int64_t& RetMsgCount, std::string& aFuncParams) {
    return FetchAWith(kZRPNSExpFetchA, UniRegID, bizType, BeginOffset, JsonArray, RetBeginOffset,
                      RetEndOffset, RetMsgCount, aFuncParams, nullptr);
}

int32_t TConsumerHelper::FetchAWith(const char* exportName, const std::string& UniRegID,
                                    const std::string& bizType, int64_t BeginOffset, std::string& JsonArray,
                                    int64_t& RetBeginOffset, int64_t& RetEndOffset, int64_t& RetMsgCount,
                                    std::string& aFuncParams, const TMessageFilter* QueryFilter) {
    return Wrapped("TConsumerHelper.FetchA", aFuncParams, [&] {
        const std::u16string regId = Utf8ToUtf16(UniRegID);
        const std::u16string types = Utf8ToUtf16(bizType);
        const std::u16string current = Utf8ToUtf16(JsonArray);
        TDeliveringCall call(QueryFilter);
        TLibBuffer message(kZRPNSMessageChars);
        const auto fn = reinterpret_cast<TZRPNSFetchAEx>(Export(exportName));
        const int32_t result =
            CallForeign(fn, regId.c_str(), types.c_str(), BeginOffset, &Deliver, current.c_str(),
                        &RetBeginOffset, &RetEndOffset, &RetMsgCount, message.Slot(), call.Filter());
        JsonArray = call.Delivered();
        aFuncParams = message.Utf8();
        return result;
    });
}

int32_t TConsumerHelper::Fetch(const std::string& UniRegID, const std::string& bizType, int32_t MsgCount,
                               std::string& JsonArray, int64_t& BeginOffset, int64_t& EndOffset,
                               std::string& aFuncParams) {
    return Wrapped("TConsumerHelper.Fetch", aFuncParams, [&] {
        const std::u16string regId = Utf8ToUtf16(UniRegID);
        const std::u16string types = Utf8ToUtf16(bizType);
        TDeliveringCall call(nullptr);
        TLibBuffer message(kZRPNSMessageChars);
        const auto fn = reinterpret_cast<TZRPNSFetch>(Export(kZRPNSExpFetch));
        const int32_t result = CallForeign(fn, regId.c_str(), types.c_str(), MsgCount, &Deliver, kEmptyDatum,
                                           &BeginOffset, &EndOffset, message.Slot());
        aFuncParams = message.Utf8();
        JsonArray = call.Delivered();
        return result;
    });
}

int32_t TConsumerHelper::FetchOffset(const std::string& UniRegID, const std::string& bizType,
                                     int32_t MsgCount, int64_t Offset, int64_t& EndOffset,
                                     std::string& JsonArray, std::string& aFuncParams) {
    return Wrapped("TConsumerHelper.FetchOffset", aFuncParams, [&] {
        const std::u16string regId = Utf8ToUtf16(UniRegID);
        const std::u16string types = Utf8ToUtf16(bizType);
        TDeliveringCall call(nullptr);
        TLibBuffer message(kZRPNSMessageChars);
        const auto fn = reinterpret_cast<TZRPNSFetchOffset>(Export(kZRPNSExpFetchOffset));
        const int32_t result = CallForeign(fn, regId.c_str(), types.c_str(), MsgCount, Offset, &Deliver,
                                           kEmptyDatum, &EndOffset, message.Slot());
        JsonArray = call.Delivered();
        aFuncParams = message.Utf8();
        return result;
    });
}

int32_t TConsumerHelper::AttachToMsgDB(const std::string& UniRegID, const std::string& AppID,
                                       const std::string& NewReceiver, std::string& aFuncParams) {
    return Wrapped("TConsumerHelper.AttachToMsgDB", aFuncParams, [&] {
        const std::u16string regId = Utf8ToUtf16(UniRegID);
        const std::u16string appId = Utf8ToUtf16(AppID);
        const std::u16string receiver = Utf8ToUtf16(NewReceiver);
        TLibBuffer message(kZRPNSMessageChars);
        const auto fn = reinterpret_cast<TZRPNSAttachToMsgDB>(Export(kZRPNSExpAttachToMsgDB));
        const int32_t result =
            CallForeign(fn, regId.c_str(), appId.c_str(), receiver.c_str(), message.Slot());
        aFuncParams = message.Utf8();
        return result;
    });
}

int32_t TConsumerHelper::FilterQuery(const std::string& UniRegID, const std::string& KeyValues,
                                     std::string& JsonArray, std::string& aFuncParams) {
    return Wrapped("TConsumerHelper.FilterQuery", aFuncParams, [&] {
        const std::u16string regId = Utf8ToUtf16(UniRegID);
        const std::u16string keyValues = Utf8ToUtf16(KeyValues);
        TDeliveringCall call(nullptr);
        TLibBuffer message(kZRPNSMessageChars);
        const auto fn = reinterpret_cast<TZRPNSFilterQuery>(Export(kZRPNSExpFilterQuery));
        const int32_t result =
            CallForeign(fn, regId.c_str(), keyValues.c_str(), &Deliver, kEmptyDatum, message.Slot());
        JsonArray = call.Delivered();
        aFuncParams = message.Utf8();
        return result;
    });
}
