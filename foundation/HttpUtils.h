#pragma once
// Form and URL encodings used when request parameters are signed and after encryption.
// Signatures depend on these rules byte for byte.
#include <string>
#include <string_view>

class THttpUtils {
public:
    // Form encoding of UTF-8 text: ASCII letters, digits, "*", ".", "_" and "-" stay, a space
    // becomes "+", every other byte becomes "%XX" (uppercase hex).
    static std::string HTTPEncode(std::string_view utf8);
};

// Escapes each UTF-16 code unit of the text: ASCII letters, digits, "-", "." and "_" stay; a
// space becomes "+" (spaceAsPlus) or "%20"; anything else becomes "%" and its code in uppercase
// hex with at least two digits. The UTF-8 overload decodes first.
std::string UrlEscape(std::string_view utf8, bool spaceAsPlus);
std::string UrlEscape(std::u16string_view text, bool spaceAsPlus);
