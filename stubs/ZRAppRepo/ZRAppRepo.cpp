// Stand-in for the application-repository library (test equipment). Its records live in an ini
// file named by APPFRAME_ZRAPPREPO_DATA (else "ZRAppRepo.ini" beside the library):
//   [<application id>]       Version=..., Params=<name=value list>, Path=<install folder>
//   [<application id>.Ext]   <extension key>=<extension value>
// Every call is recorded as a JSON line in APPFRAME_ZRAPPREPO_LOG (else "ZRAppRepo.calls.jsonl"
// beside the library), with the capacities read from the length prefixes of result buffers.
// Results: 0 success, 1 no such record, 122 a result did not fit (cut to fit, still terminated),
// -2 a result buffer without a sound prefix.
#include "../StubCommon/StubLog.h"

#include <cstdint>
#include <cstring>
#include <vector>

#define STUB_EXPORT extern "C" __declspec(dllexport)

namespace {
const int kAnchor = 0;
constexpr int32_t kOk = 0, kNotFound = 1, kTooSmall = 122, kBadBuffer = -2;

std::wstring DataFile() {
    return stub::LogFile(L"APPFRAME_ZRAPPREPO_DATA", L"ZRAppRepo.ini", &kAnchor);
}

std::wstring Str(const wchar_t* s) {
    return s ? std::wstring(s) : std::wstring();
}

class Call {
public:
    explicit Call(const char* name) : FLine(std::string("{\"call\":\"") + name + "\"") {}
    Call& Text(const char* name, const wchar_t* value) {
        FLine += std::string(",\"") + name + "\":" + stub::JsonQuote(stub::WideToUtf8(value));
        return *this;
    }
    Call& Number(const char* name, long long value) {
        FLine += std::string(",\"") + name + "\":" + std::to_string(value);
        return *this;
    }
    int32_t Done(int32_t result) {
        Number("result", result);
        stub::AppendLine(stub::LogFile(L"APPFRAME_ZRAPPREPO_LOG", L"ZRAppRepo.calls.jsonl", &kAnchor),
                         FLine + "}");
        return result;
    }

private:
    std::string FLine;
};

// Capacity in characters from the byte count stored in front of the text; -1 when unsound.
long Capacity(wchar_t** out) {
    if (!out || !*out) return -1;
    int32_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<const char*>(*out) - 4, 4);
    if (bytes < 6 || (bytes - 4) % 2 != 0) return -1;
    return (bytes - 4) / 2;
}

// Copies as much as fits (always terminated).
int32_t Put(wchar_t** out, const std::wstring& text) {
    const long cap = Capacity(out);
    if (cap < 1) return kBadBuffer;
    const size_t n = text.size() < static_cast<size_t>(cap) ? text.size() : static_cast<size_t>(cap - 1);
    std::memcpy(*out, text.data(), n * sizeof(wchar_t));
    (*out)[n] = L'\0';
    return n == text.size() ? kOk : kTooSmall;
}

std::wstring Read(const std::wstring& section, const wchar_t* key, const wchar_t* def = L"") {
    std::vector<wchar_t> buf(65536);
    const DWORD n =
        GetPrivateProfileStringW(section.c_str(), key, def, buf.data(), 65536, DataFile().c_str());
    return std::wstring(buf.data(), n);
}

// The "key=value" entries of a section.
std::vector<std::wstring> Entries(const std::wstring& section) {
    std::vector<wchar_t> buf(65536);
    const DWORD n = GetPrivateProfileSectionW(section.c_str(), buf.data(), 65536, DataFile().c_str());
    std::vector<std::wstring> out;
    for (const wchar_t* p = buf.data(); p < buf.data() + n && *p; p += wcslen(p) + 1)
        out.emplace_back(p);
    return out;
}

bool Exists(const std::wstring& appId) {
    return Read(appId, L"Version", L"\x01") != L"\x01";
}

void Write(const std::wstring& section, const wchar_t* key, const wchar_t* value) {
    WritePrivateProfileStringW(section.c_str(), key, value, DataFile().c_str());
}

int32_t Worst(int32_t a, int32_t b) {
    if (a == kBadBuffer || b == kBadBuffer) return kBadBuffer;
    return a != kOk ? a : b;
}
} // namespace

STUB_EXPORT int32_t __stdcall InstallAppToRepo(const wchar_t* appId, const wchar_t* version, wchar_t** params,
                                               const wchar_t* appPath) {
    Call call("InstallAppToRepo");
    call.Text("appId", appId)
        .Text("version", version)
        .Text("appPath", appPath)
        .Number("capacity", Capacity(params));
    if (Capacity(params) < 1) return call.Done(kBadBuffer);
    if (**params) Write(Str(appId), L"Params", *params);
    Write(Str(appId), L"Version", version);
    Write(Str(appId), L"Path", appPath);
    return call.Done(Put(params, Read(Str(appId), L"Params")));
}

STUB_EXPORT int32_t __stdcall UpdateAppRepo(const wchar_t* appId, const wchar_t* version,
                                            const wchar_t* appPath) {
    Call call("UpdateAppRepo");
    call.Text("appId", appId).Text("version", version).Text("appPath", appPath);
    if (!Exists(Str(appId))) return call.Done(kNotFound);
    Write(Str(appId), L"Version", version);
    Write(Str(appId), L"Path", appPath);
    return call.Done(kOk);
}

STUB_EXPORT int32_t __stdcall DeleteAppRepo(const wchar_t* appId) {
    Call call("DeleteAppRepo");
    call.Text("appId", appId);
    if (!Exists(Str(appId))) return call.Done(kNotFound);
    Write(Str(appId), nullptr, nullptr);
    Write(Str(appId) + L".Ext", nullptr, nullptr);
    return call.Done(kOk);
}

#ifndef STUB_WITHOUT_QUERY_APP_REPO
STUB_EXPORT
#endif
int32_t __stdcall QueryAppRepo(const wchar_t* appId, wchar_t** version, wchar_t** params, wchar_t** appPath) {
    Call call("QueryAppRepo");
    call.Text("appId", appId)
        .Number("versionCapacity", Capacity(version))
        .Number("paramsCapacity", Capacity(params))
        .Number("appPathCapacity", Capacity(appPath));
    if (params && *params) call.Text("paramsIn", *params); // the text it was handed
    if (Capacity(version) < 1 || Capacity(params) < 1 || Capacity(appPath) < 1) return call.Done(kBadBuffer);
    if (!Exists(Str(appId))) return call.Done(kNotFound);
    int32_t r = Put(version, Read(Str(appId), L"Version"));
    r = Worst(r, Put(params, Read(Str(appId), L"Params")));
    r = Worst(r, Put(appPath, Read(Str(appId), L"Path")));
    return call.Done(r);
}

STUB_EXPORT int32_t __stdcall GetAppRepoPIDList(wchar_t** pidList) {
    Call call("GetAppRepoPIDList");
    call.Number("capacity", Capacity(pidList));
    std::vector<wchar_t> buf(65536);
    const DWORD n = GetPrivateProfileSectionNamesW(buf.data(), 65536, DataFile().c_str());
    std::wstring list;
    for (const wchar_t* p = buf.data(); p < buf.data() + n && *p; p += wcslen(p) + 1) {
        const std::wstring name = p;
        if (name.size() >= 4 && name.compare(name.size() - 4, 4, L".Ext") == 0) continue;
        list += name + L";";
    }
    return call.Done(Put(pidList, list));
}

STUB_EXPORT int32_t __stdcall SetAppRepoExt(const wchar_t* appId, const wchar_t* key, const wchar_t* value) {
    Call call("SetAppRepoExt");
    call.Text("appId", appId).Text("key", key).Text("value", value);
    if (!Exists(Str(appId))) return call.Done(kNotFound);
    Write(Str(appId) + L".Ext", key, value);
    return call.Done(kOk);
}

STUB_EXPORT int32_t __stdcall GetAppRepoExt(const wchar_t* appId, const wchar_t* key, wchar_t** value) {
    Call call("GetAppRepoExt");
    call.Text("appId", appId).Text("key", key).Number("capacity", Capacity(value));
    const std::wstring v = Read(Str(appId) + L".Ext", key, L"\x01");
    if (v == L"\x01") return call.Done(kNotFound);
    return call.Done(Put(value, v));
}

STUB_EXPORT int32_t __stdcall GetAppRepoExtA(const wchar_t* appId, int32_t index, wchar_t** key,
                                             wchar_t** value) {
    Call call("GetAppRepoExtA");
    call.Text("appId", appId).Number("index", index);
    const std::vector<std::wstring> entries = Entries(Str(appId) + L".Ext");
    if (index < 0 || static_cast<size_t>(index) >= entries.size()) return call.Done(kNotFound);
    const std::wstring& e = entries[static_cast<size_t>(index)];
    const size_t eq = e.find(L'=');
    const std::wstring k = eq == std::wstring::npos ? e : e.substr(0, eq);
    const std::wstring v = eq == std::wstring::npos ? std::wstring() : e.substr(eq + 1);
    return call.Done(Worst(Put(key, k), Put(value, v)));
}

STUB_EXPORT int32_t __stdcall GetAppRepoExtCount(const wchar_t* appId, uint32_t* count) {
    Call call("GetAppRepoExtCount");
    call.Text("appId", appId);
    if (!count) return call.Done(kBadBuffer);
    *count = static_cast<uint32_t>(Entries(Str(appId) + L".Ext").size());
    return call.Done(kOk);
}

STUB_EXPORT int32_t __stdcall DeleteAppRepoExt(const wchar_t* appId, const wchar_t* key) {
    Call call("DeleteAppRepoExt");
    call.Text("appId", appId).Text("key", key);
    if (Read(Str(appId) + L".Ext", key, L"\x01") == L"\x01") return call.Done(kNotFound);
    Write(Str(appId) + L".Ext", key, nullptr);
    return call.Done(kOk);
}
