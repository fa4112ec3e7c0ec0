// Stand-in for the push-message library (test equipment), by services/ZRPNSApiContract.h. Exports
// SetConfig, FetchEx, FetchOffsetEx, SendMsgReceipt, GetLastNetFetchError and HttpRequestFetch;
// built with STUB_WITHOUT_FETCH_OFFSET_EX it lacks FetchOffsetEx.
//
// Its store is the JSON file named by APPFRAME_STUB_PNS_STORE (else "ZRPNSApi.json" beside the
// library), read afresh at every call:
//   {"registrationId":"...",        SetConfig's answer (default "REG-" + the client id)
//    "messageText":"...",           written to the message buffer of a successful call ("ok")
//    "netError":{"code":"...","message":"..."},   the last network error, when there is one
//    "messages":{"<type>":[{"msgId":1,"bizType":"<type>",...,"offset":N}, ...]}}
// A message's offset is its "offset" member, else its position in the list counted from 1.
//
// SetConfig checks its arguments (client id, application id, token, area code of six characters,
// positive interval and time-out, both buffers) and registers the client; the other calls answer
// 1002 for an identifier it did not answer. A fetch takes the messages of the comma-separated
// types after the begin offset in list order, asks the filter about each candidate until it has
// kept the count, delivers the kept ones as one JSON array through the callback (not called when
// none was kept) and sets the offsets to the first and last candidate's. The delivered text is
// overwritten and freed as soon as the callback returns. Texts are written into a buffer up to
// its size, with a terminating zero only when there is room for one.
//
// Every call is recorded as one JSON line with a "kind" in the file named by
// APPFRAME_STUB_PNS_TRANSCRIPT (else "ZRPNSApi.jsonl" beside the library), texts as UTF-8.
#include "../StubCommon/StubLog.h"

#include "foundation/Abi.h"
#include "foundation/Json.h"
#include "foundation/ScopedWin.h"
#include "foundation/TextCodec.h"
#include "services/ZRPNSApiContract.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#define STUB_EXPORT extern "C" __declspec(dllexport)

namespace {

const int kAnchor = 0;
constexpr int32_t kBadArgument = 1001;
constexpr int32_t kNotRegistered = 1002;
constexpr int32_t kUnknownMessage = 1003;
constexpr int32_t kNetworkFailed = 1004;

CriticalSection& StateLock() {
    static CriticalSection* lock = new CriticalSection(); // outlives every caller thread
    return *lock;
}
std::set<std::string>& Registered() {
    static std::set<std::string>* ids = new std::set<std::string>();
    return *ids;
}

template <class F>
int32_t Guarded(F&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return -2;
    }
}

std::string Text(const char16_t* s) {
    return s ? Utf16ToUtf8(std::u16string_view(s)) : std::string();
}

void Record(const char* kind, const JsonRef& fields) {
    try {
        JsonRef line = NewJsonObject();
        line->PutS("kind", kind);
        for (const std::string& key : fields->Keys())
            line->PutO(key, fields->GetO(key));
        const std::wstring file = stub::LogFile(L"APPFRAME_STUB_PNS_TRANSCRIPT", L"ZRPNSApi.jsonl", &kAnchor);
        CriticalSectionLock guard(StateLock());
        stub::AppendLine(file, PrintJson(line));
    } catch (...) {
    }
}

JsonRef Store() {
    JsonRef doc =
        ParseJson(stub::ReadFileText(stub::LogFile(L"APPFRAME_STUB_PNS_STORE", L"ZRPNSApi.json", &kAnchor)));
    return doc && doc->IsType(stObject) ? doc : NewJsonObject();
}

// Writes up to `chars` characters into the buffer *slot points at; a zero only when there is room.
void Fill(char16_t** slot, size_t chars, const std::string& utf8) {
    if (slot == nullptr || *slot == nullptr) return;
    const std::u16string text = Utf8ToUtf16(utf8);
    const size_t n = std::min(text.size(), chars);
    std::memcpy(*slot, text.data(), n * sizeof(char16_t));
    if (n < chars) (*slot)[n] = u'\0';
}

bool IsRegistered(const std::string& id) {
    CriticalSectionLock guard(StateLock());
    return Registered().count(id) != 0;
}

// Answers kNotRegistered (recorded, with the message) for an unknown identifier.
bool CheckRegistered(const std::string& id, char16_t** messageBuffer, const JsonRef& call) {
    if (IsRegistered(id)) return true;
    call->PutI("result", kNotRegistered);
    Fill(messageBuffer, kZRPNSMessageChars, "未注册的客户端");
    return false;
}

std::string MessageText(const JsonRef& store) {
    const JsonRef v = store->GetO("messageText");
    return v ? v->AsString() : "ok";
}

// A candidate message as the filter sees it; lives on the stack for one filter call.
class TMessage final : public IZRPNSMessage {
public:
    explicit TMessage(JsonRef msg) : FMsg(std::move(msg)) {}
    TFwHResult APPFRAME_STDCALL QueryInterface(const TFwGuid& iid, void** object) override {
        if (!object) return kFwENoInterface;
        *object = (iid == IID_IFwUnknown || iid == IID_IZRPNSMessage) ? this : nullptr;
        return *object ? kFwSOk : kFwENoInterface;
    }
    uint32_t APPFRAME_STDCALL AddRef() override { return 2; }
    uint32_t APPFRAME_STDCALL Release() override { return 1; }
    void APPFRAME_STDCALL GetValue(const char16_t* name, char16_t** result) override {
        try {
            const JsonRef v = FMsg->GetO(Text(name));
            PasWideAssign(result, Utf8ToUtf16(!v                    ? std::string()
                                              : v->IsType(stString) ? v->AsString()
                                                                    : PrintJson(v)));
        } catch (...) {
        }
    }

private:
    JsonRef FMsg;
};

// The fetch shared by the exports: candidates after `after`, the filter asked, the kept ones
// delivered. The offsets of the first and last candidate go to *first / *last.
void Fetch(const JsonRef& store, const std::string& types, int32_t count, int64_t after,
           TZRPNSDeliverProc deliver, const void* datum, TZRPNSQueryFilter filter, int64_t* first,
           int64_t* last, const JsonRef& call) {
    JsonRef kept = NewJsonArray();
    JsonRef asked = NewJsonArray();
    const JsonRef messages = store->GetO("messages");
    size_t start = 0;
    while (messages && start <= types.size() && static_cast<int32_t>(kept->Length()) < count) {
        size_t comma = types.find(',', start);
        if (comma == std::string::npos) comma = types.size();
        const JsonRef list = messages->GetO(types.substr(start, comma - start));
        for (size_t i = 0; list && i < list->Length() && static_cast<int32_t>(kept->Length()) < count; ++i) {
            const JsonRef msg = list->O(i);
            const int64_t offset = msg->GetO("offset") ? msg->GetI("offset") : static_cast<int64_t>(i + 1);
            if (offset <= after) continue;
            if (first && asked->Length() == 0) *first = offset;
            if (last) *last = offset;
            TMessage candidate(msg);
            const bool keep = filter == nullptr || IsTrue(filter(&candidate));
            JsonRef q = NewJsonObject();
            q->PutI("msgId", msg->GetI("msgId"));
            q->PutB("kept", keep);
            asked->Add(q);
            if (keep) kept->Add(msg);
        }
        start = comma + 1;
    }
    call->PutO("asked", asked);
    if (kept->Length() == 0) return;
    const std::string text = PrintJson(kept);
    call->PutS("delivered", text);
    // The library's own text: scribbled over and freed once the callback has returned.
    char16_t* owned = PasWideAlloc(Utf8ToUtf16(text));
    if (deliver) deliver(owned, datum);
    for (char16_t* p = owned; p && *p; ++p)
        *p = u'#';
    PasWideFree(owned);
}

} // namespace

STUB_EXPORT int32_t __stdcall SetConfig(const char16_t* clientId, const char16_t* appId,
                                        const char16_t* appSecret, const char16_t* accountType,
                                        const char16_t* accountName, const char16_t* token,
                                        const char16_t* mac, const char16_t* companyArray,
                                        const char16_t* areaCode, int32_t interval, int32_t timeout,
                                        char16_t** uniRegIdBuffer, char16_t** messageBuffer) {
    return Guarded([&] {
        JsonRef call = NewJsonObject();
        const char* names[] = {"clientId", "appId", "appSecret",    "accountType", "accountName",
                               "token",    "mac",   "companyArray", "areaCode"};
        const char16_t* values[] = {clientId, appId, appSecret,    accountType, accountName,
                                    token,    mac,   companyArray, areaCode};
        for (size_t i = 0; i < 9; ++i)
            call->PutS(names[i], Text(values[i]));
        call->PutI("interval", interval);
        call->PutI("timeout", timeout);
        std::string bad;
        if (Text(clientId).empty())
            bad = "clientId";
        else if (Text(appId).empty())
            bad = "appId";
        else if (Text(token).empty())
            bad = "token";
        else if (Utf8ToUtf16(Text(areaCode)).size() != 6)
            bad = "areaCode";
        else if (interval <= 0)
            bad = "interval";
        else if (timeout <= 0)
            bad = "timeout";
        else if (!uniRegIdBuffer || !*uniRegIdBuffer || !messageBuffer || !*messageBuffer)
            bad = "buffer";
        int32_t result = 0;
        if (!bad.empty()) {
            result = kBadArgument;
            Fill(messageBuffer, kZRPNSMessageChars, "参数错误：" + bad);
        } else {
            const JsonRef store = Store();
            const JsonRef fixed = store->GetO("registrationId");
            const std::string id = fixed ? fixed->AsString() : "REG-" + Text(clientId);
            // What the caller can read back: the identifier as it fits the buffer.
            const std::u16string wide = Utf8ToUtf16(id);
            const std::string registered =
                Utf16ToUtf8(std::u16string_view(wide).substr(0, std::min(wide.size(), kZRPNSRegIdChars)));
            {
                CriticalSectionLock guard(StateLock());
                Registered().insert(registered);
            }
            Fill(uniRegIdBuffer, kZRPNSRegIdChars, id);
            Fill(messageBuffer, kZRPNSMessageChars, MessageText(store));
            call->PutS("uniRegId", registered);
        }
        call->PutI("result", result);
        Record("SetConfig", call);
        return result;
    });
}

STUB_EXPORT int32_t __stdcall FetchEx(const char16_t* uniRegId, const char16_t* bizType, int32_t msgCount,
                                      TZRPNSDeliverProc deliver, const void* datum, int64_t* beginOffset,
                                      int64_t* endOffset, char16_t** messageBuffer,
                                      TZRPNSQueryFilter filter) {
    return Guarded([&] {
        JsonRef call = NewJsonObject();
        call->PutS("uniRegId", Text(uniRegId));
        call->PutS("bizType", Text(bizType));
        call->PutI("msgCount", msgCount);
        call->PutI("beginOffset", beginOffset ? *beginOffset : -1);
        call->PutB("filter", filter != nullptr);
        int32_t result = kNotRegistered;
        if (CheckRegistered(Text(uniRegId), messageBuffer, call)) {
            const JsonRef store = Store();
            Fetch(store, Text(bizType), msgCount, beginOffset ? *beginOffset : 0, deliver, datum, filter,
                  beginOffset, endOffset, call);
            Fill(messageBuffer, kZRPNSMessageChars, MessageText(store));
            result = 0;
        }
        call->PutI("result", result);
        Record("FetchEx", call);
        return result;
    });
}

#ifndef STUB_WITHOUT_FETCH_OFFSET_EX
STUB_EXPORT
#endif
int32_t __stdcall FetchOffsetEx(const char16_t* uniRegId, const char16_t* bizType, int32_t msgCount,
                                int64_t offset, TZRPNSDeliverProc deliver, const void* datum,
                                int64_t* endOffset, char16_t** messageBuffer, TZRPNSQueryFilter filter) {
    return Guarded([&] {
        JsonRef call = NewJsonObject();
        call->PutS("uniRegId", Text(uniRegId));
        call->PutS("bizType", Text(bizType));
        call->PutI("msgCount", msgCount);
        call->PutI("offset", offset);
        call->PutB("filter", filter != nullptr);
        int32_t result = kNotRegistered;
        if (CheckRegistered(Text(uniRegId), messageBuffer, call)) {
            const JsonRef store = Store();
            Fetch(store, Text(bizType), msgCount, offset, deliver, datum, filter, nullptr, endOffset, call);
            Fill(messageBuffer, kZRPNSMessageChars, MessageText(store));
            result = 0;
        }
        call->PutI("result", result);
        Record("FetchOffsetEx", call);
        return result;
    });
}

STUB_EXPORT int32_t __stdcall SendMsgReceipt(const char16_t* uniRegId, int32_t msgId, int32_t receipt,
                                             char16_t** messageBuffer) {
    return Guarded([&] {
        JsonRef call = NewJsonObject();
        call->PutS("uniRegId", Text(uniRegId));
        call->PutI("msgId", msgId);
        call->PutI("receipt", receipt);
        int32_t result = kNotRegistered;
        if (CheckRegistered(Text(uniRegId), messageBuffer, call)) {
            const JsonRef store = Store();
            bool known = false;
            const JsonRef messages = store->GetO("messages");
            for (const std::string& type : messages ? messages->Keys() : std::vector<std::string>()) {
                const JsonRef list = messages->GetO(type);
                for (size_t i = 0; list && i < list->Length(); ++i)
                    known = known || list->O(i)->GetI("msgId") == msgId;
            }
            result = known ? 0 : kUnknownMessage;
            Fill(messageBuffer, kZRPNSMessageChars, known ? MessageText(store) : "消息不存在");
        }
        call->PutI("result", result);
        Record("SendMsgReceipt", call);
        return result;
    });
}

STUB_EXPORT void __stdcall GetLastNetFetchError(const char16_t* uniRegId, char16_t** codeBuffer,
                                                char16_t** messageBuffer) {
    Guarded([&] {
        JsonRef call = NewJsonObject();
        call->PutS("uniRegId", Text(uniRegId));
        const JsonRef error = Store()->GetO("netError");
        if (error) {
            Fill(codeBuffer, kZRPNSMessageChars, error->GetS("code"));
            Fill(messageBuffer, kZRPNSMessageChars, error->GetS("message"));
        }
        call->PutB("netError", error != nullptr);
        Record("GetLastNetFetchError", call);
        return 0;
    });
}

STUB_EXPORT int32_t __stdcall HttpRequestFetch(const char16_t* uniRegId, char16_t** messageBuffer) {
    return Guarded([&] {
        JsonRef call = NewJsonObject();
        call->PutS("uniRegId", Text(uniRegId));
        int32_t result = kNotRegistered;
        if (CheckRegistered(Text(uniRegId), messageBuffer, call)) {
            const JsonRef store = Store();
            const JsonRef error = store->GetO("netError");
            result = error ? kNetworkFailed : 0;
            Fill(messageBuffer, kZRPNSMessageChars, error ? error->GetS("message") : MessageText(store));
        }
        call->PutI("result", result);
        Record("HttpRequestFetch", call);
        return result;
    });
}
