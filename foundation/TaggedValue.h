#pragma once
// Open argument lists of tagged values: native code packs them into script calls, parameter
// JSON, parameter lists and flat JSON objects. Each value carries a kind whose number is part of
// the contract (it appears in the "not support type: %d" failure).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class TVarKind : int {
    vtInteger = 0, // 32-bit integer
    vtBoolean = 1,
    vtChar = 2,     // 8-bit character
    vtExtended = 3, // extended float
    vtString = 4,   // short string
    vtPointer = 5,
    vtPChar = 6, // 8-bit zero-terminated text
    vtObject = 7,
    vtClass = 8,
    vtWideChar = 9,
    vtPWideChar = 10,  // UTF-16 zero-terminated text
    vtAnsiString = 11, // 8-bit counted string
    vtCurrency = 12,   // 64-bit, four implied decimals
    vtVariant = 13,
    vtInterface = 14,
    vtWideString = 15,
    vtInt64 = 16,
    vtUnicodeString = 17,
};

struct TVarRec {
    TVarKind VType = TVarKind::vtInteger;
    int64_t VInt = 0;               // vtInteger, vtInt64, vtBoolean (0/1), vtCurrency (scaled by 10000)
    double VFloat = 0;              // vtExtended
    const void* VPointer = nullptr; // vtPointer, vtObject, vtClass, vtInterface, vtVariant
    std::string VText;              // every text and character kind, as UTF-8

    static TVarRec Integer(int32_t v) { return Make(TVarKind::vtInteger, v); }
    static TVarRec Int64(int64_t v) { return Make(TVarKind::vtInt64, v); }
    static TVarRec Boolean(bool v) { return Make(TVarKind::vtBoolean, v ? 1 : 0); }
    static TVarRec Currency(int64_t scaled) { return Make(TVarKind::vtCurrency, scaled); }
    static TVarRec Extended(double v) {
        TVarRec r;
        r.VType = TVarKind::vtExtended;
        r.VFloat = v;
        return r;
    }
    static TVarRec Text(std::string_view utf8, TVarKind kind = TVarKind::vtUnicodeString) {
        TVarRec r;
        r.VType = kind;
        r.VText = std::string(utf8);
        return r;
    }
    static TVarRec Pointer(const void* p, TVarKind kind = TVarKind::vtPointer) {
        TVarRec r;
        r.VType = kind;
        r.VPointer = p;
        return r;
    }

private:
    static TVarRec Make(TVarKind k, int64_t v) {
        TVarRec r;
        r.VType = k;
        r.VInt = v;
        return r;
    }
};

using TVarArgs = std::vector<TVarRec>;

// True for the kinds whose value is text in VText.
inline bool IsTextKind(TVarKind k) {
    switch (k) {
    case TVarKind::vtChar:
    case TVarKind::vtString:
    case TVarKind::vtPChar:
    case TVarKind::vtWideChar:
    case TVarKind::vtPWideChar:
    case TVarKind::vtAnsiString:
    case TVarKind::vtWideString:
    case TVarKind::vtUnicodeString:
        return true;
    default:
        return false;
    }
}
