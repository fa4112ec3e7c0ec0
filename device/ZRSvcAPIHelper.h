#pragma once
// The help-service library "ZRService.dll" in the shared environment folder (Win32 build only).
// Loaded once, when the wrapper is created; without the library or any of its four exports every
// operation answers its "not loaded" result and nothing is called.
// Binary rules of the maker's libraries: webbridge/BinaryConventions.md.
#include "foundation/Abi.h"
#include "foundation/ScopedWin.h"

#include <cstdint>
#include <string>
#include <string_view>

class TZRSvcAPIHelper {
public:
    using TInstallService = int32_t(APPFRAME_STDCALL*)(const char* rootPath, const char* serviceLib,
                                                       const char* version);
    using TUninstallService = int32_t(APPFRAME_STDCALL*)();
    using TAddService = int32_t(APPFRAME_STDCALL*)(const char* svcId, char** funcParams);
    using TDeleteService = int32_t(APPFRAME_STDCALL*)(const char* svcId);

    // The process-wide wrapper over the shared environment folder, created on first use; its
    // library is freed when the process ends.
    static TZRSvcAPIHelper& Instance();

    // A wrapper over "ZRService.dll" in `rootPath` (UTF-8, with its trailing separator). An empty
    // root loads nothing.
    explicit TZRSvcAPIHelper(std::string rootPath);
    TZRSvcAPIHelper(const TZRSvcAPIHelper&) = delete;
    TZRSvcAPIHelper& operator=(const TZRSvcAPIHelper&) = delete;

    bool IsLoaded() const { return FHasLoadSvcHost; }
    const std::string& RootPath() const { return FRootPath; }
    const std::string& ServiceLib() const { return FServiceLib; }

    // True when the library is loaded and the call returned; the export's own result is not used.
    bool InstallService(std::string_view version);
    void UninstallService();
    // The export's result (see IsServiceCallSuccess), 0 when not loaded. `funcParams` goes over in
    // the ANSI code page in a caller-owned buffer of at least 1024 bytes.
    int32_t AddService(std::string_view svcId, std::string_view funcParams);
    int32_t DeleteService(std::string_view svcId);

private:
    bool FHasLoadSvcHost = false;
    UniqueModule FSvcHosthandle;
    TInstallService FInstallService = nullptr;
    TUninstallService FUninstallService = nullptr;
    TAddService FAddService = nullptr;
    TDeleteService FDeleteService = nullptr;
    std::string FRootPath;
    std::string FServiceLib;
};
