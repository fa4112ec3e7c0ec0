#include "foundation/TextCodec.h"

#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <vector>

// Native builds convert with iconv, naming Windows code pages the way glibc knows them.

namespace {
std::atomic<unsigned> g_codePage{936};

std::string IconvName(unsigned cp) {
    switch (cp) {
    case 936:
        return "CP936";
    case 65001:
        return "UTF-8";
    case 1200:
        return "UTF-16LE";
    default:
        return "CP" + std::to_string(cp);
    }
}

// iconv_open costs far more than converting a short text, so each thread keeps its descriptors.
class TIconvCache {
public:
    ~TIconvCache() {
        for (auto& e : FEntries)
            iconv_close(e.Cd);
    }
    iconv_t Get(const char* from, const char* to) {
        for (auto& e : FEntries)
            if (e.From == from && e.To == to) {
                iconv(e.Cd, nullptr, nullptr, nullptr, nullptr);
                return e.Cd;
            }
        iconv_t cd = iconv_open(to, from);
        if (cd != reinterpret_cast<iconv_t>(-1)) FEntries.push_back({from, to, cd});
        return cd;
    }

private:
    struct TEntry {
        std::string From, To;
        iconv_t Cd;
    };
    std::vector<TEntry> FEntries;
};

// Converts between UTF-16LE and the code page, one character at a time on failure so that an
// unmappable character becomes the substitute instead of ending the conversion.
std::string Convert(const char* from, const char* to, const char* data, size_t size, size_t unit,
                    const std::string& substitute) {
    std::string out;
    thread_local TIconvCache cache;
    iconv_t cd = cache.Get(from, to);
    if (cd == reinterpret_cast<iconv_t>(-1)) return out;
    out.resize(size * 4 + 16);
    char* in = const_cast<char*>(data);
    size_t inLeft = size;
    char* dst = out.data();
    size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            const size_t used = static_cast<size_t>(dst - out.data());
            out.resize(out.size() * 2);
            dst = out.data() + used;
            outLeft = out.size() - used;
            continue;
        }
        // Invalid or incomplete input: substitute and skip one unit.
        if (outLeft < substitute.size()) {
            const size_t used = static_cast<size_t>(dst - out.data());
            out.resize(out.size() * 2 + substitute.size());
            dst = out.data() + used;
            outLeft = out.size() - used;
        }
        for (char c : substitute) {
            *dst++ = c;
            --outLeft;
        }
        const size_t skip = inLeft < unit ? inLeft : unit;
        in += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(static_cast<size_t>(dst - out.data()));
    return out;
}
} // namespace

unsigned AnsiCodePage() {
    return g_codePage.load(std::memory_order_relaxed);
}
void SetAnsiCodePage(unsigned codePage) {
    g_codePage.store(codePage ? codePage : 936, std::memory_order_relaxed);
}

std::string Utf16ToAnsi(std::u16string_view s) {
    if (s.empty()) return {};
    std::string le;
    le.reserve(s.size() * 2);
    for (char16_t c : s) {
        le.push_back(static_cast<char>(c & 0xFF));
        le.push_back(static_cast<char>(c >> 8));
    }
    return Convert("UTF-16LE", IconvName(AnsiCodePage()).c_str(), le.data(), le.size(), 2, "?");
}

std::u16string AnsiToUtf16(std::string_view s) {
    if (s.empty()) return {};
    const std::string le = Convert(IconvName(AnsiCodePage()).c_str(), "UTF-16LE", s.data(), s.size(), 1,
                                   std::string("\xFD\xFF", 2));
    std::u16string out(le.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(le[2 * i]) |
                                       (static_cast<unsigned char>(le[2 * i + 1]) << 8));
    return out;
}
