#include "services/AccountLibrary.h"

#include "foundation/AppLog.h"
#include "foundation/ForeignCall.h"
#include "foundation/TextCodec.h"
#include "foundation/WinProcess.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <stdexcept>

namespace {

std::mutex gLock;
// The record's address: the library's initialise and finalise entries get this variable's address.
void* gRecord = nullptr;
// Set only when this program loaded the file itself.
HMODULE gModule = nullptr;
std::atomic<IZRAccount*> gTestAccount{nullptr};

void Debug(const std::string& utf8) {
    OutputDebugStringW(Widen(utf8).c_str());
}

std::string SystemMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring message = n && text ? std::wstring(text, n) : L"error " + std::to_wstring(error);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r'))
        message.pop_back();
    return Narrow(message);
}

bool FileExists(const std::string& pathUtf8) {
    const DWORD attributes = GetFileAttributesW(Widen(pathUtf8).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

uintptr_t ProgramInstance() {
    return reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr));
}

bool InImageOf(HMODULE library, const void* address) {
    uintptr_t base = 0;
    return !ModuleNameAt(address, &base).empty() && base == reinterpret_cast<uintptr_t>(library);
}

// The record the library published through its window class, or null. The class may be
// registered through either character set, and asked through the other one the system answers a
// conversion thunk in place of the stored address: only an answer inside the library's image is
// the record.
void* FindRecord() {
    const HMODULE library = GetModuleHandleW(Widen(kZRAccountLibName).c_str());
    if (library == nullptr) return nullptr;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wide{};
    wide.cbSize = sizeof wide;
    WNDCLASSEXA ansi{};
    ansi.cbSize = sizeof ansi;
    const std::string ansiName = Narrow(kZRAccountClassName);
    void* answers[2] = {};
    if (GetClassInfoExW(instance, kZRAccountClassName, &wide))
        answers[0] = reinterpret_cast<void*>(wide.lpfnWndProc);
    if (GetClassInfoExA(instance, ansiName.c_str(), &ansi))
        answers[1] = reinterpret_cast<void*>(ansi.lpfnWndProc);
    if (answers[0] == nullptr && answers[1] == nullptr) return nullptr;
    for (void* answer : answers)
        if (answer != nullptr && InImageOf(library, answer)) return answer;
    Debug("[" + std::string(kZRAccountLibName) + "]窗口类" + ansiName + "的地址不在库的映像内");
    return nullptr;
}

template <class Fn>
Fn Entry(void* record, size_t offset) {
    Fn fn = nullptr;
    std::memcpy(&fn, static_cast<const char*>(record) + offset, sizeof fn);
    return fn;
}

void TakeRecordLocked(void* record) {
    gRecord = record;
    CallForeign(Entry<TZRAccountInitProc>(record, kZRAccountInitOffset), &gRecord, ProgramInstance());
}

} // namespace

void LoadZRAccountAtStart() {
    const std::string inProgramFolder = ProgramFolder() + kZRAccountLibName;
    if (FileExists(inProgramFolder))
        LoadZRAccount(inProgramFolder);
    else if (FileExists(kZRAccountLibName))
        LoadZRAccount(kZRAccountLibName);
}

bool LoadZRAccount(const std::string& pathUtf8) {
    std::lock_guard<std::mutex> guard(gLock);
    if (gRecord != nullptr) return true;
    HMODULE loaded = nullptr;
    try {
        if (void* record = FindRecord()) {
            TakeRecordLocked(record);
            return true;
        }
        if (!FileExists(pathUtf8)) {
            Debug("[" + pathUtf8 + "]加载失败：[" + pathUtf8 + "]不存在！");
            return false;
        }
        loaded = LoadLibraryW(Widen(pathUtf8).c_str());
        if (loaded == nullptr) {
            Debug("[" + pathUtf8 + "]加载失败：" + SystemMessage(GetLastError()));
            return false;
        }
        if (void* record = FindRecord()) {
            gModule = loaded;
            loaded = nullptr;
            TakeRecordLocked(record);
            return true;
        }
        Debug("[" + pathUtf8 + "]加载失败：未找到全局注册信息！");
        FreeLibrary(loaded);
        return false;
    } catch (const std::exception& e) {
        Debug(std::string("[LoadZRAccount]") + e.what());
    } catch (...) {
        Debug("[LoadZRAccount]unknown error");
    }
    gRecord = nullptr;
    if (loaded != nullptr) FreeLibrary(loaded);
    return false;
}

void UnloadZRAccount() {
    std::lock_guard<std::mutex> guard(gLock);
    if (gModule == nullptr) return;
    if (gRecord != nullptr) {
        // The library goes whatever its finalisation raised.
        try {
            CallForeign(Entry<TZRAccountDoneProc>(gRecord, kZRAccountDoneOffset), &gRecord,
                        ProgramInstance());
        } catch (const std::exception& e) {
            Debug(std::string("[UnloadZRAccount]") + e.what());
        } catch (...) {
            Debug("[UnloadZRAccount]unknown error");
        }
        gRecord = nullptr;
    }
    if (!FreeLibrary(gModule)) Debug("[UnloadZRAccount]" + SystemMessage(GetLastError()));
    gModule = nullptr;
}

void SetZRAccountForTests(IZRAccount* account) {
    gTestAccount.store(account);
}

bool IsZRAccountAvailable() {
    if (gTestAccount.load() != nullptr) return true;
    std::lock_guard<std::mutex> guard(gLock);
    return gRecord != nullptr;
}

TFwRef<IZRAccount> GetZRAccount() {
    if (IZRAccount* account = gTestAccount.load()) {
        account->AddRef();
        return TFwRef<IZRAccount>(account);
    }
    void* record = nullptr;
    {
        std::lock_guard<std::mutex> guard(gLock);
        record = gRecord;
    }
    if (record == nullptr) throw std::logic_error("the account library is not loaded");
    const auto get = Entry<TZRAccountGetProc>(record, kZRAccountGetOffset);
    IZRAccount* account = nullptr;
    CallForeign(get, record, &account);
    return TFwRef<IZRAccount>(account);
}
