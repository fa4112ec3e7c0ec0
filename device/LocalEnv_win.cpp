#include "device/LocalEnv.h"

#include "foundation/TextCodec.h"

#include <windows.h>

std::string SharedEnvFolder() {
    wchar_t dir[MAX_PATH + 1] = {};
    const UINT n = GetSystemDirectoryW(dir, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) return {};
    return SharedEnvFolderFor(Narrow(std::wstring_view(dir, n)));
}

std::string CompanyRecordFile() {
    wchar_t dir[MAX_PATH + 1] = {};
    const UINT n = GetWindowsDirectoryW(dir, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) return {};
    return CompanyRecordFileFor(Narrow(std::wstring_view(dir, n)));
}
