#include "webbridge/AppFramework.h"

#include <cstring>

std::atomic<bool> UseAltExports{false};

std::string ChooseFrameworkLibPath(const std::string& programFolder,
                                   const std::function<bool(const std::string&)>& exists, bool& found) {
    const std::string candidates[] = {
        programFolder + kFrameworkLibName,
        kFrameworkLibCommonPath,
        programFolder + kFrameworkLibSubfolder + kFrameworkLibName,
        kFrameworkLibRootPath,
    };
    for (const std::string& candidate : candidates) {
        if (exists(candidate)) {
            found = true;
            return candidate;
        }
    }
    found = false;
    return candidates[3];
}

bool IsCefSubProcArgs(const std::vector<std::string>& args) {
    return !args.empty() && args.back().find("prefetch:") != std::string::npos;
}

std::string TextInBuffer(const char* buffer, size_t size) {
    if (buffer == nullptr) return {};
    const void* end = std::memchr(buffer, 0, size);
    return std::string(buffer, end ? static_cast<const char*>(end) - buffer : size);
}

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
    std::vector<std::string> words;
    size_t i = 0;
    const size_t n = commandLine.size();
    while (true) {
        while (i < n && (commandLine[i] == ' ' || commandLine[i] == '\t'))
            ++i;
        if (i >= n) break;
        std::string word;
        bool quoted = false;
        for (; i < n && (quoted || (commandLine[i] != ' ' && commandLine[i] != '\t')); ++i) {
            if (commandLine[i] == '"')
                quoted = !quoted;
            else
                word.push_back(commandLine[i]);
        }
        words.push_back(std::move(word));
    }
    return words;
}
