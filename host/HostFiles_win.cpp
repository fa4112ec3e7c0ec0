#include "host/HostFiles.h"

#include "foundation/ScopedWin.h"
#include "foundation/TextCodec.h"

#include <windows.h>

bool FileExistsUtf8(const std::string& path) {
    const DWORD attrs = GetFileAttributesW(Widen(path).c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadFileBytes(const std::string& path, std::string& bytes) {
    UniqueHandle file(CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > 0x7FFFFFFF) return false;
    std::string data(static_cast<size_t>(size.QuadPart), '\0');
    DWORD total = 0;
    while (total < data.size()) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), &data[total], static_cast<DWORD>(data.size() - total), &got, nullptr))
            return false;
        if (got == 0) break;
        total += got;
    }
    data.resize(total);
    bytes.swap(data);
    return true;
}

std::string ExecutablePath() {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) {
            buf.resize(n);
            return Narrow(buf);
        }
        buf.resize(buf.size() * 2);
    }
}
