#pragma once
// Shared by the stand-in libraries and programs (test equipment, header only): each records what
// it was asked as one JSON line appended to a log file.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace stub {

inline std::string WideToUtf8(const wchar_t* s, int len = -1) {
    if (!s) return {};
    if (len < 0) len = static_cast<int>(wcslen(s));
    if (len == 0) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, s, len, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s, len, &out[0], n, nullptr, nullptr);
    return out;
}

inline std::string AnsiToUtf8(const char* s) {
    if (!s || !*s) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, s, -1, &w[0], n);
    return WideToUtf8(w.c_str());
}

inline std::string JsonQuote(const std::string& utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buf[8];
                wsprintfA(buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

// The whole file, or empty when it cannot be read (another process may be writing it).
inline std::string ReadFileText(const std::wstring& path) {
    std::string text;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return text;
    char buf[8192];
    DWORD n = 0;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0)
        text.append(buf, n);
    CloseHandle(h);
    return text;
}

inline std::wstring EnvVar(const wchar_t* name) {
    wchar_t buf[32768];
    const DWORD n = GetEnvironmentVariableW(name, buf, 32768);
    if (n == 0 || n >= 32768) return {};
    return std::wstring(buf, n);
}

inline long EnvInt(const wchar_t* name, long def) {
    const std::wstring v = EnvVar(name);
    if (v.empty()) return def;
    return static_cast<long>(wcstoul(v.c_str(), nullptr, 0));
}

// Folder of the module (library or program) holding `address`, with its trailing separator.
inline std::wstring ModuleFolder(const void* address) {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCWSTR>(address), &module);
    wchar_t path[MAX_PATH * 4] = {};
    const DWORD n = GetModuleFileNameW(module, path, MAX_PATH * 4);
    std::wstring folder(path, n);
    const size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

// Appends `line` and a line break in one write, so lines of concurrent writers never mix.
inline void AppendLine(const std::wstring& file, const std::string& line) {
    const std::string text = line + "\n";
    for (int attempt = 0; attempt < 200; ++attempt) {
        HANDLE h = CreateFileW(file.c_str(), FILE_APPEND_DATA,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
            CloseHandle(h);
            return;
        }
        if (GetLastError() != ERROR_SHARING_VIOLATION) return;
        Sleep(5);
    }
}

// The log named by the environment variable, else `fallbackName` beside the module.
inline std::wstring LogFile(const wchar_t* envName, const wchar_t* fallbackName, const void* moduleAddress) {
    std::wstring file = EnvVar(envName);
    if (file.empty()) file = ModuleFolder(moduleAddress) + fallbackName;
    return file;
}

} // namespace stub
