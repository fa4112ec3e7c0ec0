// Stand-in AppFramework.dll: control parameters, contexts, logging, transcript and the exports
// that need no window.
#include "StubState.h"

#include "PageHost.h"

#include "foundation/TextCodec.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

HINSTANCE GInstance = nullptr;

std::string Str(const char* s) {
    return s ? std::string(s) : std::string();
}

std::string BesideDll(const char* fileName) {
    wchar_t buf[MAX_PATH * 2] = {};
    DWORD n = GetModuleFileNameW(GInstance, buf, MAX_PATH * 2);
    std::wstring path(buf, n);
    size_t slash = path.find_last_of(L"\\/");
    path.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return Narrow(path) + fileName;
}

void AppendFile(const std::string& pathUtf8, const std::string& bytes) {
    FILE* f = _wfopen(Widen(pathUtf8).c_str(), L"ab");
    if (!f) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

void LoadParamsLocked(TStubState& s) {
    s.Params.clear();
    s.Results.clear();
    s.PageFunctions.clear();
    s.Loaded = true;
    std::string path = StubEnv(L"APPFRAME_STUB_PARAMS");
    if (path.empty()) path = BesideDll("AppFramework.params.json");
    bool ok = false;
    JsonRef doc = ParseJson(ReadUtf8File(path, ok));
    if (!ok || !doc || !doc->IsType(stObject)) return;
    if (JsonRef types = doc->GetO("params"); types && types->IsType(stObject)) {
        for (const std::string& type : types->Keys()) {
            JsonRef sections = types->GetO(type);
            if (!sections || !sections->IsType(stObject)) continue;
            for (const std::string& section : sections->Keys()) {
                JsonRef keys = sections->GetO(section);
                if (!keys || !keys->IsType(stObject)) continue;
                for (const std::string& key : keys->Keys())
                    s.Params[{Utf8ToAnsi(type), Utf8ToAnsi(section), Utf8ToAnsi(key)}] =
                        Utf8ToAnsi(keys->GetS(key));
            }
        }
    }
    if (JsonRef funs = doc->GetO("pageFunctions"); funs && funs->IsType(stArray))
        for (size_t i = 0; i < funs->Length(); ++i)
            s.PageFunctions[Utf8ToAnsi(funs->S(i))] = 0;
    if (JsonRef results = doc->GetO("results"); results && results->IsType(stObject))
        for (const std::string& name : results->Keys())
            s.Results[name] = results->GetB(name);
}

bool ResultSwitch(const char* name) {
    StubEnsureLoaded();
    TStubState& s = Stub();
    CriticalSectionLock lock(s.Lock);
    auto it = s.Results.find(name);
    return it == s.Results.end() || it->second;
}

// A Boolean result as an Object Pascal library leaves it: the answer in AL, garbage above it.
TPasBool StubBool(bool value) {
    return static_cast<TPasBool>(value ? 0x5A5A5A01u : 0xFFFFFF00u);
}

void CopyToBuffer(const std::string& text, char* buffer, size_t size) {
    size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
}

// Dummy control-parameter object: the program calls none of its operations.
class TStubControlParams final : public IControlParamsInf {
public:
    TFwHResult APPFRAME_STDCALL QueryInterface(const TFwGuid& iid, void** object) override {
        if (!object) return kFwENoInterface;
        *object = (iid == IID_IFwUnknown || iid == IID_IControlParamsInf) ? this : nullptr;
        return *object ? kFwSOk : kFwENoInterface;
    }
    uint32_t APPFRAME_STDCALL AddRef() override { return 1; }
    uint32_t APPFRAME_STDCALL Release() override { return 1; }
};

} // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) GInstance = instance;
    return TRUE;
}

TStubState& Stub() {
    static TStubState* state = new TStubState(); // outlives every window and thread
    return *state;
}

HINSTANCE StubInstance() {
    return GInstance;
}

void StubEnsureLoaded() {
    TStubState& s = Stub();
    CriticalSectionLock lock(s.Lock);
    if (!s.Loaded) LoadParamsLocked(s);
}

std::string StubEnv(const wchar_t* name) {
    wchar_t buf[4096];
    DWORD n = GetEnvironmentVariableW(name, buf, 4096);
    if (n == 0 || n >= 4096) return {};
    return Narrow(std::wstring(buf, n));
}

std::string ReadUtf8File(const std::string& pathUtf8, bool& ok) {
    ok = false;
    std::string text;
    if (pathUtf8.empty()) return text;
    FILE* f = _wfopen(Widen(pathUtf8).c_str(), L"rb");
    if (!f) return text;
    char buf[8192];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    std::fclose(f);
    ok = true;
    return text;
}

std::string A2U(const char* ansi) {
    return ansi ? AnsiToUtf8(ansi) : std::string();
}

int64_t H(HWND h) {
    return static_cast<int64_t>(reinterpret_cast<uintptr_t>(h));
}

void Transcript(const char* kind, JsonRef fields) {
    try {
        std::string path = StubEnv(L"APPFRAME_STUB_TRANSCRIPT");
        if (path.empty()) return;
        JsonRef line = NewJsonObject();
        line->PutS("kind", kind);
        if (fields)
            for (const std::string& key : fields->Keys())
                line->PutO(key, fields->GetO(key));
        TStubState& s = Stub();
        CriticalSectionLock lock(s.Lock);
        AppendFile(path, PrintJson(line) + "\n");
    } catch (const std::exception&) {
        // a lost transcript line shows up as a failed expectation in the test that reads it
    }
}

TFakeAppContext* NewStubContext(int32_t callerNo, int32_t webId, const std::string& funNameAnsi) {
    TFakeAppContext* ctx = TFakeAppContext::Create(callerNo, webId, funNameAnsi);
    ctx->SetResultHook([](TFakeAppContext& c, const std::string& text) {
        JsonRef f = NewJsonObject();
        f->PutI("callerNo", c.CallerNo());
        f->PutI("webId", c.WebID());
        f->PutS("name", AnsiToUtf8(c.FunName()));
        f->PutS("text", AnsiToUtf8(text));
        Transcript("result", f);
    });
    return ctx;
}

// ---- exports without windows ----

STUB_EXPORT TPasBool APPFRAME_STDCALL GetControlParams(const char* pCfgType, const char* pSession,
                                                       const char* pKey, const char* pDef, char* pRetValue) {
    if (!pRetValue) return StubBool(false);
    if (!ResultSwitch("GetControlParams")) return StubBool(false); // a library that answers nothing at all
    StubEnsureLoaded();
    TStubState& s = Stub();
    std::string value;
    {
        CriticalSectionLock lock(s.Lock);
        auto it = s.Params.find({Str(pCfgType), Str(pSession), Str(pKey)});
        if (it != s.Params.end())
            value = it->second;
        else if (pDef)
            value = pDef;
        else
            return StubBool(false);
    }
    CopyToBuffer(value, pRetValue, kControlParamsBufferSize);
    return StubBool(true);
}

STUB_EXPORT TPasBool APPFRAME_STDCALL SetControlParams(const char* pCfgType, const char* pSession,
                                                       const char* pKey, const char* pValue) {
    StubEnsureLoaded();
    {
        TStubState& s = Stub();
        CriticalSectionLock lock(s.Lock);
        s.Params[{Str(pCfgType), Str(pSession), Str(pKey)}] = Str(pValue);
    }
    JsonRef f = NewJsonObject();
    f->PutS("cfgType", A2U(pCfgType));
    f->PutS("section", A2U(pSession));
    f->PutS("key", A2U(pKey));
    f->PutS("value", A2U(pValue));
    Transcript("setControlParams", f);
    return StubBool(true);
}

STUB_EXPORT void APPFRAME_STDCALL GetCallerParamInf(IControlParamsInf** result) {
    static TStubControlParams params;
    StoreInterface<IControlParamsInf>(result, &params);
}

STUB_EXPORT void APPFRAME_STDCALL GetAppContext(IAppContext** result) {
    StoreOwned(result, TFwRef<IAppContext>(NewStubContext(0, 0, std::string())));
}

STUB_EXPORT void APPFRAME_STDCALL WriteLog(const char* sMsg) {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    TStubState& s = Stub();
    CriticalSectionLock lock(s.Lock);
    // Kept open for the life of the process: the host writes several lines per page call, and
    // opening the file for each one would dominate the round trip being measured.
    static FILE* log = _wfopen(Widen(BesideDll("AppFramework.log")).c_str(), L"ab");
    if (!log) return;
    const std::string line = stamp + Str(sMsg) + "\r\n";
    std::fwrite(line.data(), 1, line.size(), log);
    std::fflush(log);
}

STUB_EXPORT TPasBool APPFRAME_STDCALL UpdateApp(const char* pEntryNames, int32_t aInstallType) {
    JsonRef f = NewJsonObject();
    f->PutS("entries", A2U(pEntryNames));
    f->PutI("installType", aInstallType);
    Transcript("updateApp", f);
    return StubBool(ResultSwitch("UpdateApp"));
}

// The answer is a counted string of this library's own heap (reference count 1), taken back by
// FreeCountedString.
STUB_EXPORT TPasBool APPFRAME_STDCALL UrlRequest(const char* sUrl, uint32_t, char** sRetData) {
    if (!sRetData) return StubBool(false);
    *sRetData = nullptr;
    const std::string url(PasAnsiView(sUrl));
    StubEnsureLoaded();
    std::string answer;
    {
        TStubState& s = Stub();
        CriticalSectionLock lock(s.Lock);
        auto it = s.Params.find({"StubUrls", "answers", url});
        if (it == s.Params.end()) return StubBool(false);
        answer = it->second;
    }
    const TPasStrRec rec{0, 1, 1, static_cast<int32_t>(answer.size())};
    char* block = static_cast<char*>(std::malloc(sizeof rec + answer.size() + 1));
    if (!block) return StubBool(false);
    std::memcpy(block, &rec, sizeof rec);
    std::memcpy(block + sizeof rec, answer.data(), answer.size());
    block[sizeof rec + answer.size()] = 0;
    *sRetData = block + sizeof rec;
    return StubBool(true);
}

STUB_EXPORT void APPFRAME_STDCALL FreeCountedString(char** s) {
    if (!s || !*s) return;
    std::free(*s - sizeof(TPasStrRec));
    *s = nullptr;
}

STUB_EXPORT TPasBool APPFRAME_STDCALL RegContext(const char* sContextName, void* pContent) {
    if (!sContextName) return StubBool(false);
    TStubState& s = Stub();
    CriticalSectionLock lock(s.Lock);
    s.Contexts[sContextName] = pContent;
    return StubBool(true);
}

STUB_EXPORT TPasBool APPFRAME_STDCALL UnRegContext(const char* sContextName, void* pContent) {
    TStubState& s = Stub();
    CriticalSectionLock lock(s.Lock);
    auto it = s.Contexts.find(Str(sContextName));
    if (it == s.Contexts.end() || it->second != pContent) return StubBool(false);
    s.Contexts.erase(it);
    return StubBool(true);
}

STUB_EXPORT void* APPFRAME_STDCALL GetContext(const char* sContextName) {
    TStubState& s = Stub();
    CriticalSectionLock lock(s.Lock);
    auto it = s.Contexts.find(Str(sContextName));
    return it == s.Contexts.end() ? nullptr : it->second;
}

static TPasBool CallPageFunction(const char* aFunName, IJsCallerInf* aParams) {
    StubEnsureLoaded();
    std::string name = Str(aFunName);
    bool found;
    if (PageHostEnabled()) {
        found = PageHostCallFunction(name, aParams ? AnsiToUtf8(Str(aParams->ParamText())) : std::string());
    } else {
        TStubState& s = Stub();
        CriticalSectionLock lock(s.Lock);
        auto it = s.PageFunctions.find(name);
        found = it != s.PageFunctions.end() && GetTickCount64() >= it->second;
    }
    JsonRef params = NewJsonObject();
    params->PutO("paramTypes", NewJsonArray());
    params->PutO("paramValues", NewJsonArray());
    if (aParams) {
        JsonRef sent = ParseJson(AnsiToUtf8(Str(aParams->ParamText())));
        if (sent && sent->IsType(stObject)) {
            if (JsonRef t = sent->GetO("paramTypes")) params->PutO("paramTypes", t);
            if (JsonRef v = sent->GetO("paramValues")) params->PutO("paramValues", v);
        }
    }
    JsonRef f = NewJsonObject();
    f->PutS("name", AnsiToUtf8(name));
    f->PutB("found", found);
    f->PutO("params", params);
    Transcript("callRegisterFun", f);
    return StubBool(found);
}

STUB_EXPORT TPasBool APPFRAME_STDCALL CallRegisterFun(const char* aFunName, IJsCallerInf* aParams) {
    return CallPageFunction(aFunName, aParams);
}

STUB_EXPORT TPasBool APPFRAME_STDCALL CallRegisterFunSim(const char* aFunName, IJsCallerInf* aParams) {
    return CallPageFunction(aFunName, aParams);
}

STUB_EXPORT TPasBool APPFRAME_STDCALL InitWebCore(TFwHandle appHD, TPasBool bIsMainForm, TFwHandle,
                                                  const char* sMainFestContent) {
    JsonRef f = NewJsonObject();
    f->PutI("appHD", static_cast<int64_t>(appHD));
    f->PutB("isMainForm", IsTrue(bIsMainForm));
    f->PutS("mainFest", A2U(sMainFestContent));
    Transcript("initWebCore", f);
    return StubBool(ResultSwitch("InitWebCore"));
}

STUB_EXPORT void APPFRAME_STDCALL StubReset() {
    StubClearForms();
    TStubState& s = Stub();
    CriticalSectionLock lock(s.Lock);
    s.Contexts.clear();
    LoadParamsLocked(s);
}
