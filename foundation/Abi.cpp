#include "foundation/Abi.h"

#include "foundation/TextCodec.h"

#include <cmath>
#include <cstring>

std::string_view PasAnsiView(const char* data) {
    if (data == nullptr) return {};
    TPasStrRec rec;
    std::memcpy(&rec, data - sizeof rec, sizeof rec);
    return {data, rec.Length > 0 ? static_cast<size_t>(rec.Length) : 0};
}

std::u16string_view PasUnicodeView(const char16_t* data) {
    if (data == nullptr) return {};
    TPasStrRec rec;
    std::memcpy(&rec, reinterpret_cast<const char*>(data) - sizeof rec, sizeof rec);
    return {data, rec.Length > 0 ? static_cast<size_t>(rec.Length) : 0};
}

std::u16string_view PasWideView(const char16_t* data) {
    if (data == nullptr) return {};
    uint32_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<const char*>(data) - sizeof bytes, sizeof bytes);
    return {data, bytes / 2};
}

std::string_view PasShortView(const uint8_t* s) {
    if (s == nullptr) return {};
    return {reinterpret_cast<const char*>(s + 1), s[0]};
}

double PasExtendedToDouble(const uint8_t* tenBytes) {
    if (tenBytes == nullptr) return 0;
    uint64_t mantissa = 0;
    std::memcpy(&mantissa, tenBytes, 8);
    const unsigned signExp = tenBytes[8] | (tenBytes[9] << 8);
    const bool negative = (signExp & 0x8000u) != 0;
    const int exponent = static_cast<int>(signExp & 0x7FFFu);
    double value;
    if (exponent == 0x7FFF) {
        value = (mantissa << 1) == 0 ? HUGE_VAL : std::nan("");
    } else {
        // The integer bit is explicit: value = mantissa * 2^(exponent - 16383 - 63).
        value = std::ldexp(static_cast<double>(mantissa), (exponent == 0 ? 1 : exponent) - 16383 - 63);
    }
    return negative ? -value : value;
}

void TPasConstAnsi::Assign(std::string_view bytes) {
    FBuf.clear();
    if (bytes.empty()) return;
    const TPasStrRec rec{static_cast<uint16_t>(AnsiCodePage()), 1, kPasConstRef,
                         static_cast<int32_t>(bytes.size())};
    FBuf.resize(sizeof rec + bytes.size() + 1);
    std::memcpy(FBuf.data(), &rec, sizeof rec);
    std::memcpy(FBuf.data() + sizeof rec, bytes.data(), bytes.size());
    FBuf.back() = 0;
}

const char* TPasConstAnsi::Data() const {
    return FBuf.empty() ? nullptr : FBuf.data() + sizeof(TPasStrRec);
}

void PasWideAssign(char16_t** var, std::u16string_view text) {
    if (var == nullptr) return;
    char16_t* fresh = PasWideAlloc(text);
    PasWideFree(*var);
    *var = fresh;
}

void PasVariantClear(TPasVariant& v) {
    if (v.VType == kVarOleStr) PasWideFree(v.VOleStr);
    std::memset(&v, 0, sizeof v);
}
