#include "host/HostConfig.h"

#include "foundation/TextCodec.h"
#include "host/HostFiles.h"

#include <cstdlib>

namespace {

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = LowerAscii(c);
    return out;
}

bool IsValidUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        size_t extra;
        uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= s.size()) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

// Byte length of the first maxChars characters of UTF-8 text.
size_t PrefixBytes(std::string_view utf8, size_t maxChars) {
    size_t i = 0, chars = 0;
    while (i < utf8.size() && chars < maxChars) {
        ++i;
        while (i < utf8.size() && (static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80)
            ++i;
        ++chars;
    }
    return i;
}

bool IsDecimalNumber(std::string_view t) {
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    size_t digits = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9')
        ++i, ++digits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9')
            ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        size_t expDigits = 0;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9')
            ++i, ++expDigits;
        if (expDigits == 0) return false;
    }
    return i == t.size();
}

// First member of obj whose name equals name without regard to case.
JsonRef MemberNoCase(const JsonRef& obj, std::string_view name) {
    if (!obj || !obj->IsType(stObject)) return nullptr;
    for (const std::string& k : obj->Keys())
        if (SameTextAscii(k, name)) return obj->GetO(k);
    return nullptr;
}

} // namespace

std::string TrimBlanks(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ')
        --e;
    return std::string(text.substr(b, e - b));
}

bool SameTextAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

TRunModes ParseRunModes(const std::vector<std::string>& params) {
    TRunModes modes;
    for (const std::string& p : params) {
        const std::string probe = ";" + LowerAscii(p) + ";";
        if (probe.find("runmode=qnb") != std::string::npos)
            modes.IsRunInQNB = true;
        else if (probe.find("needopenhelp") != std::string::npos)
            modes.NeedOpenHelp = true;
    }
    return modes;
}

std::string DecodeConfigText(std::string_view bytes) {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return std::string(bytes.substr(3));
    if (bytes.size() >= 2 && (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF")) {
        const bool bigEndian = bytes[0] == '\xFE';
        std::u16string units;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const auto lo = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
            const auto hi = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
            units.push_back(static_cast<char16_t>(lo | (hi << 8)));
        }
        return Utf16ToUtf8(units);
    }
    if (IsValidUtf8(bytes)) return std::string(bytes);
    return AnsiToUtf8(bytes);
}

std::string CfgValueFromJson(const JsonRef& doc, std::string_view section, std::string_view key,
                             const std::string& defaultValue) {
    const JsonRef value = MemberNoCase(MemberNoCase(doc, section), key);
    if (!value) return defaultValue;
    std::string text = TrimBlanks(value->AsString());
    return text.empty() ? defaultValue : text;
}

std::string ReadCfgFileValue(const std::string& path, std::string_view section, std::string_view key,
                             const std::string& defaultValue) {
    std::string bytes;
    if (!ReadFileBytes(path, bytes)) return defaultValue;
    return CfgValueFromJson(ParseJson(DecodeConfigText(bytes)), section, key, defaultValue);
}

std::string ResolveAppId(const std::string& enviParamsAppId, const JsonRef& manifest) {
    if (!TrimBlanks(enviParamsAppId).empty()) return enviParamsAppId;
    if (manifest && manifest->IsType(stObject)) {
        const std::string fromManifest = manifest->GetS("AppID");
        if (!TrimBlanks(fromManifest).empty()) return fromManifest;
    }
    return kDefaultAppId;
}

std::vector<TExtModuleSpec> ParseExtendModules(const JsonRef& manifest, const std::string& appPath) {
    std::vector<TExtModuleSpec> specs;
    if (!manifest || !manifest->IsType(stObject)) return specs;
    const JsonRef ext = manifest->GetO("extendModule");
    const JsonRef modules = ext && ext->IsType(stObject) ? ext->GetO("Modules") : nullptr;
    if (!modules || !modules->IsType(stObject)) return specs;
    for (const std::string& name : modules->Keys()) {
        if (name.empty()) continue;
        const JsonRef v = modules->GetO(name);
        const std::string text = v ? v->AsString() : std::string();
        const size_t dot = text.find('.');
        if (dot == std::string::npos) continue;
        const std::string_view after = std::string_view(text).substr(dot + 1);
        TExtModuleSpec entry;
        entry.Name = name;
        entry.FunName = TrimBlanks(after.substr(0, PrefixBytes(after, kMaxModuleFunctionChars)));
        entry.DllPath = appPath + text.substr(0, dot) + ".dll";
        specs.push_back(std::move(entry));
    }
    return specs;
}

std::string TaxCalendarJson(std::string_view areaCodeAnswer) {
    const JsonRef obj = NewJsonObject();
    obj->PutS("nsrsbh", "");
    obj->PutS("areaCode", areaCodeAnswer.substr(0, PrefixBytes(areaCodeAnswer, 4)));
    obj->PutS("name", "");
    obj->PutS("position", "");
    obj->PutS("phone", "");
    obj->PutS("email", "");
    obj->PutS("yhlx", "0");
    obj->PutS("yhtz", "");
    obj->PutS("business", "");
    obj->PutS("taxType", "001");
    obj->PutS("ywlx", "008");
    return PrintJson(obj);
}

bool ControlParamToBool(std::string_view text) {
    if (IsDecimalNumber(text)) return std::strtod(std::string(text).c_str(), nullptr) != 0.0;
    return SameTextAscii(text, "true");
}

int32_t StrToIntDef(std::string_view text, int32_t defaultValue) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return defaultValue;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return defaultValue;
        value = value * 10 + (text[i] - '0');
        if (value > 2147483648LL) return defaultValue;
    }
    if (negative) value = -value;
    if (value > 2147483647LL) return defaultValue;
    return static_cast<int32_t>(value);
}
