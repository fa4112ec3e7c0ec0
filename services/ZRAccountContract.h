#pragma once
// The whole contract with the account library "ZRAccount.dll": how its registration record is
// found, the record's entries, and the account, login-manager, user and error objects, by vtable
// slot. Binary rules: webbridge/BinaryConventions.md. In particular:
// - Slot positions count the three reference-counting slots as 0-2, so position N is vtable
//   index N. Unused positions keep placeholders (answering 0, so implementations may leave them);
//   never reorder.
// - Text arguments are zero-terminated UTF-16 (a null pointer reads as empty). Text results are
//   wide (system) strings through the hidden last argument, freed by the caller.
// - Interface results (hidden argument) and out interface arguments are references the caller
//   owns; the caller clears the variable before the call.
// - Booleans are one byte (TPasBool).
// - The library is called from the user-interface thread and the background runner: its objects'
//   reference counts and operations must be safe across threads.
// No windows.h here: the native build compiles it too.
#include "foundation/Abi.h"
#include "webbridge/AppContextIntf.h"

#include <cstddef>
#include <cstdint>

inline constexpr char kZRAccountLibName[] = "ZRAccount.dll";
// The library registers a window class of this name in the process; its window-procedure field
// holds the address of the registration record. Registered and queried wide, so that the system
// hands back the stored address and not a translation handle.
inline constexpr wchar_t kZRAccountClassName[] = L"corvane.zraccount.class";

// ---- Registration record ------------------------------------------------------------------------
// A table of pointer-sized entries published by the library; the program uses three, each the
// address of a function (entry 20 like entries 8 and 12: an assumption, the record's other
// entries are the library's).
// Initialise and finalise take the address of the variable that holds the record's address and the
// program's module instance handle.
using TZRAccountInitProc = void(APPFRAME_STDCALL*)(void** recordVar, uintptr_t instance);
using TZRAccountDoneProc = void(APPFRAME_STDCALL*)(void** recordVar, uintptr_t instance);
class IZRAccount;
// Yields the library's account object (an interface result: a reference the caller owns).
using TZRAccountGetProc = void(APPFRAME_STDCALL*)(void* record, IZRAccount** result);

inline constexpr size_t kZRAccountInitOffset = 8;
inline constexpr size_t kZRAccountDoneOffset = 12;
inline constexpr size_t kZRAccountGetOffset = 20;
inline constexpr size_t kZRAccountRecordMinSize = 24;

// ---- Objects ----------------------------------------------------------------------------------------
// The objects' common base: the program never asks for it by identifier, and the slot positions
// below are absolute, so the interfaces derive from IFwUnknown directly; stand-ins answer it.
// {5E0C2A91-7B3D-4F66-A1C8-3D9E2F4B6A10}
inline constexpr TFwGuid IID_IZRABase = {
    0x5E0C2A91, 0x7B3D, 0x4F66, {0xA1, 0xC8, 0x3D, 0x9E, 0x2F, 0x4B, 0x6A, 0x10}};

class IZRAError : public IFwUnknown {
public:
    virtual int32_t APPFRAME_STDCALL Reserved3() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved4() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved5() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved6() { return 0; }
    virtual void APPFRAME_STDCALL GetErrorText(char16_t** result) = 0; // 7: why a log-in was refused

protected:
    ~IZRAError() = default;
};

class IZRAUser : public IFwUnknown {
public:
    virtual int32_t APPFRAME_STDCALL Reserved3() { return 0; }
    virtual void APPFRAME_STDCALL GetUserInfo(char16_t** result) = 0; // 4: user-information JSON
    virtual int32_t APPFRAME_STDCALL Reserved5() { return 0; }
    virtual void APPFRAME_STDCALL GetToken(char16_t** result) = 0;     // 6
    virtual void APPFRAME_STDCALL GetAccountId(char16_t** result) = 0; // 7
    virtual int32_t APPFRAME_STDCALL Reserved8() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved9() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved10() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved11() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved12() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved13() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved14() { return 0; }
    virtual void APPFRAME_STDCALL Refresh() = 0; // 15

protected:
    ~IZRAUser() = default;
};

class IZRALoginManager : public IFwUnknown {
public:
    virtual int32_t APPFRAME_STDCALL Reserved3() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved4() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved5() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved6() { return 0; }
    virtual TPasBool APPFRAME_STDCALL IsLoggedIn() = 0;                  // 7
    virtual void APPFRAME_STDCALL GetCurrentUser(IZRAUser** result) = 0; // 8: nil when nobody is
    virtual int32_t APPFRAME_STDCALL Reserved9() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved10() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved11() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved12() { return 0; }
    virtual void APPFRAME_STDCALL SetAppID(const char16_t* appId) = 0; // 13
    // 14: nil logs out. The user is borrowed for the call (the library keeps its own reference).
    virtual void APPFRAME_STDCALL SetCurrentUser(IZRAUser* user) = 0;

protected:
    ~IZRALoginManager() = default;
};

class IZRAccount : public IFwUnknown {
public:
    virtual int32_t APPFRAME_STDCALL Reserved3() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved4() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved5() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved6() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved7() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved8() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved9() { return 0; }
    virtual void APPFRAME_STDCALL GetLoginManager(IZRALoginManager** result) = 0; // 10
    virtual int32_t APPFRAME_STDCALL Reserved11() { return 0; }
    virtual void APPFRAME_STDCALL InitApp(const char16_t* appId, const char16_t* productKey,
                                          const char16_t* webRoot) = 0; // 12
    virtual int32_t APPFRAME_STDCALL Reserved13() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved14() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved15() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved16() { return 0; }
    // 17: the user when accepted; otherwise no user and the error saying why. Both out arguments
    // are cleared by the caller and receive references the caller owns.
    virtual void APPFRAME_STDCALL Login(const char16_t* loginName, const char16_t* password,
                                        IZRAError** error, IZRAUser** user) = 0;
    virtual int32_t APPFRAME_STDCALL Reserved18() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved19() { return 0; }
    // 20: a user made from a login-information document handed over by another program; nil when
    // refused.
    virtual void APPFRAME_STDCALL CreateLoginUser(const char16_t* loginInfo, IZRAUser** user) = 0;

protected:
    ~IZRAccount() = default;
};
