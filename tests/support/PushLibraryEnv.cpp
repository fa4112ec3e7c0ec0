#ifdef _WIN32
#include "PushLibraryEnv.h"

#include "WinTestEnv.h"

#include <windows.h>

#include <stdexcept>

std::wstring PushLibraryPlace() {
    wchar_t windowsFolder[MAX_PATH + 1] = {};
    GetWindowsDirectoryW(windowsFolder, MAX_PATH + 1);
    return std::wstring(windowsFolder, 2) + L"\\Corvane\\ZRPNS\\ZRPNSApi.dll";
}

std::wstring PushStandIn() {
    return TestProgramFolder() + L"ZRPNSApi.dll";
}

std::wstring PushStandInWithoutFetchOffset() {
    return TestBuildFolder() + L"stubvariants\\ZRPNSApi-nofetchoffset\\ZRPNSApi.dll";
}

TPushLibraryInPlace::TPushLibraryInPlace(const std::wstring& library) {
    // A client started by an earlier test may still be ending with the library loaded: give it
    // a few seconds to let go.
    for (int tries = 0;
         !DeleteFileW(PushLibraryPlace().c_str()) && FileExists(PushLibraryPlace()) && tries < 100; ++tries)
        Sleep(100);
    if (FileExists(PushLibraryPlace()))
        throw std::runtime_error("the push-message library's place is in use");
    if (!library.empty() && !CopyTestFile(library, PushLibraryPlace()))
        throw std::runtime_error("cannot put the push-message library in its place");
}

TPushLibraryInPlace::~TPushLibraryInPlace() {
    DeleteFileW(PushLibraryPlace().c_str());
}
#endif
