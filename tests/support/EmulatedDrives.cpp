#ifdef _WIN32
#include "support/EmulatedDrives.h"

#include "support/WinTestEnv.h"

#include <windows.h>

namespace {
constexpr const wchar_t* kRoots[] = {L"A:\\", L"M:\\", L"N:\\", L"O:\\", L"P:\\"};
}

TEmulatedDrives::TEmulatedDrives() {
    Clear();
}

TEmulatedDrives::~TEmulatedDrives() {
    Clear();
}

bool TEmulatedDrives::Available() {
    return GetDriveTypeW(L"M:\\") == DRIVE_REMOVABLE && GetDriveTypeW(L"N:\\") == DRIVE_REMOVABLE &&
           GetDriveTypeW(L"O:\\") == DRIVE_CDROM && GetDriveTypeW(L"P:\\") == DRIVE_FIXED &&
           GetDriveTypeW(L"A:\\") == DRIVE_REMOVABLE;
}

void TEmulatedDrives::Clear() {
    for (const wchar_t* root : kRoots) {
        WIN32_FIND_DATAW data;
        const std::wstring pattern = std::wstring(root) + L"*";
        HANDLE find = FindFirstFileW(pattern.c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) continue;
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            DeleteTree(root + name);
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
}

void TEmulatedDrives::Put(const std::wstring& path, std::string_view bytes) {
    const size_t slash = path.find_last_of(L'\\');
    CreateFolders(path.substr(0, slash));
    WriteWholeFile(path, bytes);
}

void TEmulatedDrives::Copy(const std::wstring& from, const std::wstring& to) {
    CopyTestFile(from, to);
}

void TEmulatedDrives::Folder(const std::wstring& path) {
    CreateFolders(path);
}
#endif
