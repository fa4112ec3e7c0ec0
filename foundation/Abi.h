#pragma once
// Building blocks of the binary contracts with the outside libraries, which are built with an
// Object Pascal toolchain: webbridge/BinaryConventions.md states the rules. Portable: the native
// build uses them to test the code that reads and writes these layouts.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Calling convention of every export, interface slot and callback shared with outside libraries.
// On the 32-bit Windows target it is __stdcall; native builds have only one.
#if defined(_WIN32) && !defined(_WIN64)
#define APPFRAME_STDCALL __stdcall
#else
#define APPFRAME_STDCALL
#endif

// ---- Boolean --------------------------------------------------------------------------------------
// One byte. As a result only AL counts (the rest of EAX is whatever was there); as an argument it
// fills a 32-bit slot in which we write 0 or 1 and read only the low byte. No implicit conversion,
// so every read goes through IsTrue.
enum class TPasBool : uint32_t {};
inline constexpr TPasBool PasBool(bool value) {
    return static_cast<TPasBool>(value ? 1u : 0u);
}
inline constexpr bool IsTrue(TPasBool value) {
    return (static_cast<uint32_t>(value) & 0xFFu) != 0;
}
inline constexpr TPasBool kPasFalse = PasBool(false);
inline constexpr TPasBool kPasTrue = PasBool(true);

// ---- Method pointers ------------------------------------------------------------------------------
// An object method (`procedure ... of object`): code, then the object, 8 bytes, passed by value.
// Code is called with Data as its first argument.
template <class Fn>
struct TPasMethod {
    Fn Code;
    void* Data;
};

// ---- Counted strings ------------------------------------------------------------------------------
// The 12 bytes before the first character of a counted 8-bit (AnsiString) or UTF-16
// (UnicodeString) string.
struct TPasStrRec {
    uint16_t CodePage;
    uint16_t ElemSize;
    int32_t RefCount; // -1: a constant nobody frees
    int32_t Length;   // in elements
};
static_assert(sizeof(TPasStrRec) == 12, "counted string header");
inline constexpr int32_t kPasConstRef = -1;

// The bytes of a counted 8-bit string given by its data pointer (nil is empty), read by length.
std::string_view PasAnsiView(const char* data);
// The characters of a counted UTF-16 string given by its data pointer.
std::u16string_view PasUnicodeView(const char16_t* data);
// The characters of a wide (system) string: byte length in the 4 bytes before the first character.
std::u16string_view PasWideView(const char16_t* data);
// A short string: a length byte, then the characters.
std::string_view PasShortView(const uint8_t* s);
// A 10-byte x87 extended (little-endian) as the nearest double.
double PasExtendedToDouble(const uint8_t* tenBytes);

// A counted 8-bit string that we hand to a library: constant layout (reference count -1), so
// the library never frees it; zero-terminated; marked with the ANSI code page the bytes are in.
// Data() is nil for the empty string.
class TPasConstAnsi {
public:
    TPasConstAnsi() = default;
    explicit TPasConstAnsi(std::string_view bytes) { Assign(bytes); }
    void Assign(std::string_view bytes);
    const char* Data() const;

private:
    std::vector<char> FBuf; // header, characters, terminating zero
};

// ---- Wide (system) strings --------------------------------------------------------------------------
// Allocated and freed by the system string allocator (SysAllocStringLen / SysFreeString on
// Windows), so a library can free what we hand it. Nil for the empty string.
char16_t* PasWideAlloc(std::u16string_view text);
void PasWideFree(char16_t* data);
// Releases what *var holds and stores a new string the caller owns.
void PasWideAssign(char16_t** var, std::u16string_view text);

// ---- Open argument lists --------------------------------------------------------------------------
// One element of an `array of const`: the value or a pointer to it, then the kind (0..17, the
// numbers of foundation/TaggedValue.h) at offset 4. 8 bytes.
struct TVarRecAbi {
    union {
        int32_t VInteger;               // 0
        uint8_t VBoolean;               // 1: one byte
        char VChar;                     // 2: one ANSI byte
        const uint8_t* VExtended;       // 3: 10-byte extended
        const uint8_t* VString;         // 4: short string
        const void* VPointer;           // 5, 7, 8, 14
        const char* VPChar;             // 6: zero-terminated ANSI
        char16_t VWideChar;             // 9
        const char16_t* VPWideChar;     // 10: zero-terminated UTF-16
        const char* VAnsiString;        // 11: counted 8-bit string data, nil = empty
        const int64_t* VCurrency;       // 12: four implied decimals
        const void* VVariant;           // 13
        const char16_t* VWideString;    // 15: wide (system) string, nil = empty
        const int64_t* VInt64;          // 16
        const char16_t* VUnicodeString; // 17: counted UTF-16 string data, nil = empty
    };
    uint8_t VType;
};
static_assert(sizeof(void*) != 4 || (sizeof(TVarRecAbi) == 8 && offsetof(TVarRecAbi, VType) == 4),
              "32-bit layout");
// Number of elements of an open list given by its last index (-1 or less: none).
inline int32_t PasOpenCount(int32_t high) {
    return high < 0 ? 0 : high + 1;
}

// ---- Variants -------------------------------------------------------------------------------------
// The OLE layout: type in the first 2 bytes, value at offset 8, 16 bytes.
enum : uint16_t {
    kVarEmpty = 0,
    kVarDouble = 5,
    kVarOleStr = 8,   // a wide (system) string the variant owns
    kVarBoolean = 11, // WordBool: -1 true, 0 false
    kVarInt64 = 20,
};
struct TPasVariant {
    uint16_t VType;
    uint16_t Reserved1;
    uint16_t Reserved2;
    uint16_t Reserved3;
    union {
        int64_t VInt64;
        int16_t VBoolean;
        double VDouble;
        char16_t* VOleStr;
        uint8_t VBytes[8];
    };
};
static_assert(sizeof(TPasVariant) == 16, "variant layout");
// Frees what the variant owns (a wide string) and leaves it empty. Other types own nothing here.
void PasVariantClear(TPasVariant& v);
