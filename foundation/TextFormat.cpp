#include "foundation/TextFormat.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void Invalid(std::string_view format) {
    throw EFormatError("Format '" + std::string(format) + "' invalid or incompatible with argument");
}

[[noreturn]] void NoArgument(std::string_view format) {
    throw EFormatError("No argument for format '" + std::string(format) + "'");
}

// Number of characters (code points) in UTF-8 text, and the byte length of its first n characters.
size_t CharCount(std::string_view s) {
    size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

size_t PrefixBytes(std::string_view s, size_t chars) {
    size_t seen = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (seen == chars) return i;
            ++seen;
        }
    }
    return s.size();
}

bool IsIntegerKind(TVarKind k) {
    return k == TVarKind::vtInteger || k == TVarKind::vtInt64;
}

std::string Digits(uint64_t v, unsigned base) {
    if (v == 0) return "0";
    std::string out;
    while (v != 0) {
        out.insert(out.begin(), "0123456789ABCDEF"[v % base]);
        v /= base;
    }
    return out;
}

// Scientific digits of |v| rounded to `digits` significant digits: mantissa digits and exponent.
void Decompose(double v, int digits, std::string& mantissa, int& exponent) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", digits - 1, std::fabs(v));
    const char* e = std::strchr(buf, 'e');
    mantissa.clear();
    for (const char* p = buf; p != e; ++p)
        if (*p != '.') mantissa.push_back(*p);
    exponent = std::atoi(e + 1);
}

std::string ExponentForm(double v, int precision) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
    if (precision < 1) precision = 1;
    std::string mantissa;
    int exponent = 0;
    Decompose(v, precision, mantissa, exponent);
    if (v == 0) exponent = 0;
    std::string out = std::signbit(v) && v != 0 ? "-" : "";
    out += mantissa.substr(0, 1);
    if (mantissa.size() > 1) out += "." + mantissa.substr(1);
    std::string exp = std::to_string(std::abs(exponent));
    while (exp.size() < 3)
        exp.insert(exp.begin(), '0');
    out += (exponent < 0 ? "E-" : "E+") + exp;
    return out;
}

std::string FixedForm(double v, int precision) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
    if (precision > 18) precision = 18;
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", precision, v);
    std::string out = buf;
    if (out[0] == '-' && out.find_first_not_of("0.", 1) == std::string::npos) out.erase(0, 1);
    return out;
}

double FloatArgument(const TVarRec& arg, std::string_view format) {
    if (arg.VType == TVarKind::vtExtended) return arg.VFloat;
    if (arg.VType == TVarKind::vtCurrency) return static_cast<double>(arg.VInt) / 10000.0;
    Invalid(format);
}

} // namespace

std::string FloatToGeneral(double v, int precision) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
    if (v == 0) return "0";
    if (precision < 1) precision = 1;
    if (precision > 17) precision = 17;
    std::string mantissa;
    int exponent = 0;
    Decompose(v, precision, mantissa, exponent);
    while (mantissa.size() > 1 && mantissa.back() == '0')
        mantissa.pop_back();
    std::string out = v < 0 ? "-" : "";
    if (exponent >= precision || exponent < -5) {
        out += mantissa.substr(0, 1);
        if (mantissa.size() > 1) out += "." + mantissa.substr(1);
        out += "E" + std::to_string(exponent);
        return out;
    }
    if (exponent < 0) {
        out += "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + mantissa;
        return out;
    }
    const size_t intDigits = static_cast<size_t>(exponent) + 1;
    if (mantissa.size() <= intDigits) {
        out += mantissa + std::string(intDigits - mantissa.size(), '0');
    } else {
        out += mantissa.substr(0, intDigits) + "." + mantissa.substr(intDigits);
    }
    return out;
}

std::string CurrencyToText(int64_t scaled) {
    const bool negative = scaled < 0;
    // Magnitude as unsigned so the most negative value does not overflow.
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
    std::string out = negative ? "-" : "";
    out += Digits(magnitude / 10000, 10);
    std::string frac = Digits(magnitude % 10000, 10);
    frac.insert(frac.begin(), 4 - frac.size(), '0');
    while (!frac.empty() && frac.back() == '0')
        frac.pop_back();
    if (!frac.empty()) out += "." + frac;
    return out;
}

std::string FormatText(std::string_view format, const TVarArgs& args) {
    std::string out;
    size_t next = 0;
    size_t i = 0;
    const size_t n = format.size();
    auto takeArg = [&]() -> const TVarRec& {
        if (next >= args.size()) NoArgument(format);
        return args[next++];
    };
    auto readNumber = [&](int& value) -> bool {
        if (i < n && format[i] == '*') {
            ++i;
            const TVarRec& a = takeArg();
            if (!IsIntegerKind(a.VType)) Invalid(format);
            value = static_cast<int>(a.VInt);
            return true;
        }
        if (i >= n || format[i] < '0' || format[i] > '9') return false;
        value = 0;
        while (i < n && format[i] >= '0' && format[i] <= '9') {
            if (value < 100000) value = value * 10 + (format[i] - '0');
            ++i;
        }
        return true;
    };

    while (i < n) {
        const char c = format[i++];
        if (c != '%') {
            out.push_back(c);
            continue;
        }
        if (i >= n) Invalid(format);
        if (format[i] == '%') {
            out.push_back('%');
            ++i;
            continue;
        }
        int number = 0;
        bool haveNumber = readNumber(number);
        if (haveNumber && i < n && format[i] == ':') {
            ++i;
            if (number < 0) Invalid(format);
            next = static_cast<size_t>(number);
            haveNumber = false;
        }
        bool left = false;
        if (!haveNumber && i < n && format[i] == '-') {
            left = true;
            ++i;
        }
        int width = 0;
        if (haveNumber) {
            width = number;
        } else {
            readNumber(width);
        }
        int precision = -1;
        if (i < n && format[i] == '.') {
            ++i;
            precision = 0;
            readNumber(precision);
        }
        if (i >= n) Invalid(format);
        const char type = static_cast<char>(format[i++] | 0x20);
        const TVarRec& arg = takeArg();
        std::string piece;
        switch (type) {
        case 'd':
        case 'u':
        case 'x': {
            if (!IsIntegerKind(arg.VType)) Invalid(format);
            const bool is32 = arg.VType == TVarKind::vtInteger;
            std::string digits;
            bool negative = false;
            if (type == 'd') {
                negative = arg.VInt < 0;
                digits = Digits(
                    negative ? 0 - static_cast<uint64_t>(arg.VInt) : static_cast<uint64_t>(arg.VInt), 10);
            } else {
                const uint64_t raw = is32 ? static_cast<uint32_t>(arg.VInt) : static_cast<uint64_t>(arg.VInt);
                digits = Digits(raw, type == 'x' ? 16 : 10);
            }
            if (precision > 0 && digits.size() < static_cast<size_t>(precision))
                digits.insert(digits.begin(), static_cast<size_t>(precision) - digits.size(), '0');
            piece = (negative ? "-" : "") + digits;
            break;
        }
        case 's': {
            if (!IsTextKind(arg.VType)) Invalid(format);
            piece = arg.VText;
            if (precision >= 0) piece.resize(PrefixBytes(piece, static_cast<size_t>(precision)));
            break;
        }
        case 'f':
            piece = FixedForm(FloatArgument(arg, format), precision < 0 ? 2 : precision);
            break;
        case 'e':
            piece = ExponentForm(FloatArgument(arg, format), precision < 0 ? 15 : precision);
            break;
        case 'g':
            piece = FloatToGeneral(FloatArgument(arg, format), precision < 0 ? 15 : precision);
            break;
        default:
            Invalid(format);
        }
        const size_t chars = CharCount(piece);
        if (width > 0 && chars < static_cast<size_t>(width)) {
            const std::string pad(static_cast<size_t>(width) - chars, ' ');
            piece = left ? piece + pad : pad + piece;
        }
        out += piece;
    }
    return out;
}
