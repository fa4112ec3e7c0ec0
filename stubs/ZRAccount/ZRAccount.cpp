// Stand-in for the account library (test equipment), by services/ZRAccountContract.h.
//
// Loading it registers the window class kZRAccountClassName (wide, for the main module) whose
// window-procedure field holds the address of the registration record; unloading unregisters it.
// With APPFRAME_STUB_ACCOUNT_NOCLASS=1 it loads without registering the class.
//
// Accounts come from the JSON file named by APPFRAME_STUB_ACCOUNTS (else "ZRAccount.json" beside
// the library), read afresh for every log-in:
//   {"accounts":[{"loginName":"...","password":"...","accountId":"...","token":"...",
//                 "userInfo":{...}}],
//    "refuse":{"<loginName>":"<reason>"}}
// Login accepts a known name with its password (unless "refuse" names it); CreateLoginUser takes
// a login-information document ({"loginInfo":{...}} or the inner object) whose "accountId" names
// a known account, its members overriding the account's token and user information.
//
// Every call is recorded as one JSON line with a "kind" in the file named by
// APPFRAME_STUB_ACCOUNT_TRANSCRIPT (else "ZRAccount.jsonl" beside the library), texts as UTF-8.
#include "../StubCommon/StubLog.h"

#include "foundation/Abi.h"
#include "foundation/Json.h"
#include "foundation/ScopedWin.h"
#include "foundation/TextCodec.h"
#include "services/ZRAccountContract.h"

#include <atomic>
#include <cstring>
#include <string>
#include <utility>

static_assert(sizeof(void*) == 4, "the registration record is laid out for 32-bit pointers");

namespace {

const int kAnchor = 0;
constexpr char kWrongCredentials[] = "用户名或密码错误";

// Identifies this library's own user objects behind an IZRAUser handed back by the program.
// {3B7F0C52-9A1E-4D2B-8F60-6C1A2E9D4B73}
constexpr TFwGuid kStubUserIid = {
    0x3B7F0C52, 0x9A1E, 0x4D2B, {0x8F, 0x60, 0x6C, 0x1A, 0x2E, 0x9D, 0x4B, 0x73}};

// A Boolean result as an Object Pascal library leaves it: the answer in AL, garbage above it.
TPasBool StubBool(bool value) {
    return static_cast<TPasBool>(value ? 0x5A5A5A01u : 0xFFFFFF00u);
}

// Runs a slot's body; nothing escapes into the caller.
template <class F>
void Guarded(F&& body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

std::string Text(const char16_t* s) {
    return s ? Utf16ToUtf8(std::u16string_view(s)) : std::string();
}

void Answer(char16_t** result, const std::string& utf8) {
    PasWideAssign(result, Utf8ToUtf16(utf8));
}

CriticalSection& TranscriptLock() {
    static CriticalSection* lock = new CriticalSection(); // outlives every caller thread
    return *lock;
}

void Record(const char* kind, const JsonRef& fields = nullptr) {
    Guarded([&] {
        JsonRef line = NewJsonObject();
        line->PutS("kind", kind);
        if (fields)
            for (const std::string& key : fields->Keys())
                line->PutO(key, fields->GetO(key));
        const std::wstring file =
            stub::LogFile(L"APPFRAME_STUB_ACCOUNT_TRANSCRIPT", L"ZRAccount.jsonl", &kAnchor);
        CriticalSectionLock guard(TranscriptLock());
        stub::AppendLine(file, PrintJson(line));
    });
}

// The accounts fixture, or an empty object when it is missing or unreadable.
JsonRef Fixture() {
    JsonRef doc =
        ParseJson(stub::ReadFileText(stub::LogFile(L"APPFRAME_STUB_ACCOUNTS", L"ZRAccount.json", &kAnchor)));
    return doc && doc->IsType(stObject) ? doc : NewJsonObject();
}

// The fixture's account whose member `key` is `value`.
JsonRef FindAccount(const JsonRef& fixture, const char* key, const std::string& value) {
    JsonRef accounts = fixture->GetO("accounts");
    if (!accounts || !accounts->IsType(stArray)) return nullptr;
    for (size_t i = 0; i < accounts->Length(); ++i) {
        JsonRef a = accounts->O(i);
        if (a && a->IsType(stObject) && a->GetS(key) == value) return a;
    }
    return nullptr;
}

// A deep copy of an object member, or an empty object.
JsonRef CopyObject(const JsonRef& v) {
    JsonRef copy = v && v->IsType(stObject) ? ParseJson(PrintJson(v)) : nullptr;
    return copy ? copy : NewJsonObject();
}

// ---- Objects -------------------------------------------------------------------------------------

// The counting every object of the library does. Objects made for a caller start with the creator's
// reference (handed to the caller) and are freed at the last release; the library's own two
// objects live as long as it does and only keep the count. Every object answers for IFwUnknown
// and IZRABase, and for `extraIid` when one is given.
template <class Intf, bool Owned>
class TStubObject : public Intf {
public:
    explicit TStubObject(const TFwGuid* extraIid = nullptr) : FExtraIid(extraIid) {}

    TFwHResult APPFRAME_STDCALL QueryInterface(const TFwGuid& iid, void** object) override {
        if (!object) return kFwENoInterface;
        const bool known = iid == IID_IFwUnknown || iid == IID_IZRABase || (FExtraIid && iid == *FExtraIid);
        *object = known ? this : nullptr;
        if (!known) return kFwENoInterface;
        AddRef();
        return kFwSOk;
    }
    uint32_t APPFRAME_STDCALL AddRef() override { return ++FRefs; }
    uint32_t APPFRAME_STDCALL Release() override {
        const uint32_t left = --FRefs;
        if (Owned && left == 0) delete this;
        return left;
    }

protected:
    virtual ~TStubObject() = default;

private:
    std::atomic<uint32_t> FRefs{1};
    const TFwGuid* FExtraIid;
};

// ---- Error ----------------------------------------------------------------------------------------

class TError final : public TStubObject<IZRAError, true> {
public:
    explicit TError(std::string text) : FText(std::move(text)) {}

    void APPFRAME_STDCALL GetErrorText(char16_t** result) override {
        Guarded([&] {
            JsonRef f = NewJsonObject();
            f->PutS("result", FText);
            Record("getErrorText", f);
            Answer(result, FText);
        });
    }

private:
    const std::string FText;
};

// ---- User -----------------------------------------------------------------------------------------

class TUser final : public TStubObject<IZRAUser, true> {
public:
    TUser(std::string accountId, std::string loginName, std::string token, const JsonRef& info)
        : TStubObject(&kStubUserIid), FAccountId(std::move(accountId)), FLoginName(std::move(loginName)),
          FToken(std::move(token)) {
        if (!info->GetO("accountId")) info->PutS("accountId", FAccountId);
        if (!info->GetO("loginName")) info->PutS("loginName", FLoginName);
        FInfo = PrintJson(info);
    }
    const std::string& AccountId() const { return FAccountId; }

    void APPFRAME_STDCALL GetUserInfo(char16_t** result) override { Give("getUserInfo", FInfo, result); }
    void APPFRAME_STDCALL GetToken(char16_t** result) override { Give("getToken", FToken, result); }
    void APPFRAME_STDCALL GetAccountId(char16_t** result) override {
        Give("getAccountId", FAccountId, result);
    }
    void APPFRAME_STDCALL Refresh() override {
        Guarded([&] {
            JsonRef f = NewJsonObject();
            f->PutS("accountId", FAccountId);
            Record("refresh", f);
        });
    }

private:
    void Give(const char* kind, const std::string& text, char16_t** result) {
        Guarded([&] {
            JsonRef f = NewJsonObject();
            f->PutS("accountId", FAccountId);
            f->PutS("result", text);
            Record(kind, f);
            Answer(result, text);
        });
    }

    const std::string FAccountId;
    const std::string FLoginName;
    const std::string FToken;
    std::string FInfo; // compact JSON
};

// The account id of one of our users; null for nil or somebody else's object.
JsonRef UserId(IZRAUser* user) {
    if (!user) return NewJsonNull();
    void* own = nullptr;
    if (user->QueryInterface(kStubUserIid, &own) != kFwSOk || !own) return NewJsonNull();
    TUser* ours = static_cast<TUser*>(static_cast<IZRAUser*>(own));
    JsonRef id = NewJsonString(ours->AccountId());
    ours->Release();
    return id;
}

// ---- Login manager and account (one each per process) ----------------------------------------------

class TLoginManager final : public TStubObject<IZRALoginManager, false> {
public:
    TPasBool APPFRAME_STDCALL IsLoggedIn() override {
        bool loggedIn = false;
        Guarded([&] {
            {
                CriticalSectionLock guard(FLock);
                loggedIn = FCurrent != nullptr;
            }
            JsonRef f = NewJsonObject();
            f->PutB("result", loggedIn);
            Record("isLoggedIn", f);
        });
        return StubBool(loggedIn);
    }
    void APPFRAME_STDCALL GetCurrentUser(IZRAUser** result) override {
        Guarded([&] {
            TFwRef<IZRAUser> user;
            {
                CriticalSectionLock guard(FLock);
                if (FCurrent) FCurrent->AddRef();
                user = TFwRef<IZRAUser>(FCurrent);
            }
            JsonRef f = NewJsonObject();
            f->PutO("user", UserId(user.Get()));
            Record("getCurrentUser", f);
            StoreOwned(result, std::move(user));
        });
    }
    void APPFRAME_STDCALL SetAppID(const char16_t* appId) override {
        Guarded([&] {
            const std::string id = Text(appId);
            {
                CriticalSectionLock guard(FLock);
                FAppId = id;
            }
            JsonRef f = NewJsonObject();
            f->PutS("appId", id);
            Record("setAppID", f);
        });
    }
    void APPFRAME_STDCALL SetCurrentUser(IZRAUser* user) override {
        Guarded([&] {
            JsonRef f = NewJsonObject();
            f->PutO("user", UserId(user));
            Record("setCurrentUser", f);
            if (user) user->AddRef();
            Replace(user);
        });
    }

    // Stores `user` (a reference already taken) and releases the one it replaces.
    void Replace(IZRAUser* user) {
        IZRAUser* old = nullptr;
        {
            CriticalSectionLock guard(FLock);
            old = FCurrent;
            FCurrent = user;
        }
        if (old) old->Release();
    }

private:
    CriticalSection FLock;
    IZRAUser* FCurrent = nullptr; // a reference of ours
    std::string FAppId;
};

class TAccount final : public TStubObject<IZRAccount, false> {
public:
    TLoginManager& Manager() { return FManager; }

    void APPFRAME_STDCALL GetLoginManager(IZRALoginManager** result) override {
        Guarded([&] {
            Record("getLoginManager");
            StoreInterface<IZRALoginManager>(result, &FManager);
        });
    }
    void APPFRAME_STDCALL InitApp(const char16_t* appId, const char16_t* productKey,
                                  const char16_t* webRoot) override {
        Guarded([&] {
            JsonRef f = NewJsonObject();
            f->PutS("appId", Text(appId));
            f->PutS("productKey", Text(productKey));
            f->PutS("webRoot", Text(webRoot));
            Record("initApp", f);
        });
    }
    void APPFRAME_STDCALL Login(const char16_t* loginName, const char16_t* password, IZRAError** error,
                                IZRAUser** user) override {
        Guarded([&] {
            const std::string name = Text(loginName);
            const std::string pass = Text(password);
            const JsonRef fixture = Fixture();
            const JsonRef account = FindAccount(fixture, "loginName", name);
            const JsonRef refuse = fixture->GetO("refuse");
            std::string reason;
            if (refuse && refuse->IsType(stObject) && refuse->GetO(name))
                reason = refuse->GetS(name);
            else if (!account || account->GetS("password") != pass)
                reason = kWrongCredentials;
            const bool accepted = reason.empty();

            JsonRef f = NewJsonObject();
            f->PutS("loginName", name);
            f->PutS("password", pass);
            f->PutB("accepted", accepted);
            if (!accepted) f->PutS("error", reason);
            Record("login", f);

            if (accepted) {
                StoreInterface<IZRAError>(error, nullptr);
                StoreOwned(
                    user, TFwRef<IZRAUser>(new TUser(account->GetS("accountId"), name, account->GetS("token"),
                                                     CopyObject(account->GetO("userInfo")))));
            } else {
                StoreInterface<IZRAUser>(user, nullptr);
                StoreOwned(error, TFwRef<IZRAError>(new TError(reason)));
            }
        });
    }
    void APPFRAME_STDCALL CreateLoginUser(const char16_t* loginInfo, IZRAUser** user) override {
        Guarded([&] {
            const std::string text = Text(loginInfo);
            JsonRef info = ParseJson(text);
            if (info && info->IsType(stObject)) {
                JsonRef inner = info->GetO("loginInfo");
                if (inner && inner->IsType(stObject)) info = inner;
            } else {
                info = nullptr;
            }
            const std::string accountId = info ? info->GetS("accountId") : std::string();
            const JsonRef account = info ? FindAccount(Fixture(), "accountId", accountId) : nullptr;

            JsonRef f = NewJsonObject();
            f->PutS("loginInfo", text);
            f->PutB("accepted", account != nullptr);
            if (account) f->PutS("accountId", accountId);
            Record("createLoginUser", f);

            if (!account) {
                StoreInterface<IZRAUser>(user, nullptr);
                return;
            }
            JsonRef userInfo = CopyObject(account->GetO("userInfo"));
            for (const std::string& key : info->Keys())
                userInfo->PutO(key, info->GetO(key));
            const std::string token = info->GetS("token");
            const std::string name = info->GetS("loginName");
            StoreOwned(user,
                       TFwRef<IZRAUser>(new TUser(accountId, name.empty() ? account->GetS("loginName") : name,
                                                  token.empty() ? account->GetS("token") : token, userInfo)));
        });
    }

private:
    TLoginManager FManager;
};

TAccount& Account() {
    static TAccount* account = new TAccount(); // gone with the library's memory, never destroyed
    return *account;
}

// ---- Registration record --------------------------------------------------------------------------

uintptr_t GRecord[8] = {};
bool GClassRegistered = false;

JsonRef RecordCall(void** recordVar, uintptr_t instance) {
    JsonRef f = NewJsonObject();
    f->PutI("instance", static_cast<int64_t>(instance));
    f->PutB("recordVar", recordVar != nullptr && *recordVar == static_cast<void*>(GRecord));
    return f;
}

void APPFRAME_STDCALL InitProc(void** recordVar, uintptr_t instance) {
    Guarded([&] { Record("init", RecordCall(recordVar, instance)); });
}

void APPFRAME_STDCALL DoneProc(void** recordVar, uintptr_t instance) {
    Guarded([&] { Record("done", RecordCall(recordVar, instance)); });
}

void APPFRAME_STDCALL GetAccountProc(void* record, IZRAccount** result) {
    Guarded([&] {
        JsonRef f = NewJsonObject();
        f->PutB("record", record == static_cast<void*>(GRecord));
        Record("getAccount", f);
        StoreInterface<IZRAccount>(result, &Account());
    });
}

void PutEntry(size_t offset, const void* value) {
    std::memcpy(reinterpret_cast<char*>(GRecord) + offset, &value, sizeof value);
}

void Publish() {
    static_assert(sizeof GRecord >= kZRAccountRecordMinSize, "record size");
    PutEntry(kZRAccountInitOffset, reinterpret_cast<const void*>(&InitProc));
    PutEntry(kZRAccountDoneOffset, reinterpret_cast<const void*>(&DoneProc));
    PutEntry(kZRAccountGetOffset, reinterpret_cast<const void*>(&GetAccountProc));
    if (stub::EnvVar(L"APPFRAME_STUB_ACCOUNT_NOCLASS") == L"1") return;
    WNDCLASSW wc = {};
    wc.lpfnWndProc = reinterpret_cast<WNDPROC>(reinterpret_cast<uintptr_t>(GRecord));
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kZRAccountClassName;
    GClassRegistered = RegisterClassW(&wc) != 0;
}

} // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        Guarded(Publish);
    } else if (reason == DLL_PROCESS_DETACH) {
        if (GClassRegistered) UnregisterClassW(kZRAccountClassName, GetModuleHandleW(nullptr));
        GClassRegistered = false;
        if (reserved == nullptr) Guarded([] { Account().Manager().Replace(nullptr); }); // FreeLibrary
    }
    return TRUE;
}
