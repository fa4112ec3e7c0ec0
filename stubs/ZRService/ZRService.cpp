// Stand-in for the help-service library (test equipment). Every call is recorded as a JSON line
// in the file named by APPFRAME_ZRSERVICE_LOG (else "ZRService.calls.jsonl" beside the library).
// AddService and DeleteService answer APPFRAME_ZRSERVICE_RESULT (decimal or 0x.., default 1).
// winsvc.h declares a DeleteService of its own.
#define NOSERVICE
#include "../StubCommon/StubLog.h"

#include <cstdint>
#include <cstring>

#define STUB_EXPORT extern "C" __declspec(dllexport)

namespace {
void Record(const std::string& fields) {
    static const int anchor = 0;
    stub::AppendLine(stub::LogFile(L"APPFRAME_ZRSERVICE_LOG", L"ZRService.calls.jsonl", &anchor),
                     "{" + fields + "}");
}

std::string Field(const char* name, const std::string& utf8, bool first = false) {
    return std::string(first ? "" : ",") + "\"" + name + "\":" + stub::JsonQuote(utf8);
}

int32_t Result() {
    return static_cast<int32_t>(stub::EnvInt(L"APPFRAME_ZRSERVICE_RESULT", 1));
}
} // namespace

STUB_EXPORT int32_t __stdcall InstallService(const char* rootPath, const char* serviceLib,
                                             const char* version) {
    Record(Field("call", "InstallService", true) + Field("rootPath", stub::AnsiToUtf8(rootPath)) +
           Field("serviceLib", stub::AnsiToUtf8(serviceLib)) + Field("version", stub::AnsiToUtf8(version)));
    return 0;
}

STUB_EXPORT int32_t __stdcall UninstallService() {
    Record(Field("call", "UninstallService", true));
    return 0;
}

STUB_EXPORT int32_t __stdcall AddService(const char* svcId, char** funcParams) {
    std::string params;
    if (funcParams && *funcParams) params.assign(*funcParams, strnlen(*funcParams, 65536));
    Record(Field("call", "AddService", true) + Field("svcId", stub::AnsiToUtf8(svcId)) +
           Field("funcParams", stub::AnsiToUtf8(params.c_str())));
    return Result();
}

#ifndef STUB_WITHOUT_DELETE_SERVICE
STUB_EXPORT
#endif
int32_t __stdcall DeleteService(const char* svcId) {
    Record(Field("call", "DeleteService", true) + Field("svcId", stub::AnsiToUtf8(svcId)));
    return Result();
}
