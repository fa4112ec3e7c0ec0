#include "device/ZRSvcAPIHelper.h"

#include "device/LocalEnv.h"
#include "foundation/ForeignCall.h"
#include "foundation/TextCodec.h"
#include "foundation/WinProcess.h"

#include <algorithm>
#include <vector>

namespace {
// The library expects at least this much room behind the parameter pointer.
constexpr size_t kFuncParamsBytes = 1024;

} // namespace

TZRSvcAPIHelper& TZRSvcAPIHelper::Instance() {
    static TZRSvcAPIHelper instance(SharedEnvFolder());
    return instance;
}

TZRSvcAPIHelper::TZRSvcAPIHelper(std::string rootPath) : FRootPath(std::move(rootPath)) {
    if (FRootPath.empty()) return;
    FServiceLib = FRootPath + "ZRService.dll";
    UniqueModule module(LoadLibraryExW(Widen(FServiceLib).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!module) return;
    TInstallService install = nullptr;
    BindExport(module.Get(), "InstallService", install);
    TUninstallService uninstall = nullptr;
    BindExport(module.Get(), "UninstallService", uninstall);
    TAddService add = nullptr;
    BindExport(module.Get(), "AddService", add);
    TDeleteService remove = nullptr;
    BindExport(module.Get(), "DeleteService", remove);
    if (!install || !uninstall || !add || !remove) return;
    FSvcHosthandle = std::move(module);
    FInstallService = install;
    FUninstallService = uninstall;
    FAddService = add;
    FDeleteService = remove;
    FHasLoadSvcHost = true;
}

bool TZRSvcAPIHelper::InstallService(std::string_view version) {
    if (!FHasLoadSvcHost) return false;
    try {
        const std::string root = Utf8ToAnsi(FRootPath);
        const std::string lib = Utf8ToAnsi(FServiceLib);
        const std::string ver = Utf8ToAnsi(version);
        CallForeign(FInstallService, root.c_str(), lib.c_str(), ver.c_str());
        return true;
    } catch (...) {
        return false;
    }
}

void TZRSvcAPIHelper::UninstallService() {
    if (FHasLoadSvcHost) CallForeign(FUninstallService);
}

int32_t TZRSvcAPIHelper::AddService(std::string_view svcId, std::string_view funcParams) {
    if (!FHasLoadSvcHost) return 0;
    const std::string id = Utf8ToAnsi(svcId);
    const std::string params = Utf8ToAnsi(funcParams);
    // A longer text gets a larger buffer instead of being cut or overrunning the fixed one.
    std::vector<char> buffer(std::max(kFuncParamsBytes, params.size() + 1), '\0');
    std::copy(params.begin(), params.end(), buffer.begin());
    char* bufferPtr = buffer.data();
    return CallForeign(FAddService, id.c_str(), &bufferPtr);
}

int32_t TZRSvcAPIHelper::DeleteService(std::string_view svcId) {
    if (!FHasLoadSvcHost) return 0;
    const std::string id = Utf8ToAnsi(svcId);
    return CallForeign(FDeleteService, id.c_str());
}
