#include "device/FRXDeviceRules.h"

#include "foundation/Crypto.h"

#include <array>
#include <vector>

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        if (at == std::string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
}

// The three parts of a version as numbers; false when the text is not three whole numbers of
// at most 999.
bool VersionParts(std::string_view version, std::array<int, 3>& parts) {
    std::string text(version);
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    std::string_view rest(text);
    if (!rest.empty() && rest.front() == 'V') rest.remove_prefix(1);
    const std::vector<std::string_view> pieces = Split(rest, '.');
    if (pieces.size() != 3) return false;
    for (size_t i = 0; i < 3; ++i) {
        const std::string_view p = pieces[i];
        if (p.empty() || p.size() > 9) return false;
        int value = 0;
        for (char c : p) {
            if (c < '0' || c > '9') return false;
            value = value * 10 + (c - '0');
        }
        if (value > 999) return false;
        parts[i] = value;
    }
    return true;
}

} // namespace

bool IsFRXVersionAtLeast(std::string_view version, std::string_view minimum) {
    std::array<int, 3> have{};
    std::array<int, 3> need{};
    if (!VersionParts(version, have) || !VersionParts(minimum, need)) return false;
    return have >= need;
}

std::string FirstThreeVersionParts(std::string_view fileVersion) {
    size_t dots = 0;
    for (size_t i = 0; i < fileVersion.size(); ++i) {
        if (fileVersion[i] == '.' && ++dots == 3) return std::string(fileVersion.substr(0, i));
    }
    return std::string(fileVersion);
}

std::string MirrorFolderName(std::string_view productCode, std::string_view areaCode,
                             std::string_view mainProductCode) {
    std::string key(productCode);
    key.append(areaCode);
    key.append(mainProductCode);
    return "FRXLocalMirror\\{" + Md5Hex(key) + "}\\";
}

std::string MirrorAppsFolderForArea(std::string_view areaCode) {
    if (areaCode.substr(0, 2) == "44" && areaCode.substr(0, 4) != "4403") return "Apps\\WARDLANEGD_USB\\";
    return "Apps\\WARDLANE3.0_USB\\";
}

std::string AutorunLauncherPath(std::string_view volumeRoot, std::string_view openValue) {
    while (!openValue.empty() && (openValue.front() == ' ' || openValue.front() == '\t'))
        openValue.remove_prefix(1);
    while (!openValue.empty() && (openValue.back() == ' ' || openValue.back() == '\t'))
        openValue.remove_suffix(1);
    // "\Setup\x.exe" is the volume root's too; "\\server\..." is a network path.
    if (openValue.size() >= 2 && IsSeparator(openValue[0]) && IsSeparator(openValue[1])) return {};
    if (!openValue.empty() && IsSeparator(openValue.front())) openValue.remove_prefix(1);
    if (openValue.empty()) return {};
    if (openValue.find(':') != std::string_view::npos) return {}; // a drive or a stream
    std::string_view rest = openValue;
    for (;;) {
        size_t end = 0;
        while (end < rest.size() && !IsSeparator(rest[end]))
            ++end;
        const std::string_view step = rest.substr(0, end);
        // ".." and Windows' "..." alike climb out.
        if (step.size() >= 2 && step.find_first_not_of('.') == std::string_view::npos) return {};
        if (end == rest.size()) break;
        rest.remove_prefix(end + 1);
    }
    std::string path(volumeRoot);
    if (path.empty() || !IsSeparator(path.back())) path += '\\';
    path.append(openValue);
    return path;
}

std::string GetDirParent(std::string_view dir, int upTag) {
    std::string_view s = dir;
    if (!s.empty() && IsSeparator(s.back())) s.remove_suffix(1);
    if (s.size() <= 2) return std::string(dir);
    for (int i = 0; i < upTag && s.size() > 2; ++i) {
        const size_t at = s.find_last_of("\\/");
        // Not into the "\\" of a network path.
        if (at == std::string_view::npos || (at < 2 && IsSeparator(s.front()))) break;
        s = s.substr(0, at);
    }
    return std::string(s) + "\\";
}

bool IsSkippedDriveRoot(std::string_view root) {
    if (root.empty()) return false;
    const char c = root.front();
    return c == 'A' || c == 'a' || c == 'B' || c == 'b';
}

std::string ProfileFileMissingText(std::string_view file) {
    return "ini文件[" + std::string(file) + "]不存在，无法进行相关节点值的读取。";
}

std::string ProfileReadFailedText(std::string_view file, std::string_view section, std::string_view key,
                                  std::string_view message) {
    return "读取ini文件[" + std::string(file) + "]的指定节点[" + std::string(section) + "][" +
           std::string(key) + "]值时出现异常:" + std::string(message);
}
