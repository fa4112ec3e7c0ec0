// Stand-in for the device's secondary library (test equipment). The device's hidden files are
// the files of the folder named by APPFRAME_SOLEDISK_DIR (else "SoleDisk\" beside the library).
// Every call is recorded as a JSON line in APPFRAME_SOLEDISK_LOG (else "SoleDisk.calls.jsonl"
// beside the library), and so are the library's loading ("load") and freeing ("unload"). Qwpm_Init
// answers APPFRAME_SOLEDISK_INIT (default 0).
#include "../StubCommon/StubLog.h"
#include "device/FRXDeviceContract.h"

#define STUB_EXPORT extern "C" __declspec(dllexport)

namespace {
const int kAnchor = 0;

std::wstring Served(const char16_t* name) {
    std::wstring folder = stub::EnvVar(L"APPFRAME_SOLEDISK_DIR");
    if (folder.empty()) folder = stub::ModuleFolder(&kAnchor) + L"SoleDisk\\";
    if (folder.back() != L'\\') folder += L'\\';
    return folder + (name ? reinterpret_cast<const wchar_t*>(name) : L"");
}

int32_t Record(const std::string& call, int32_t result, const std::string& extra = {}) {
    stub::AppendLine(stub::LogFile(L"APPFRAME_SOLEDISK_LOG", L"SoleDisk.calls.jsonl", &kAnchor),
                     "{\"call\":\"" + call + "\"" + extra + ",\"result\":" + std::to_string(result) + "}");
    return result;
}

std::string Text(const char* name, const char16_t* value) {
    return std::string(",\"") + name +
           "\":" + stub::JsonQuote(stub::WideToUtf8(value ? reinterpret_cast<const wchar_t*>(value) : L""));
}
} // namespace

STUB_EXPORT int32_t __stdcall Qwpm_Init(const char16_t* text, void*) {
    return Record("Qwpm_Init", static_cast<int32_t>(stub::EnvInt(L"APPFRAME_SOLEDISK_INIT", 0)),
                  Text("text", text));
}

STUB_EXPORT int32_t __stdcall Qwpm_SelectDevice(int32_t index, void*) {
    return Record("Qwpm_SelectDevice", 0, ",\"index\":" + std::to_string(index));
}

STUB_EXPORT int32_t __stdcall Qwpm_FileIsExist(const char16_t* name, int32_t* exists, void*) {
    const DWORD attrs = GetFileAttributesW(Served(name).c_str());
    const bool found = attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
    if (exists) *exists = found ? 1 : 0;
    return Record("Qwpm_FileIsExist", 0, Text("name", name));
}

STUB_EXPORT int32_t __stdcall Qwpm_ReadFile(const char16_t* name, const char16_t* target, void*) {
    const BOOL ok = CopyFileW(Served(name).c_str(), reinterpret_cast<const wchar_t*>(target), FALSE);
    return Record("Qwpm_ReadFile", ok ? 0 : 1, Text("name", name) + Text("target", target));
}

STUB_EXPORT int32_t __stdcall Qwpm_Free(void*) {
    return Record("Qwpm_Free", 0);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    // Not at process end (reserved set): the log's folder may be gone by then.
    if (reason == DLL_PROCESS_ATTACH) Record("load", 0);
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) Record("unload", 0);
    return TRUE;
}
