#include "device/LocalEnv.h"

namespace {
bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}
} // namespace

std::string DriveOf(std::string_view path) {
    if (path.size() >= 2 && path[1] == ':') {
        const char c = path[0];
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return std::string(path.substr(0, 2));
        return {};
    }
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        // \\server\share: up to the separator that follows the share name.
        size_t i = 2;
        while (i < path.size() && !IsSeparator(path[i]))
            ++i;
        if (i == 2 || i >= path.size()) return {};
        size_t j = i + 1;
        while (j < path.size() && !IsSeparator(path[j]))
            ++j;
        if (j == i + 1) return {};
        return std::string(path.substr(0, j));
    }
    return {};
}

std::string SharedEnvFolderFor(std::string_view systemDir) {
    const std::string drive = DriveOf(systemDir);
    if (drive.empty()) return {};
    return drive + "\\Corvane\\WLEnvUpdate\\";
}

std::string CompanyRecordFileFor(std::string_view windowsDir) {
    const std::string drive = DriveOf(windowsDir);
    if (drive.empty()) return {};
    return drive + "\\Corvane\\Common\\ZRCompany.ini";
}

std::string HelpServiceParams(std::string_view exePath) {
    std::string text = "SvcBin=";
    text.append(exePath);
    text.append(";EventPlan=180;");
    return text;
}
