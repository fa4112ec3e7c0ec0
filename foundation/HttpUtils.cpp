#include "foundation/HttpUtils.h"

#include "foundation/TextCodec.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool IsAsciiAlnum(unsigned c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

void AppendPercentByte(std::string& out, unsigned char b) {
    out.push_back('%');
    out.push_back(kHexDigits[b >> 4]);
    out.push_back(kHexDigits[b & 0x0F]);
}

} // namespace

std::string THttpUtils::HTTPEncode(std::string_view utf8) {
    // The classic form encoder keeps "!$'()@" as well; the back end expects them escaped, so
    // the two passes collapse into one set of safe characters.
    std::string out;
    out.reserve(utf8.size() * 3);
    for (char ch : utf8) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (IsAsciiAlnum(c) || c == '*' || c == '.' || c == '_' || c == '-') {
            out.push_back(static_cast<char>(c));
        } else if (c == ' ') {
            out.push_back('+');
        } else {
            AppendPercentByte(out, c);
        }
    }
    return out;
}

std::string UrlEscape(std::u16string_view text, bool spaceAsPlus) {
    std::string out;
    out.reserve(text.size() * 3);
    for (char16_t ch : text) {
        const unsigned c = ch;
        if (IsAsciiAlnum(c) || c == '-' || c == '.' || c == '_') {
            out.push_back(static_cast<char>(c));
        } else if (c == ' ') {
            out += spaceAsPlus ? "+" : "%20";
        } else {
            out.push_back('%');
            // At least two digits, more for codes above 0xFF.
            int shift = c > 0xFFF ? 12 : c > 0xFF ? 8 : 4;
            for (; shift >= 0; shift -= 4)
                out.push_back(kHexDigits[(c >> shift) & 0x0F]);
        }
    }
    return out;
}

std::string UrlEscape(std::string_view utf8, bool spaceAsPlus) {
    return UrlEscape(std::u16string_view(Utf8ToUtf16(utf8)), spaceAsPlus);
}
