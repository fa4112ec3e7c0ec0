#include "host/Handover.h"
#include "foundation/WinProcess.h"

#include "device/FRXExtInterface.h"
#include "device/WLServices.h"
#include "device/ZRAppRepoAPIHelper.h"
#include "foundation/AppLog.h"
#include "foundation/KeyListValue.h"
#include "foundation/TextCodec.h"
#include "host/HostConfig.h"
#include "host/HostFiles.h"
#include "host/ProcessControl.h"

#include <windows.h>

#include <shellapi.h>

#include <exception>
#include <vector>

namespace {

constexpr int32_t kDeviceMajor = 6;
constexpr int32_t kDeviceMinor = 1;
constexpr int32_t kDeviceBuild = 3;
constexpr int32_t kAssistantMajor = 2;
constexpr int32_t kAssistantMinor = 1;
constexpr int32_t kAssistantBuild = 1;

std::string FolderOf(const std::string& path) {
    const size_t at = path.find_last_of("\\/");
    return at == std::string::npos ? std::string() : path.substr(0, at);
}

void ShellOpen(const std::string& file, const std::string& args, const std::string& folder) {
    ShellExecuteW(nullptr, L"open", Widen(file).c_str(), args.empty() ? nullptr : Widen(args).c_str(),
                  Widen(folder).c_str(), SW_SHOWNORMAL);
}

} // namespace

bool IsQnbRunMode() {
    static const bool qnb = JoinedParamsHaveQnbRunMode(ProcessParameters());
    return qnb;
}

std::string ReadFileText(const std::string& path) {
    std::string bytes;
    if (!ReadFileBytes(path, bytes)) return {};
    return bytes;
}

bool ChkQNBVer(int32_t major, int32_t minor, int32_t build, std::string& version) {
    bool result = false;
    try {
        std::string answer;
        if (TFRXExtInterface::Instance().GetFRXVersion(answer) != 0) {
            WriteAppLog("启动：GetFRXVersion失败");
        } else {
            version = GetKeyListValue(answer, "version");
            WriteAppLog("启动：GetFRXVersion= " + version + " 判断是V6.1.003");
            TVersionTriple v;
            result = ParseVersionText(version, v) && EachPartAtLeast(v, major, minor, build);
        }
    } catch (const std::exception& e) {
        WriteAppLog(std::string("启动：ChkQNBVer ") + e.what());
        result = false;
    }
    WriteAppLog(std::string("启动：ChkQNBVer = ") + LogBool(result));
    return result;
}

void HandOverToBrev(const std::string& appId) {
    try {
        const bool qnb = IsQnbRunMode();
        const std::string args = qnb ? " LaunchedByQNB runmode=qnb" : "";
        if (!SameTextIgnoringCase(appId, kBrevAppId)) return;
        std::string version;
        if (qnb && !ChkQNBVer(kDeviceMajor, kDeviceMinor, kDeviceBuild, version)) return;
        const std::string brev = TWLService::GetInstance().BREVInstallPath();
        if (brev.empty() || !FileExistsUtf8(brev)) return;
        WriteAppLog("启动BREV并退出奎朗:" + brev);
        ShellOpen(brev, args, FolderOf(brev));
    } catch (const std::exception& e) {
        WriteAppLog(std::string("HandOverToBrev: ") + e.what());
        return;
    }
    TerminateSelf();
}

bool isCanRunBREV() {
    if (!IsQnbRunMode()) {
        WriteAppLog("助手启动：当前未按QNB模式启动");
        return false;
    }
    const std::string file = ProgramFolder() + kEnviParamsFileName;
    if (!FileExistsUtf8(file)) return false;
    const TEnviParams envi = ReadEnviParams(ReadFileText(file));
    WriteAppLog("助手启动：sAreaCode=" + envi.AreaCode + "sAppid = " + envi.AppID);
    if (AreaAndAppAllowAssistant(envi.AreaCode, envi.AppID)) return true;
    WriteAppLog("助手启动：区域不是13 且appid不是HB_QELT_DWIN");
    return false;
}

bool shIsCanRun() {
    bool result = false;
    try {
        std::string answer;
        if (TFRXExtInterface::Instance().GetFRXGetTaxpayer(answer) < 0) {
            WriteAppLog("助手启动：FRXGetTaxpayer无法获取税号");
        } else {
            const std::string text = ReadFileText(GetKeyListValue(answer, "taxpayerfile"));
            if (text.empty()) {
                WriteAppLog("助手启动：taxpayerfile返加为空");
            } else {
                const TTaxpayerFileAnswer taxpayer = FirstTaxpayerOf(text);
                if (taxpayer.State == TTaxpayerFileState::NoTaxpayers)
                    WriteAppLog("助手启动：taxpayerfile的JSON taxpayers为空");
                if (taxpayer.State == TTaxpayerFileState::Found) {
                    WriteAppLog("助手启动：FNsrsbh = " + taxpayer.Nsrsbh);
                    result = true;
                }
            }
        }
    } catch (const std::exception& e) {
        WriteAppLog(std::string("助手启动：shIsCanRun ") + e.what());
        result = false;
    }
    WriteAppLog(std::string("助手启动：shIsCanRun：") + LogBool(result));
    return result;
}

bool TryLaunchAssistant() {
    try {
        if (!isCanRunBREV()) {
            WriteAppLog("助手启动：未符合启动助手条件");
            return false;
        }
        WriteAppLog("助手启动：isCanRunBREV 返回true");
        WriteAppLog(std::string("助手启动：") + kAssistantProductId);
        TAppRepoEntry entry;
        if (TZRAppRepoAPIHelper::Instance().QueryAppRepo(kAssistantProductId, entry) != 0) {
            WriteAppLog("助手启动：未找到安装路径");
            return false;
        }
        const std::string main = GetKeyListValue(entry.FuncParams, "Main");
        const std::string exccmd = GetKeyListValue(entry.FuncParams, "Exccmd");
        const std::string exe = entry.AppPath + "\\" + main;
        WriteAppLog("助手启动：找到路径：" + exe);
        if (!FileExistsUtf8(exe)) return false;
        WriteAppLog("助手启动：sver：" + entry.Version);
        TVersionTriple assistant;
        std::string deviceVersion;
        if (!ParseVersionText(entry.Version, assistant) ||
            !ChkQNBVer(kDeviceMajor, kDeviceMinor, kDeviceBuild, deviceVersion)) {
            WriteAppLog("助手启动：sver：" + entry.Version);
            return false;
        }
        if (!EachPartAtLeast(assistant, kAssistantMajor, kAssistantMinor, kAssistantBuild)) return false;
        if (!shIsCanRun()) return false;
        const std::string args = AssistantArguments(exccmd, ProcessParameters());
        WriteAppLog("助手启动：执行 " + exe);
        ShellOpen(exe, args, entry.AppPath);
        return true;
    } catch (const std::exception& e) {
        WriteAppLog(std::string("助手启动：") + e.what());
        return false;
    }
}
