// Stand-in for the tax device's library (test equipment). Its answers come from the ini file
// named by APPFRAME_FRX_DATA (else "FRXDevice.ini" beside the library), section [FRX]:
//   Version=V6.1.3        VersionResult=0      (GetFRXVersion: "version=<Version>;")
//   TaxpayerFile=C:\t.json TaxpayerResult=0    (FRXGetTaxpayer: "taxpayerfile=<TaxpayerFile>;")
//   EventResult=0                              (FRXInsertUpdateEvent)
// Every call is recorded as a JSON line in APPFRAME_FRX_LOG (else "FRXDevice.calls.jsonl" beside
// the library) with the library's own path.
#include "device/FRXDeviceContract.h"
#include "../StubCommon/StubLog.h"

#include <cstring>

#define STUB_EXPORT extern "C" __declspec(dllexport)

namespace {
const int kAnchor = 0;

std::wstring Value(const wchar_t* key, const wchar_t* def) {
    const std::wstring file = stub::LogFile(L"APPFRAME_FRX_DATA", L"FRXDevice.ini", &kAnchor);
    wchar_t buf[1024] = {};
    GetPrivateProfileStringW(L"FRX", key, def, buf, 1024, file.c_str());
    return buf;
}

int32_t Result(const wchar_t* key) {
    return static_cast<int32_t>(wcstol(Value(key, L"0").c_str(), nullptr, 10));
}

// Writes "name=value;" in the ANSI code page, cut to the buffer.
void Answer(char* buffer, const char* name, const std::wstring& value) {
    std::string text = name;
    text += '=';
    const int n = WideCharToMultiByte(CP_ACP, 0, value.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<size_t>(n > 0 ? n : 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, value.c_str(), -1, &ansi[0], n, nullptr, nullptr);
    text += ansi.c_str();
    text += ';';
    if (text.size() >= frx::kAnswerBufferSize) text.resize(frx::kAnswerBufferSize - 1);
    memcpy(buffer, text.c_str(), text.size() + 1);
}

int32_t Record(const char* call, int32_t result) {
    wchar_t path[MAX_PATH * 4] = {};
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&kAnchor), &self);
    GetModuleFileNameW(self, path, MAX_PATH * 4);
    stub::AppendLine(stub::LogFile(L"APPFRAME_FRX_LOG", L"FRXDevice.calls.jsonl", &kAnchor),
                     std::string("{\"call\":\"") + call +
                         "\",\"library\":" + stub::JsonQuote(stub::WideToUtf8(path)) +
                         ",\"result\":" + std::to_string(result) + "}");
    return result;
}
} // namespace

STUB_EXPORT int32_t __stdcall GetFRXVersion(char** buffer) {
    const int32_t result = Result(L"VersionResult");
    if (buffer && *buffer) Answer(*buffer, "version", Value(L"Version", L"V6.1.3"));
    return Record("GetFRXVersion", result);
}

STUB_EXPORT int32_t __stdcall FRXGetTaxpayer(char* buffer) {
    const int32_t result = Result(L"TaxpayerResult");
    if (buffer) Answer(buffer, "taxpayerfile", Value(L"TaxpayerFile", L""));
    return Record("FRXGetTaxpayer", result);
}

STUB_EXPORT int32_t __stdcall FRXInsertUpdateEvent() {
    return Record("FRXInsertUpdateEvent", Result(L"EventResult"));
}
