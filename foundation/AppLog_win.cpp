#include "foundation/AppLogPlatform.h"
#include "foundation/ScopedWin.h"
#include "foundation/TextCodec.h"

#include <windows.h>

#include <vector>

namespace applog_detail {

TAppLogTime LocalNow() {
    SYSTEMTIME st{};
    GetLocalTime(&st);
    TAppLogTime t;
    t.Year = st.wYear;
    t.Month = st.wMonth;
    t.Day = st.wDay;
    t.Hour = st.wHour;
    t.Minute = st.wMinute;
    t.Second = st.wSecond;
    t.Millisecond = st.wMilliseconds;
    return t;
}

unsigned long CurrentThreadId() {
    return GetCurrentThreadId();
}

namespace {

// Writers serialise on one byte far beyond any log's end: a byte-range lock is mandatory only
// inside its range, so readers and the data itself are never blocked, and it reaches other
// processes too. The lock is held only for one seek and one write.
constexpr DWORD kLockOffsetHigh = 0x40000000;

class TAppendLock {
public:
    explicit TAppendLock(HANDLE file) : FFile(file) {
        FOverlapped.OffsetHigh = kLockOffsetHigh;
        FLocked = LockFileEx(FFile, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &FOverlapped) != FALSE;
    }
    ~TAppendLock() {
        if (FLocked) UnlockFileEx(FFile, 0, 1, 0, &FOverlapped);
    }
    TAppendLock(const TAppendLock&) = delete;
    TAppendLock& operator=(const TAppendLock&) = delete;

private:
    HANDLE FFile;
    OVERLAPPED FOverlapped{};
    bool FLocked = false;
};

} // namespace

bool AppendToFile(const std::string& path, std::string_view bytes) {
    // OPEN_ALWAYS never truncates a file another writer has just created. Appending alone is
    // not enough: some Windows implementations emulate it as "find the end, then write", which
    // lets concurrent writers overwrite each other's lines, so the end is found under a lock.
    UniqueHandle file(CreateFileW(Widen(path).c_str(), FILE_APPEND_DATA | FILE_WRITE_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    TAppendLock lock(file.Get());
    LARGE_INTEGER end{};
    if (!SetFilePointerEx(file.Get(), end, nullptr, FILE_END)) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(bytes.size() - done);
        if (!WriteFile(file.Get(), bytes.data() + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

void DeleteFileIfExists(const std::string& path) {
    DeleteFileW(Widen(path).c_str());
}

bool ForceDirectories(const std::string& path) {
    const std::wstring wide = Widen(path);
    if (wide.empty()) return false;
    // Create each missing parent from the top; skip the drive or share prefix, which exists.
    for (size_t pos = wide.find_first_of(L"\\/", 0); pos != std::wstring::npos;
         pos = wide.find_first_of(L"\\/", pos + 1)) {
        if (pos == 0 || wide[pos - 1] == L':' || wide[pos - 1] == L'\\' || wide[pos - 1] == L'/') continue;
        CreateDirectoryW(wide.substr(0, pos).c_str(), nullptr);
    }
    CreateDirectoryW(wide.c_str(), nullptr);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void DebugOutput(std::u16string_view text) {
    const std::wstring wide(text.begin(), text.end());
    OutputDebugStringW(wide.c_str());
}

std::string ExecutableFolder() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return std::string();
        if (n < buffer.size()) {
            std::wstring path(buffer.data(), n);
            return Narrow(path.substr(0, path.find_last_of(L"\\/") + 1));
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace applog_detail
