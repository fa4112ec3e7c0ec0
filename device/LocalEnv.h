#pragma once
// Where sibling products of the same maker keep their shared files, and the small texts and
// result rules used when talking to their libraries. Paths are UTF-8.
#include <cstdint>
#include <string>
#include <string_view>

// "C:" for "C:\Windows\system32", "\\server\share" for a UNC path, empty text for anything else.
std::string DriveOf(std::string_view path);

// The drive root of the system directory + "Corvane\WLEnvUpdate\"; empty text when the path
// names no drive (never a relative folder, so a library is never looked for in the current one).
std::string SharedEnvFolderFor(std::string_view systemDir);

// The drive of the Windows directory + "\Corvane\Common\ZRCompany.ini"; empty text when the
// path names no drive.
std::string CompanyRecordFileFor(std::string_view windowsDir);

// The help-service deployment text for the service executable.
std::string HelpServiceParams(std::string_view exePath);

// The help-service library reports success in the low byte of its result.
inline bool IsServiceCallSuccess(int32_t result) {
    return (static_cast<uint32_t>(result) & 0xFFu) != 0;
}

#ifdef _WIN32
// This machine's shared environment folder, e.g. "C:\Corvane\WLEnvUpdate\"; empty text when the
// system directory cannot be read.
std::string SharedEnvFolder();
// This machine's company-record file, e.g. "C:\Corvane\Common\ZRCompany.ini"; empty text when
// the Windows directory cannot be read.
std::string CompanyRecordFile();
#endif
