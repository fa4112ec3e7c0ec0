#include "device/ZRAppRepoAPIHelper.h"

#include "device/LocalEnv.h"
#include "foundation/ForeignCall.h"
#include "foundation/TextCodec.h"
#include "foundation/WinProcess.h"

namespace {
constexpr int32_t kNotAvailable = -1;

// A UTF-16 argument that lives for the duration of one call.
class WArg {
public:
    explicit WArg(std::string_view utf8) : FText(Utf8ToUtf16(utf8)) {}
    operator const wchar_t*() const { return reinterpret_cast<const wchar_t*>(FText.c_str()); }

private:
    std::u16string FText;
};

wchar_t** Out(TWideResultBuffer& buffer) {
    return reinterpret_cast<wchar_t**>(buffer.Slot());
}
} // namespace

TZRAppRepoAPIHelper& TZRAppRepoAPIHelper::Instance() {
    static TZRAppRepoAPIHelper instance(SharedEnvFolder());
    return instance;
}

TZRAppRepoAPIHelper::TZRAppRepoAPIHelper(std::string rootPath) : FRootPath(std::move(rootPath)) {
    if (FRootPath.empty()) return;
    FRepoLib = FRootPath + "ZRAppRepo.dll";
    FDLLHandle.Reset(LoadLibraryExW(Widen(FRepoLib).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!FDLLHandle) return;
    const HMODULE m = FDLLHandle.Get();
    BindExport(m, "InstallAppToRepo", FInstallAppToRepo);
    BindExport(m, "UpdateAppRepo", FUpdateAppRepo);
    BindExport(m, "DeleteAppRepo", FDeleteAppRepo);
    BindExport(m, "QueryAppRepo", FQueryAppRepo);
    BindExport(m, "GetAppRepoPIDList", FGetAppRepoPIDList);
    BindExport(m, "SetAppRepoExt", FSetAppRepoExt);
    BindExport(m, "GetAppRepoExt", FGetAppRepoExt);
    BindExport(m, "GetAppRepoExtA", FGetAppRepoExtA);
    BindExport(m, "GetAppRepoExtCount", FGetAppRepoExtCount);
    BindExport(m, "DeleteAppRepoExt", FDeleteAppRepoExt);
    FHasLoadDLL = true;
}

int32_t TZRAppRepoAPIHelper::InstallAppToRepo(std::string_view appId, std::string_view version,
                                              TWideResultBuffer& params, std::string_view appPath) {
    if (!FHasLoadDLL || !FInstallAppToRepo) return kNotAvailable;
    return CallForeign(FInstallAppToRepo, WArg(appId), WArg(version), Out(params), WArg(appPath));
}

int32_t TZRAppRepoAPIHelper::UpdateAppRepo(std::string_view appId, std::string_view version,
                                           std::string_view appPath) {
    if (!FHasLoadDLL || !FUpdateAppRepo) return kNotAvailable;
    return CallForeign(FUpdateAppRepo, WArg(appId), WArg(version), WArg(appPath));
}

int32_t TZRAppRepoAPIHelper::DeleteAppRepo(std::string_view appId) {
    if (!FHasLoadDLL || !FDeleteAppRepo) return kNotAvailable;
    return CallForeign(FDeleteAppRepo, WArg(appId));
}

int32_t TZRAppRepoAPIHelper::QueryAppRepo(std::string_view appId, TWideResultBuffer& version,
                                          TWideResultBuffer& params, TWideResultBuffer& appPath) {
    if (!FHasLoadDLL || !FQueryAppRepo) return kNotAvailable;
    return CallForeign(FQueryAppRepo, WArg(appId), Out(version), Out(params), Out(appPath));
}

int32_t TZRAppRepoAPIHelper::QueryAppRepo(std::string_view appId, TAppRepoEntry& entry) {
    if (!FHasLoadDLL || !FQueryAppRepo) return kNotAvailable;
    TWideResultBuffer version(kVersionChars);
    TWideResultBuffer params(kFuncParamsChars);
    TWideResultBuffer appPath(kAppPathChars);
    const int32_t result = QueryAppRepo(appId, version, params, appPath);
    if (result == 0) entry = TAppRepoEntry{version.Utf8(), params.Utf8(), appPath.Utf8()};
    return result;
}

int32_t TZRAppRepoAPIHelper::GetAppRepoPIDList(TWideResultBuffer& pidList) {
    if (!FHasLoadDLL || !FGetAppRepoPIDList) return kNotAvailable;
    return CallForeign(FGetAppRepoPIDList, Out(pidList));
}

int32_t TZRAppRepoAPIHelper::SetAppRepoExt(std::string_view appId, std::string_view key,
                                           std::string_view value) {
    if (!FHasLoadDLL || !FSetAppRepoExt) return kNotAvailable;
    return CallForeign(FSetAppRepoExt, WArg(appId), WArg(key), WArg(value));
}

int32_t TZRAppRepoAPIHelper::GetAppRepoExt(std::string_view appId, std::string_view key,
                                           TWideResultBuffer& value) {
    if (!FHasLoadDLL || !FGetAppRepoExt) return kNotAvailable;
    return CallForeign(FGetAppRepoExt, WArg(appId), WArg(key), Out(value));
}

int32_t TZRAppRepoAPIHelper::GetAppRepoExtA(std::string_view appId, int32_t index, TWideResultBuffer& key,
                                            TWideResultBuffer& value) {
    if (!FHasLoadDLL || !FGetAppRepoExtA) return kNotAvailable;
    return CallForeign(FGetAppRepoExtA, WArg(appId), index, Out(key), Out(value));
}

int32_t TZRAppRepoAPIHelper::GetAppRepoExtCount(std::string_view appId, uint32_t& count) {
    if (!FHasLoadDLL || !FGetAppRepoExtCount) return kNotAvailable;
    return CallForeign(FGetAppRepoExtCount, WArg(appId), &count);
}

int32_t TZRAppRepoAPIHelper::DeleteAppRepoExt(std::string_view appId, std::string_view key) {
    if (!FHasLoadDLL || !FDeleteAppRepoExt) return kNotAvailable;
    return CallForeign(FDeleteAppRepoExt, WArg(appId), WArg(key));
}
