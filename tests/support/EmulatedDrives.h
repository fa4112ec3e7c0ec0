#pragma once
// Emulated drives of the test prefix (Win32 build only): tools/wine-prefix.sh maps folders of
// the build to A: and M:, N: (removable), O: (CD-ROM) and P: (fixed disk). A test lays out the
// drives it needs; every drive is emptied when the object is made and when it goes.
#ifdef _WIN32
#include <string>
#include <string_view>

class TEmulatedDrives {
public:
    TEmulatedDrives();
    ~TEmulatedDrives();
    TEmulatedDrives(const TEmulatedDrives&) = delete;
    TEmulatedDrives& operator=(const TEmulatedDrives&) = delete;

    // True when the prefix has the drives with their types.
    static bool Available();
    // Writes a file at a path on a drive, e.g. Put(L"M:\\Ferrolux\\FRXCore.dat", "...").
    static void Put(const std::wstring& path, std::string_view bytes = {});
    static void Copy(const std::wstring& from, const std::wstring& to);
    static void Folder(const std::wstring& path);

private:
    static void Clear();
};
#endif
