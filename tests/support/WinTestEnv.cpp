#ifdef _WIN32
#include "WinTestEnv.h"

#include <windows.h>

#include <atomic>
#include <stdexcept>

namespace {
std::wstring EnvValue(const wchar_t* name, bool* present = nullptr) {
    std::wstring buf(32768, L'\0');
    SetLastError(0);
    const DWORD n = GetEnvironmentVariableW(name, buf.data(), static_cast<DWORD>(buf.size()));
    if (present) *present = n > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    buf.resize(n < buf.size() ? n : 0);
    return buf;
}

std::string ToUtf8(const std::wstring& w) {
    if (w.empty()) return {};
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr, nullptr);
    return out;
}
} // namespace

std::wstring TestBuildFolder() {
    std::wstring dir = EnvValue(L"APPFRAME_BINARY_DIR");
    if (dir.empty()) throw std::runtime_error("APPFRAME_BINARY_DIR is not set (run the tests through CTest)");
    if (dir[0] == L'/') dir = L"Z:" + dir;
    for (auto& c : dir)
        if (c == L'/') c = L'\\';
    if (dir.back() != L'\\') dir += L'\\';
    return dir;
}

std::wstring TestProgramFolder() {
    return TestBuildFolder() + L"program\\";
}

TTestFolder::TTestFolder(std::wstring_view tag) {
    static std::atomic<unsigned> counter{0};
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    FPath = std::wstring(temp) + L"appframe-" + std::wstring(tag) + L"-" +
            std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter) + L"\\";
    DeleteTree(FPath);
    CreateFolders(FPath);
}

TTestFolder::~TTestFolder() {
    DeleteTree(FPath);
}

std::string TTestFolder::Utf8() const {
    return ToUtf8(FPath);
}

TScopedEnv::TScopedEnv(const wchar_t* name, const std::wstring& value) : FName(name) {
    FOld = EnvValue(name, &FHadOld);
    SetEnvironmentVariableW(name, value.c_str());
}

TScopedEnv::~TScopedEnv() {
    SetEnvironmentVariableW(FName.c_str(), FHadOld ? FOld.c_str() : nullptr);
}

void CreateFolders(const std::wstring& folder) {
    for (size_t i = 3; i <= folder.size(); ++i) {
        if (i == folder.size() || folder[i] == L'\\' || folder[i] == L'/')
            CreateDirectoryW(folder.substr(0, i).c_str(), nullptr);
    }
}

bool CopyTestFile(const std::wstring& from, const std::wstring& to) {
    const size_t slash = to.find_last_of(L"\\/");
    if (slash != std::wstring::npos) CreateFolders(to.substr(0, slash));
    if (CopyFileW(from.c_str(), to.c_str(), FALSE)) return true;
    const DWORD err = GetLastError();
    return (err == ERROR_SHARING_VIOLATION || err == ERROR_ACCESS_DENIED || err == ERROR_USER_MAPPED_FILE) &&
           FileExists(to);
}

void DeleteTree(const std::wstring& path) {
    std::wstring base = path;
    while (!base.empty() && (base.back() == L'\\' || base.back() == L'/'))
        base.pop_back();
    const DWORD attrs = GetFileAttributesW(base.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) return;
    if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesW(base.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(base.c_str());
        return;
    }
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((base + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = fd.cFileName;
            if (name != L"." && name != L"..") DeleteTree(base + L"\\" + name);
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(base.c_str());
}

bool FileExists(const std::wstring& path) {
    const DWORD attrs = GetFileAttributesW(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::wstring& path) {
    const DWORD attrs = GetFileAttributesW(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadWholeFile(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::string out;
    char buf[65536];
    DWORD n = 0;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0)
        out.append(buf, n);
    CloseHandle(h);
    return out;
}

void WriteWholeFile(const std::wstring& path, std::string_view bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write " + ToUtf8(path));
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

std::vector<std::string> ReadFileLines(const std::wstring& path) {
    const std::string text = ReadWholeFile(path);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}
std::vector<JsonRef> ReadJsonLines(const std::wstring& path, const std::string& kind) {
    std::vector<JsonRef> out;
    for (const std::string& line : ReadFileLines(path)) {
        JsonRef v = ParseJson(line);
        if (v && (kind.empty() || v->GetS("kind") == kind)) out.push_back(v);
    }
    return out;
}

#endif
