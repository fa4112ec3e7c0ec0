#pragma once
// Small owners for Win32 handles (Win32 build only). Each owner closes what it holds exactly once;
// moving transfers ownership.
#include <windows.h>

#include <utility>

namespace detail {
template <class T, class Traits>
class UniqueWin {
public:
    UniqueWin() = default;
    explicit UniqueWin(T value) : FValue(value) {}
    UniqueWin(const UniqueWin&) = delete;
    UniqueWin& operator=(const UniqueWin&) = delete;
    UniqueWin(UniqueWin&& other) noexcept : FValue(other.Release()) {}
    UniqueWin& operator=(UniqueWin&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    ~UniqueWin() { Reset(); }

    T Get() const { return FValue; }
    bool Valid() const { return Traits::IsValid(FValue); }
    explicit operator bool() const { return Valid(); }
    T Release() {
        T v = FValue;
        FValue = Traits::Empty();
        return v;
    }
    void Reset(T value = Traits::Empty()) {
        if (Traits::IsValid(FValue)) Traits::Close(FValue);
        FValue = value;
    }

private:
    T FValue = Traits::Empty();
};

struct HandleTraits {
    static HANDLE Empty() { return nullptr; }
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
struct ModuleTraits {
    static HMODULE Empty() { return nullptr; }
    static bool IsValid(HMODULE h) { return h != nullptr; }
    static void Close(HMODULE h) { FreeLibrary(h); }
};
struct RegKeyTraits {
    static HKEY Empty() { return nullptr; }
    static bool IsValid(HKEY h) { return h != nullptr; }
    static void Close(HKEY h) { RegCloseKey(h); }
};
} // namespace detail

// Kernel object handle; both null and INVALID_HANDLE_VALUE count as empty.
using UniqueHandle = detail::UniqueWin<HANDLE, detail::HandleTraits>;
// Library freed with FreeLibrary when the owner goes.
using UniqueModule = detail::UniqueWin<HMODULE, detail::ModuleTraits>;
using UniqueRegKey = detail::UniqueWin<HKEY, detail::RegKeyTraits>;

// A library that must stay loaded until the process ends (its code may still be running in
// callbacks or threads when our destructors run), so it is deliberately never freed.
class NeverUnloadedModule {
public:
    NeverUnloadedModule() = default;
    explicit NeverUnloadedModule(HMODULE h) : FModule(h) {}
    HMODULE Get() const { return FModule; }
    explicit operator bool() const { return FModule != nullptr; }

private:
    HMODULE FModule = nullptr;
};

class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&FSection); }
    ~CriticalSection() { DeleteCriticalSection(&FSection); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    void Enter() { EnterCriticalSection(&FSection); }
    void Leave() { LeaveCriticalSection(&FSection); }

private:
    CRITICAL_SECTION FSection;
};

class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection& cs) : FSection(cs) { FSection.Enter(); }
    ~CriticalSectionLock() { FSection.Leave(); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CriticalSection& FSection;
};
