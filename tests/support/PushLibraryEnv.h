#pragma once
// The push-message library's one place in the Wine prefix (the Windows directory's drive +
// "\Corvane\ZRPNS\ZRPNSApi.dll") for the tests that load it (Win32 build only).
#ifdef _WIN32
#include <string>

std::wstring PushLibraryPlace();
// The stand-in built into the program folder, and its variant without "FetchOffsetEx".
std::wstring PushStandIn();
std::wstring PushStandInWithoutFetchOffset();

// Puts a copy of `library` in that place for the scope, or makes sure none is there when
// `library` is empty; the place is left empty afterwards. Libraries loaded from there must be
// freed before the scope ends.
class TPushLibraryInPlace {
public:
    explicit TPushLibraryInPlace(const std::wstring& library);
    ~TPushLibraryInPlace();
    TPushLibraryInPlace(const TPushLibraryInPlace&) = delete;
    TPushLibraryInPlace& operator=(const TPushLibraryInPlace&) = delete;
};
#endif
