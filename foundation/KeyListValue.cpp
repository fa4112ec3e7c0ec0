#include "foundation/KeyListValue.h"

namespace {
bool SameTextAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

void ReplaceAll(std::string& s, std::string_view from, std::string_view to) {
    std::string out;
    size_t pos = 0;
    for (size_t hit; (hit = s.find(from, pos)) != std::string::npos; pos = hit + from.size()) {
        out.append(s, pos, hit - pos);
        out.append(to);
    }
    out.append(s, pos, std::string::npos);
    s.swap(out);
}
} // namespace

std::string GetKeyListValue(std::string_view text, std::string_view key) {
    // A matching item with an empty value is passed over so that a later one can answer; the
    // last item's empty value would answer empty text anyway, so one rule covers both cases.
    size_t start = 0;
    while (true) {
        const size_t end = text.find(';', start);
        const std::string_view item = text.substr(start, end == std::string_view::npos ? end : end - start);
        const size_t eq = item.find('=');
        const std::string_view name = eq == std::string_view::npos ? std::string_view() : item.substr(0, eq);
        const std::string_view value = eq == std::string_view::npos ? item : item.substr(eq + 1);
        if (!value.empty() && SameTextAscii(name, key)) {
            std::string result(value);
            ReplaceAll(result, "&eq%", "=");
            ReplaceAll(result, "&lim%", ";");
            return result;
        }
        if (end == std::string_view::npos) return {};
        start = end + 1;
    }
}
