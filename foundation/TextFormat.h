#pragma once
// Printf-style formatting over tagged arguments, with the rules of the program's main log:
//   %[index:][-][width][.precision]type   and "%%" for a percent sign.
// Types: d (signed decimal), u (unsigned), x (hexadecimal, upper case) take 32- or 64-bit integers;
// s takes any text or character; f, e, g take floating-point and currency values. Width and
// precision may be "*" (the next argument, an integer). A format that does not match its arguments
// (wrong kind, too few arguments, unknown type) raises EFormatError; extra arguments are ignored.
#include "foundation/TaggedValue.h"

#include <stdexcept>
#include <string>
#include <string_view>

struct EFormatError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Texts are UTF-8 in and out; precision on %s counts characters, not bytes.
std::string FormatText(std::string_view format, const TVarArgs& args);

// A double in general format with the given significant digits: fixed notation unless the
// exponent needs more digits than that or the value is below 1E-5, then "1.5E20" / "1E-6".
// Always "." as decimal separator. NaN and infinities give "NAN", "INF", "-INF".
std::string FloatToGeneral(double value, int precision = 15);

// A currency value (scaled by 10000) as exact decimal text without trailing zeros: 125000 -> "12.5".
std::string CurrencyToText(int64_t scaled);
