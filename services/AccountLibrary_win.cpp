#include "services/AccountLibrary.h"

#include "foundation/AppLog.h"
#include "foundation/TextCodec.h"

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

// The record the library published through its window class, or null. Queried wide, as it is
// registered, so the system answers the stored address itself.
void* FindRecord() {
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    if (!GetClassInfoExW(GetModuleHandleW(nullptr), kZRAccountClassName, &info)) return nullptr;
    return reinterpret_cast<void*>(info.lpfnWndProc);
}

template <class Fn>
Fn Entry(void* record, size_t offset) {
    Fn fn = nullptr;
    std::memcpy(&fn, static_cast<const char*>(record) + offset, sizeof fn);
    return fn;
}

void TakeRecordLocked(void* record) {
    gRecord = record;
    Entry<TZRAccountInitProc>(record, kZRAccountInitOffset)(&gRecord, ProgramInstance());
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
        try {
            Entry<TZRAccountDoneProc>(gRecord, kZRAccountDoneOffset)(&gRecord, ProgramInstance());
        } catch (const std::exception& e) {
            Debug(std::string("[UnloadZRAccount]") + e.what());
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
    get(record, &account);
    return TFwRef<IZRAccount>(account);
}
