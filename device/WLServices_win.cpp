#include "device/WLServices.h"

#include "foundation/ScopedWin.h"
#include "foundation/TextCodec.h"

#include <vector>

namespace {
std::string ReadText(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD bytes = 0;
    LONG rc = RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes);
    std::vector<wchar_t> data;
    // The value may grow between the two calls; ask again until it fits.
    while (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) {
        if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
        data.assign(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD size = static_cast<DWORD>((data.size() - 1) * sizeof(wchar_t));
        rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        if (rc == ERROR_SUCCESS) {
            if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
            // Stored text need not end with a zero; stop at the first one if it does.
            size_t n = size / sizeof(wchar_t);
            for (size_t i = 0; i < n; ++i) {
                if (data[i] == L'\0') {
                    n = i;
                    break;
                }
            }
            return Narrow(std::wstring_view(data.data(), n));
        }
        if (rc != ERROR_MORE_DATA) break;
        bytes = size;
    }
    return {};
}
} // namespace

TWLService& TWLService::GetInstance() {
    static TWLService instance;
    return instance;
}

TWLService::TWLService(HKEY root, std::wstring keyPath) : FRoot(root), FKeyPath(std::move(keyPath)) {}

std::string TWLService::BREVInstallPath() const {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(FRoot, FKeyPath.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS) return {};
    UniqueRegKey key(raw);
    const std::string fileName = ReadText(key.Get(), L"FileName");
    const std::string installedPath = ReadText(key.Get(), L"InstalledPath");
    return installedPath + fileName;
}
