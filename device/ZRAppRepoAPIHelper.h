#pragma once
// The application-repository library "ZRAppRepo.dll" in the shared environment folder (Win32
// build only). Loaded once, when the wrapper is created. Every operation answers -1 when the
// library or its export is missing, otherwise the export's result (0 is success). Texts are
// UTF-8 here and UTF-16 at the library; results come back in TWideResultBuffer.
// Binary rules of the maker's libraries: webbridge/BinaryConventions.md.
#include "device/WideResultBuffer.h"
#include "foundation/Abi.h"
#include "foundation/ScopedWin.h"

#include <cstdint>
#include <string>
#include <string_view>

// What the repository records about one application.
struct TAppRepoEntry {
    std::string Version;    // dotted version text
    std::string FuncParams; // name=value list, e.g. "Main=x.exe;Exccmd=-a;"
    std::string AppPath;    // installation folder
};

class TZRAppRepoAPIHelper {
public:
    using WStr = const wchar_t*;
    using WOut = wchar_t**;
    using TInstallAppToRepo = int32_t(APPFRAME_STDCALL*)(WStr appId, WStr version, WOut params, WStr appPath);
    using TUpdateAppRepo = int32_t(APPFRAME_STDCALL*)(WStr appId, WStr version, WStr appPath);
    using TDeleteAppRepo = int32_t(APPFRAME_STDCALL*)(WStr appId);
    using TQueryAppRepo = int32_t(APPFRAME_STDCALL*)(WStr appId, WOut version, WOut params, WOut appPath);
    using TGetAppRepoPIDList = int32_t(APPFRAME_STDCALL*)(WOut pidList);
    using TSetAppRepoExt = int32_t(APPFRAME_STDCALL*)(WStr appId, WStr key, WStr value);
    using TGetAppRepoExt = int32_t(APPFRAME_STDCALL*)(WStr appId, WStr key, WOut value);
    using TGetAppRepoExtA = int32_t(APPFRAME_STDCALL*)(WStr appId, int32_t index, WOut key, WOut value);
    using TGetAppRepoExtCount = int32_t(APPFRAME_STDCALL*)(WStr appId, uint32_t* count);
    using TDeleteAppRepoExt = int32_t(APPFRAME_STDCALL*)(WStr appId, WStr key);

    // Buffer sizes, in characters, of a query for an installed application.
    static constexpr size_t kVersionChars = 255;
    static constexpr size_t kFuncParamsChars = 500;
    static constexpr size_t kAppPathChars = 500;

    // The process-wide wrapper over the shared environment folder, created on first use; its
    // library is freed when the process ends.
    static TZRAppRepoAPIHelper& Instance();

    // A wrapper over "ZRAppRepo.dll" in `rootPath` (UTF-8, with its trailing separator). An empty
    // root loads nothing.
    explicit TZRAppRepoAPIHelper(std::string rootPath);
    TZRAppRepoAPIHelper(const TZRAppRepoAPIHelper&) = delete;
    TZRAppRepoAPIHelper& operator=(const TZRAppRepoAPIHelper&) = delete;

    bool IsLoaded() const { return FHasLoadDLL; }
    const std::string& RootPath() const { return FRootPath; }
    const std::string& RepoLib() const { return FRepoLib; }

    int32_t InstallAppToRepo(std::string_view appId, std::string_view version, TWideResultBuffer& params,
                             std::string_view appPath);
    int32_t UpdateAppRepo(std::string_view appId, std::string_view version, std::string_view appPath);
    int32_t DeleteAppRepo(std::string_view appId);
    int32_t QueryAppRepo(std::string_view appId, TWideResultBuffer& version, TWideResultBuffer& params,
                         TWideResultBuffer& appPath);
    // The query as the program makes it: buffers of 255, 500 (handed over empty) and 500
    // characters. `entry` is filled only on success (0).
    int32_t QueryAppRepo(std::string_view appId, TAppRepoEntry& entry);
    int32_t GetAppRepoPIDList(TWideResultBuffer& pidList);
    int32_t SetAppRepoExt(std::string_view appId, std::string_view key, std::string_view value);
    int32_t GetAppRepoExt(std::string_view appId, std::string_view key, TWideResultBuffer& value);
    int32_t GetAppRepoExtA(std::string_view appId, int32_t index, TWideResultBuffer& key,
                           TWideResultBuffer& value);
    int32_t GetAppRepoExtCount(std::string_view appId, uint32_t& count);
    int32_t DeleteAppRepoExt(std::string_view appId, std::string_view key);

private:
    bool FHasLoadDLL = false;
    UniqueModule FDLLHandle;
    TInstallAppToRepo FInstallAppToRepo = nullptr;
    TUpdateAppRepo FUpdateAppRepo = nullptr;
    TDeleteAppRepo FDeleteAppRepo = nullptr;
    TQueryAppRepo FQueryAppRepo = nullptr;
    TGetAppRepoPIDList FGetAppRepoPIDList = nullptr;
    TSetAppRepoExt FSetAppRepoExt = nullptr;
    TGetAppRepoExt FGetAppRepoExt = nullptr;
    TGetAppRepoExtA FGetAppRepoExtA = nullptr;
    TGetAppRepoExtCount FGetAppRepoExtCount = nullptr;
    TDeleteAppRepoExt FDeleteAppRepoExt = nullptr;
    std::string FRootPath;
    std::string FRepoLib;
};
