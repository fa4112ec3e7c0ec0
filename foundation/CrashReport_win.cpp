#include "foundation/CrashReport.h"

#include "foundation/AppLog.h"
#include "foundation/TextCodec.h"
#include "foundation/WinProcess.h"

#include <windows.h>

#include <dbghelp.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

LPTOP_LEVEL_EXCEPTION_FILTER gPrevious = nullptr;
LONG gReporting = 0;
// Made at installation, so that a crash needs as little as possible of the process.
wchar_t gFolder[MAX_PATH] = {};

using TMiniDumpWriteDump = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                         PMINIDUMP_EXCEPTION_INFORMATION, PMINIDUMP_USER_STREAM_INFORMATION,
                                         PMINIDUMP_CALLBACK_INFORMATION);

// Leaves room for one more: the oldest dumps beyond kKeptCrashDumps - 1 go.
void PruneDumps() {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((std::wstring(gFolder) + L"\\AppFrame_*.dmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        names.emplace_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    // The names begin with the date and time, so their order is their age.
    std::sort(names.begin(), names.end());
    for (size_t i = 0; i + (kKeptCrashDumps - 1) < names.size(); ++i)
        DeleteFileW((std::wstring(gFolder) + L"\\" + names[i]).c_str());
}

std::wstring WriteDump(EXCEPTION_POINTERS* pointers) {
    TMiniDumpWriteDump write = nullptr;
    BindExport(LoadLibraryW(L"dbghelp.dll"), "MiniDumpWriteDump", write);
    if (write == nullptr) return {};
    PruneDumps();
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t path[MAX_PATH + 64];
    std::swprintf(path, sizeof path / sizeof *path, L"%ls\\AppFrame_%04u%02u%02u_%02u%02u%02u_%lu.dmp",
                  gFolder, now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                  GetCurrentProcessId());
    const HANDLE file =
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    MINIDUMP_EXCEPTION_INFORMATION info{GetCurrentThreadId(), pointers, FALSE};
    const BOOL ok =
        write(GetCurrentProcess(), GetCurrentProcessId(), file,
              static_cast<MINIDUMP_TYPE>(MiniDumpNormal | MiniDumpWithThreadInfo), &info, nullptr, nullptr);
    CloseHandle(file);
    if (!ok) {
        DeleteFileW(path);
        return {};
    }
    return path;
}

// "ZRAccount.dll+0x1A2B", or "?" outside every module.
std::string ModuleAndOffset(const void* address) {
    uintptr_t base = 0;
    const std::string name = ModuleNameAt(address, &base);
    if (name.empty()) return "?";
    char offset[24];
    std::snprintf(offset, sizeof offset, "+0x%X",
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(address) - base));
    return name + offset;
}

LONG WINAPI CrashFilter(EXCEPTION_POINTERS* pointers) {
    // One report per process: a second crash while reporting only passes on.
    if (InterlockedExchange(&gReporting, 1) == 0) {
        try {
            const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
            const std::wstring dump = WriteDump(pointers);
            char head[96];
            std::snprintf(head, sizeof head, "Unhandled exception %08lX at %p (", record.ExceptionCode,
                          record.ExceptionAddress);
            WriteAppLog(
                std::string(head) + ModuleAndOffset(record.ExceptionAddress) + ") on thread " +
                std::to_string(GetCurrentThreadId()) +
                (dump.empty() ? "; no crash dump could be written" : "; crash dump: " + Narrow(dump)));
        } catch (...) {
        }
    }
    return gPrevious ? gPrevious(pointers) : EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

void InstallCrashReport() noexcept {
    try {
        const std::wstring folder = Widen(AppLogFolder());
        if (folder.size() >= MAX_PATH) return;
        std::copy(folder.begin(), folder.end(), gFolder);
        gPrevious = SetUnhandledExceptionFilter(&CrashFilter);
    } catch (...) {
    }
}
