#pragma once
// Call-context interfaces exchanged with the web framework library. The library implements them
// and hands them to native code with every page call; native code calls them by vtable slot, so
// the declaration order below IS the binary contract: QueryInterface, AddRef, Release, then the
// operations in slot order. Never reorder, insert or remove a method; unused slots keep a
// placeholder so the used ones stay at their positions. The placeholders answer 0, so that an
// implementation (a stand-in, a test fake) need not write them out.
//
// Binary rules: webbridge/BinaryConventions.md. In particular:
// - Text arguments are zero-terminated 8-bit text in the ANSI code page; a null pointer reads as
//   empty text.
// - Text results (const char*) point into the called object and stay valid until the next call
//   on that same object (from any thread); copy them at once. A null result reads as empty.
// - Booleans are one byte (TPasBool: only the low byte counts). Doubles are IEEE 64-bit.
// - Values and Params answer through the hidden result argument: a reference the caller owns and
//   releases (the non-virtual GetValues/GetParams wrap that). A context handed to native code by
//   an event is borrowed for the duration of the callback (AddRef it to keep it longer); one
//   obtained from GetAppContext is owned. Reference counts are thread-safe.
// No windows.h here: this header is compiled natively too.
#include "foundation/Abi.h"

#include <cstdint>

using TFwHResult = int32_t;

// Same layout as the Win32 GUID.
struct TFwGuid {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};

inline bool operator==(const TFwGuid& a, const TFwGuid& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
inline bool operator!=(const TFwGuid& a, const TFwGuid& b) {
    return !(a == b);
}

inline constexpr TFwHResult kFwSOk = 0;
inline constexpr TFwHResult kFwENoInterface = static_cast<TFwHResult>(0x80004002u);

// {00000000-0000-0000-C000-000000000046}
inline constexpr TFwGuid IID_IFwUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {77BDC84C-5B83-4844-9E98-A7F8A4FBCEA5}
inline constexpr TFwGuid IID_IAppContext = {
    0x77BDC84C, 0x5B83, 0x4844, {0x9E, 0x98, 0xA7, 0xF8, 0xA4, 0xFB, 0xCE, 0xA5}};
// {F856069E-F7FE-4010-8A38-3E7902D06AC8}
inline constexpr TFwGuid IID_IJsCallerInf = {
    0xF856069E, 0xF7FE, 0x4010, {0x8A, 0x38, 0x3E, 0x79, 0x02, 0xD0, 0x6A, 0xC8}};
// {60FDC766-3A8B-4099-8152-8EE674FA7A48}
inline constexpr TFwGuid IID_IControlParamsInf = {
    0x60FDC766, 0x3A8B, 0x4099, {0x81, 0x52, 0x8E, 0xE6, 0x74, 0xFA, 0x7A, 0x48}};

// Value type codes of page parameters, both directions. Nothing else is ever produced.
enum TJsParamType : int32_t {
    jptInteger = 0, // 64-bit when read from caller-parameter JSON
    jptBoolean = 1,
    jptFloat = 3,
    jptText = 4,
};

// Holds one owned interface reference (e.g. a context from GetAppContext) and releases it.
template <class T>
class TFwRef {
public:
    TFwRef() = default;
    explicit TFwRef(T* owned) : FPtr(owned) {}
    TFwRef(const TFwRef&) = delete;
    TFwRef& operator=(const TFwRef&) = delete;
    TFwRef(TFwRef&& other) noexcept : FPtr(other.FPtr) { other.FPtr = nullptr; }
    TFwRef& operator=(TFwRef&& other) noexcept {
        if (this != &other) {
            Reset();
            FPtr = other.FPtr;
            other.FPtr = nullptr;
        }
        return *this;
    }
    ~TFwRef() { Reset(); }
    void Reset() {
        if (FPtr) FPtr->Release();
        FPtr = nullptr;
    }
    T* Get() const { return FPtr; }
    T* operator->() const { return FPtr; }
    T& operator*() const { return *FPtr; }
    explicit operator bool() const { return FPtr != nullptr; }
    T* Detach() {
        T* p = FPtr;
        FPtr = nullptr;
        return p;
    }

private:
    T* FPtr = nullptr;
};

// Answer an interface result through the hidden argument: what the variable held is released and
// it receives a reference the caller owns. StoreInterface adds that reference; StoreOwned hands
// over one already held.
template <class T>
void StoreInterface(T** result, T* intf) {
    if (result == nullptr) return;
    if (intf != nullptr) intf->AddRef();
    T* old = *result;
    *result = intf;
    if (old != nullptr) old->Release();
}
template <class T>
void StoreOwned(T** result, TFwRef<T> ref) {
    if (result == nullptr) return;
    T* old = *result;
    *result = ref.Detach();
    if (old != nullptr) old->Release();
}

// The three reference-counting slots every interface starts with.
class IFwUnknown {
public:
    virtual TFwHResult APPFRAME_STDCALL QueryInterface(const TFwGuid& iid, void** object) = 0;
    virtual uint32_t APPFRAME_STDCALL AddRef() = 0;
    virtual uint32_t APPFRAME_STDCALL Release() = 0;

protected:
    ~IFwUnknown() = default; // lifetime goes through Release, never delete
};

// The context's named-value store (no identifier of its own; reached only through
// IAppContext::Values). Names and texts are ANSI. Slots 1, 2, 5, 8-11 are unused by the program.
class IAppValues : public IFwUnknown {
public:
    virtual int32_t APPFRAME_STDCALL Reserved1() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved2() { return 0; }
    virtual void APPFRAME_STDCALL SetValue(const char* name, const char* value) = 0;  // 3
    virtual void APPFRAME_STDCALL SetIntValue(const char* name, int32_t value) = 0;   // 4
    virtual int32_t APPFRAME_STDCALL Reserved5() { return 0; }                        // 5
    virtual void APPFRAME_STDCALL SetBoolValue(const char* name, TPasBool value) = 0; // 6
    virtual const char* APPFRAME_STDCALL GetValue(const char* name) = 0;              // 7: "" if unset
    virtual int32_t APPFRAME_STDCALL Reserved8() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved9() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved10() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved11() { return 0; }
    virtual int32_t APPFRAME_STDCALL ValueCount() = 0; // 12

protected:
    ~IAppValues() = default;
};

// A call's parameter list and its return text. Indexes count from 0.
class IJsCallerInf : public IFwUnknown {
public:
    virtual int32_t APPFRAME_STDCALL Reserved1() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved2() { return 0; }
    virtual void APPFRAME_STDCALL AddStrParam(int32_t typeCode, const char* value) = 0; // 3
    virtual void APPFRAME_STDCALL AddIntParam(int32_t typeCode, int32_t value) = 0;     // 4
    virtual void APPFRAME_STDCALL AddFloatParam(int32_t typeCode, double value) = 0;    // 5
    virtual void APPFRAME_STDCALL AddBoolParam(int32_t typeCode, TPasBool value) = 0;   // 6
    virtual int32_t APPFRAME_STDCALL Reserved7() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved8() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved9() { return 0; }
    // 10: the caller-parameter JSON ("CallerNo", "WebID", "FunName", "paramTypes", "paramValues").
    virtual const char* APPFRAME_STDCALL ParamText() = 0;
    virtual int32_t APPFRAME_STDCALL ParamCount() = 0;                // 11
    virtual const char* APPFRAME_STDCALL ParamStr(int32_t index) = 0; // 12: "" out of range
    virtual int32_t APPFRAME_STDCALL Reserved13() { return 0; }
    // 14: `reserved` is always passed as 0. 0 out of range.
    virtual int32_t APPFRAME_STDCALL ParamInt(int32_t index, int32_t reserved) = 0;
    virtual int32_t APPFRAME_STDCALL Reserved15() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved16() { return 0; }
    virtual void APPFRAME_STDCALL SetResult(const char* value) = 0; // 17
    virtual const char* APPFRAME_STDCALL Result() = 0;              // 18

protected:
    ~IJsCallerInf() = default;
};

// One page call's context (or a fresh one from GetAppContext).
class IAppContext : public IFwUnknown {
public:
    virtual int32_t APPFRAME_STDCALL Reserved1() { return 0; }
    // 2: non-zero when the page waits for the answer through a callback.
    virtual int32_t APPFRAME_STDCALL CallerNo() = 0;
    // 3: the page window's handle (a window handle fits 32 bits on this platform).
    virtual int32_t APPFRAME_STDCALL WebID() = 0;
    // 4 and 5: managed results through the hidden argument; *result is cleared by the caller and
    // receives a reference the caller owns.
    virtual void APPFRAME_STDCALL Values(IAppValues** result) = 0;
    virtual void APPFRAME_STDCALL Params(IJsCallerInf** result) = 0;

    // Owned references from slots 4 and 5 (null when the library gives none).
    TFwRef<IAppValues> GetValues() {
        IAppValues* values = nullptr;
        Values(&values);
        return TFwRef<IAppValues>(values);
    }
    TFwRef<IJsCallerInf> GetParams() {
        IJsCallerInf* params = nullptr;
        Params(&params);
        return TFwRef<IJsCallerInf>(params);
    }

protected:
    ~IAppContext() = default;
};

// Control parameters handed to extension modules and accepted by GetWebCoreForm. The program
// calls none of its operations; all thirteen slots are placeholders.
class IControlParamsInf : public IFwUnknown {
public:
    virtual int32_t APPFRAME_STDCALL Reserved1() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved2() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved3() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved4() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved5() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved6() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved7() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved8() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved9() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved10() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved11() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved12() { return 0; }
    virtual int32_t APPFRAME_STDCALL Reserved13() { return 0; }

protected:
    ~IControlParamsInf() = default;
};

// Slot of an operation as foreign code counts it: 0-based vtable index = 3 + position - 1.
inline constexpr int FwVtableIndex(int position) {
    return 2 + position;
}
