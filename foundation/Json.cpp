#include "foundation/Json.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace {

// ---------------------------------------------------------------------------------------------
// Number texts

// Parses the decimal text as a double, locale-free. The caller has checked the grammar.
// from_chars reports over- and underflow without a value; tell them apart by the position of
// the first significant digit so 1e999 gives an infinity and 1e-999 a zero.
double DecimalToDouble(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    std::string_view body = text;
    if (!body.empty() && (body.front() == '-' || body.front() == '+')) body.remove_prefix(1);
    double value = 0;
    auto [ptr, ec] = std::from_chars(body.data(), body.data() + body.size(), value);
    (void)ptr;
    if (ec == std::errc()) return negative ? -value : value;

    const size_t expPos = body.find_first_of("eE");
    const std::string_view mantissa = body.substr(0, expPos);
    int64_t exponent = 0;
    if (expPos != std::string_view::npos) {
        std::string_view e = body.substr(expPos + 1);
        bool expNegative = false;
        if (!e.empty() && (e.front() == '-' || e.front() == '+')) {
            expNegative = e.front() == '-';
            e.remove_prefix(1);
        }
        for (char c : e) {
            exponent = exponent * 10 + (c - '0');
            if (exponent > 1000000000) break; // far past any double either way
        }
        if (expNegative) exponent = -exponent;
    }
    // Power of ten of the first significant digit, counting the units digit as 0.
    const size_t point = mantissa.find('.');
    const int64_t intDigits = static_cast<int64_t>(point == std::string_view::npos ? mantissa.size() : point);
    int64_t lead = 0;
    bool any = false;
    int64_t index = 0;
    for (char c : mantissa) {
        if (c == '.') continue;
        if (c != '0') {
            lead = intDigits - 1 - index;
            any = true;
            break;
        }
        ++index;
    }
    double result = 0;
    if (any && lead + exponent > 0) result = std::numeric_limits<double>::infinity();
    return negative ? -result : result;
}

// Whole decimal numbers only: an optional sign and digits, within the range of int64.
bool WholeDecimalToInt(std::string_view text, int64_t& out) {
    std::string_view digits = text;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) digits.remove_prefix(1);
    if (digits.empty()) return false;
    for (char c : digits)
        if (c < '0' || c > '9') return false;
    if (text.front() == '+') text.remove_prefix(1);
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && ptr == text.data() + text.size();
}

// A decimal number as people write it in a string member: sign, digits with an optional
// fraction (either side of the point may be empty, not both), optional exponent.
bool DecimalTextToDouble(std::string_view text, double& out) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
        size_t expDigits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i, ++expDigits;
        if (expDigits == 0) return false;
    }
    if (i != text.size()) return false;
    // from_chars wants digits before a point
    std::string normal(text);
    const size_t signLen = (normal[0] == '-' || normal[0] == '+') ? 1 : 0;
    if (normal[signLen] == '.') normal.insert(signLen, "0");
    out = DecimalToDouble(normal);
    return true;
}

int64_t RoundToInt64(double d) {
    if (std::isnan(d)) return 0;
    // 2^63 is exact as a double; anything at or past it saturates.
    if (d >= 9223372036854775808.0) return std::numeric_limits<int64_t>::max();
    if (d < -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
    const double r = std::round(d);
    if (r >= 9223372036854775808.0) return std::numeric_limits<int64_t>::max();
    return static_cast<int64_t>(r);
}

int64_t RoundCurrency(int64_t scaled) {
    int64_t q = scaled / 10000;
    const int64_t r = scaled % 10000;
    if (r >= 5000) ++q;
    if (r <= -5000) --q;
    return q;
}

void AppendInt(std::string& out, int64_t v) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, res.ptr);
}

void AppendDouble(std::string& out, double v) {
    if (!std::isfinite(v)) {
        out += "null";
        return;
    }
    if (v == 0) v = 0; // "-0" would read back as the integer 0 and print differently the second time
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof buf, v); // shortest text that reads back the same
    out.append(buf, res.ptr);
}

void AppendCurrency(std::string& out, int64_t scaled) {
    uint64_t magnitude = scaled < 0 ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
    if (scaled < 0) out += '-';
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, magnitude / 10000);
    out.append(buf, res.ptr);
    unsigned fraction = static_cast<unsigned>(magnitude % 10000);
    if (fraction == 0) return;
    char digits[5] = {char('0' + fraction / 1000), char('0' + fraction / 100 % 10),
                      char('0' + fraction / 10 % 10), char('0' + fraction % 10), 0};
    size_t len = 4;
    while (digits[len - 1] == '0')
        --len;
    out += '.';
    out.append(digits, len);
}

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\0':
            out += "\\u0000";
            break;
        default:
            out += c;
        }
    }
    out += '"';
}

// ---------------------------------------------------------------------------------------------
// Nodes

class TJsonNode : public TJsonValue {
public:
    JsonRef GetO(std::string_view) const override { return nullptr; }
    void PutO(std::string_view, JsonRef) override { throw std::logic_error("JSON value is not an object"); }
    bool Delete(std::string_view) override { return false; }
    std::vector<std::string> Keys() const override { return {}; }
    size_t Length() const override { return 0; }
    JsonRef O(size_t) const override { return nullptr; }
    void Add(JsonRef) override { throw std::logic_error("JSON value is not an array"); }
    std::string AsString() const override { return PrintJson(*this); }
    int64_t AsInteger() const override { return 0; }
    bool AsBoolean() const override { return true; }
    double AsDouble() const override { return 0; }
};

class TJsonScalar final : public TJsonNode {
public:
    explicit TJsonScalar(TSuperType kind) : FKind(kind) {}
    TSuperType DataType() const override { return FKind; }

    std::string AsString() const override {
        if (FKind == stNull) return {};
        if (FKind == stString) return FText;
        return PrintJson(*this);
    }
    int64_t AsInteger() const override {
        switch (FKind) {
        case stBoolean:
        case stInt:
            return FInt;
        case stDouble:
            return RoundToInt64(FDouble);
        case stCurrency:
            return RoundCurrency(FInt);
        case stString: {
            int64_t v = 0;
            return WholeDecimalToInt(FText, v) ? v : 0;
        }
        default:
            return 0;
        }
    }
    bool AsBoolean() const override {
        switch (FKind) {
        case stNull:
            return false;
        case stDouble:
            return FDouble != 0;
        case stString:
            return !FText.empty();
        default:
            return FInt != 0;
        }
    }
    double AsDouble() const override {
        switch (FKind) {
        case stBoolean:
        case stInt:
            return static_cast<double>(FInt);
        case stDouble:
            return FDouble;
        case stCurrency:
            return static_cast<double>(FInt) / 10000.0;
        case stString: {
            double v = 0;
            return DecimalTextToDouble(FText, v) ? v : 0;
        }
        default:
            return 0;
        }
    }

    TSuperType FKind;
    int64_t FInt = 0; // stBoolean (0/1), stInt, stCurrency (scaled)
    double FDouble = 0;
    std::string FText;
};

void ReleaseIteratively(std::vector<JsonRef>& pending);

class TJsonArray final : public TJsonNode {
public:
    ~TJsonArray() override { ReleaseIteratively(FItems); }
    TSuperType DataType() const override { return stArray; }
    size_t Length() const override { return FItems.size(); }
    JsonRef O(size_t index) const override { return index < FItems.size() ? FItems[index] : nullptr; }
    void Add(JsonRef value) override { FItems.push_back(value ? std::move(value) : NewJsonNull()); }

    std::vector<JsonRef> FItems;
};

class TJsonObject final : public TJsonNode {
public:
    ~TJsonObject() override {
        std::vector<JsonRef> pending;
        pending.reserve(FMembers.size());
        for (auto& m : FMembers)
            pending.push_back(std::move(m.second));
        ReleaseIteratively(pending);
    }
    TSuperType DataType() const override { return stObject; }

    JsonRef GetO(std::string_view key) const override {
        const size_t i = Find(key);
        return i == kNone ? nullptr : FMembers[i].second;
    }
    void PutO(std::string_view key, JsonRef value) override {
        if (!value) value = NewJsonNull();
        const size_t i = Find(key);
        if (i != kNone) {
            FMembers[i].second = std::move(value);
            return;
        }
        FMembers.emplace_back(std::string(key), std::move(value));
        if (FMembers.size() > kIndexFrom) {
            if (FIndex.empty())
                Reindex();
            else
                FIndex.emplace(FMembers.back().first, FMembers.size() - 1);
        }
    }
    bool Delete(std::string_view key) override {
        const size_t i = Find(key);
        if (i == kNone) return false;
        FMembers.erase(FMembers.begin() + static_cast<std::ptrdiff_t>(i));
        if (FMembers.size() > kIndexFrom)
            Reindex();
        else
            FIndex.clear();
        return true;
    }
    std::vector<std::string> Keys() const override {
        std::vector<std::string> keys;
        keys.reserve(FMembers.size());
        for (const auto& m : FMembers)
            keys.push_back(m.first);
        return keys;
    }

    std::vector<std::pair<std::string, JsonRef>> FMembers; // in the order first set

private:
    static constexpr size_t kNone = static_cast<size_t>(-1);
    // Small objects are scanned; big ones (parsed from hostile text, say) get a hash index, kept
    // up to date by the writers so readers on several threads never build it.
    static constexpr size_t kIndexFrom = 8;

    size_t Find(std::string_view key) const {
        if (!FIndex.empty()) {
            auto it = FIndex.find(std::string(key));
            return it == FIndex.end() ? kNone : it->second;
        }
        for (size_t i = 0; i < FMembers.size(); ++i)
            if (FMembers[i].first == key) return i;
        return kNone;
    }
    void Reindex() {
        FIndex.clear();
        for (size_t i = 0; i < FMembers.size(); ++i)
            FIndex.emplace(FMembers[i].first, i);
    }

    std::unordered_map<std::string, size_t> FIndex;
};

// A deep chain would otherwise be freed by one nested destructor call per level.
void ReleaseIteratively(std::vector<JsonRef>& pending) {
    while (!pending.empty()) {
        JsonRef node = std::move(pending.back());
        pending.pop_back();
        if (!node || node.use_count() != 1) continue;
        if (auto* array = dynamic_cast<TJsonArray*>(node.get())) {
            for (auto& item : array->FItems)
                pending.push_back(std::move(item));
            array->FItems.clear();
        } else if (auto* object = dynamic_cast<TJsonObject*>(node.get())) {
            for (auto& m : object->FMembers)
                pending.push_back(std::move(m.second));
            object->FMembers.clear();
        }
    }
}

std::shared_ptr<TJsonScalar> NewScalar(TSuperType kind) {
    return std::make_shared<TJsonScalar>(kind);
}

// ---------------------------------------------------------------------------------------------
// Parsing

class TJsonParser {
public:
    explicit TJsonParser(std::string_view text) : FText(text.substr(0, text.find('\0'))) {}

    JsonRef Parse() {
        if (FText.substr(0, 3) == "\xEF\xBB\xBF") FPos = 3; // files saved with a byte-order mark
        struct TFrame {
            JsonRef Node;
            std::string Key; // member awaiting its value (objects)
        };
        std::vector<TFrame> stack;
        for (;;) {
            // A value starts here.
            SkipBlanks();
            if (AtEnd()) return nullptr;
            JsonRef value;
            const char c = FText[FPos];
            if (c == '{' || c == '[') {
                if (stack.size() >= static_cast<size_t>(kJsonMaxDepth)) return nullptr;
                ++FPos;
                JsonRef container = c == '{' ? NewJsonObject() : NewJsonArray();
                SkipBlanks();
                if (!AtEnd() && FText[FPos] == (c == '{' ? '}' : ']')) {
                    ++FPos;
                    value = std::move(container);
                } else {
                    stack.push_back({std::move(container), {}});
                    if (c == '{' && !ReadMemberKey(stack.back().Key)) return nullptr;
                    continue;
                }
            } else {
                value = ReadScalar();
                if (!value) return nullptr;
            }
            // The value is complete: attach it, then close as many containers as the text does.
            for (;;) {
                if (stack.empty()) return value;
                TFrame& top = stack.back();
                const bool isObject = top.Node->DataType() == stObject;
                if (isObject)
                    top.Node->PutO(top.Key, std::move(value));
                else
                    top.Node->Add(std::move(value));
                SkipBlanks();
                if (AtEnd()) return nullptr;
                const char next = FText[FPos++];
                if (next == ',') {
                    if (isObject && !ReadMemberKey(top.Key)) return nullptr;
                    break;
                }
                if (next != (isObject ? '}' : ']')) return nullptr;
                value = std::move(top.Node);
                stack.pop_back();
            }
        }
    }

private:
    bool AtEnd() const { return FPos >= FText.size(); }

    void SkipBlanks() {
        while (!AtEnd()) {
            const char c = FText[FPos];
            if (c != ' ' && c != '\t' && c != '\n' && c != '\r') break;
            ++FPos;
        }
    }

    bool ReadMemberKey(std::string& key) {
        SkipBlanks();
        if (AtEnd() || FText[FPos] != '"' || !ReadString(key)) return false;
        SkipBlanks();
        if (AtEnd() || FText[FPos] != ':') return false;
        ++FPos;
        return true;
    }

    bool Literal(std::string_view word) {
        if (FText.substr(FPos, word.size()) != word) return false;
        FPos += word.size();
        return true;
    }

    JsonRef ReadScalar() {
        const char c = FText[FPos];
        if (c == '"') {
            auto s = NewScalar(stString);
            if (!ReadString(s->FText)) return nullptr;
            return s;
        }
        if (c == 't' && Literal("true")) return NewJsonBool(true);
        if (c == 'f' && Literal("false")) return NewJsonBool(false);
        if (c == 'n' && Literal("null")) return NewJsonNull();
        if (c == '-' || (c >= '0' && c <= '9')) return ReadNumber();
        return nullptr;
    }

    bool Digit() const { return !AtEnd() && FText[FPos] >= '0' && FText[FPos] <= '9'; }

    JsonRef ReadNumber() {
        const size_t start = FPos;
        if (FText[FPos] == '-') ++FPos;
        if (!Digit()) return nullptr;
        if (FText[FPos] == '0')
            ++FPos;
        else
            while (Digit())
                ++FPos;
        bool integral = true;
        if (!AtEnd() && FText[FPos] == '.') {
            ++FPos;
            if (!Digit()) return nullptr;
            while (Digit())
                ++FPos;
            integral = false;
        }
        if (!AtEnd() && (FText[FPos] == 'e' || FText[FPos] == 'E')) {
            ++FPos;
            if (!AtEnd() && (FText[FPos] == '+' || FText[FPos] == '-')) ++FPos;
            if (!Digit()) return nullptr;
            while (Digit())
                ++FPos;
            integral = false;
        }
        const std::string_view text = FText.substr(start, FPos - start);
        if (integral) {
            int64_t v = 0;
            auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
            (void)ptr;
            if (ec == std::errc()) return NewJsonInt(v);
        }
        return NewJsonDouble(DecimalToDouble(text)); // also integers beyond int64
    }

    static void AppendUtf8(std::string& out, uint32_t cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    bool ReadHex4(uint32_t& value) {
        if (FText.size() - FPos < 4) return false;
        value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = FText[FPos++];
            value <<= 4;
            if (c >= '0' && c <= '9')
                value |= static_cast<uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                value |= static_cast<uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                value |= static_cast<uint32_t>(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    // One UTF-8 sequence starting at FPos; a malformed one is replaced by U+FFFD per maximal
    // invalid subpart, so a cut-off Chinese character costs one replacement, not the document.
    void CopyUtf8Sequence(std::string& out) {
        const auto byteAt = [this](size_t i) { return static_cast<unsigned char>(FText[i]); };
        const unsigned char lead = byteAt(FPos);
        size_t need = 0;
        unsigned char lo = 0x80, hi = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF)
            need = 1;
        else if (lead == 0xE0)
            need = 2, lo = 0xA0;
        else if (lead >= 0xE1 && lead <= 0xEC)
            need = 2;
        else if (lead == 0xED)
            need = 2, hi = 0x9F;
        else if (lead >= 0xEE && lead <= 0xEF)
            need = 2;
        else if (lead == 0xF0)
            need = 3, lo = 0x90;
        else if (lead >= 0xF1 && lead <= 0xF3)
            need = 3;
        else if (lead == 0xF4)
            need = 3, hi = 0x8F;
        size_t len = 1;
        bool complete = need > 0;
        for (size_t k = 0; k < need; ++k) {
            const size_t i = FPos + len;
            if (i >= FText.size()) {
                complete = false;
                break;
            }
            const unsigned char b = byteAt(i);
            const unsigned char bLo = k == 0 ? lo : 0x80, bHi = k == 0 ? hi : 0xBF;
            if (b < bLo || b > bHi) {
                complete = false;
                break;
            }
            ++len;
        }
        if (complete)
            out.append(FText.substr(FPos, len));
        else
            out += "\xEF\xBF\xBD";
        FPos += len;
    }

    bool ReadString(std::string& out) {
        ++FPos; // opening quote
        out.clear();
        while (!AtEnd()) {
            const char c = FText[FPos];
            if (c == '"') {
                ++FPos;
                return true;
            }
            if (static_cast<unsigned char>(c) >= 0x80) {
                CopyUtf8Sequence(out);
                continue;
            }
            ++FPos;
            if (c != '\\') {
                out += c; // control characters included: our own printer writes them raw
                continue;
            }
            if (AtEnd()) return false;
            const char e = FText[FPos++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                out += e;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                uint32_t cp = 0;
                if (!ReadHex4(cp)) return false;
                if (cp >= 0xD800 && cp <= 0xDBFF) {
                    // A high surrogate pairs with an immediately following low one.
                    uint32_t low = 0;
                    const size_t save = FPos;
                    if (FText.substr(FPos, 2) == "\\u" && (FPos += 2, ReadHex4(low)) && low >= 0xDC00 &&
                        low <= 0xDFFF) {
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    } else {
                        FPos = save;
                        cp = 0xFFFD;
                    }
                } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                    cp = 0xFFFD;
                }
                AppendUtf8(out, cp);
                break;
            }
            default:
                return false;
            }
        }
        return false;
    }

    std::string_view FText;
    size_t FPos = 0;
};

// ---------------------------------------------------------------------------------------------
// Printing

void PrintScalar(std::string& out, const TJsonValue& v) {
    const auto* s = dynamic_cast<const TJsonScalar*>(&v);
    if (!s) {
        out += "null";
        return;
    }
    switch (s->FKind) {
    case stBoolean:
        out += s->FInt ? "true" : "false";
        break;
    case stInt:
        AppendInt(out, s->FInt);
        break;
    case stDouble:
        AppendDouble(out, s->FDouble);
        break;
    case stCurrency:
        AppendCurrency(out, s->FInt);
        break;
    case stString:
        AppendQuoted(out, s->FText);
        break;
    default:
        out += "null";
    }
}

void PrintInto(std::string& out, const TJsonValue& root) {
    struct TFrame {
        const TJsonValue* Node;
        size_t Next;
    };
    std::vector<TFrame> stack;
    std::unordered_set<const TJsonValue*> open; // containers being printed, to stop at a loop

    const auto start = [&](const TJsonValue& v) {
        const bool isObject = dynamic_cast<const TJsonObject*>(&v) != nullptr;
        if (!isObject && dynamic_cast<const TJsonArray*>(&v) == nullptr) {
            PrintScalar(out, v);
            return;
        }
        if (!open.insert(&v).second) {
            out += "null";
            return;
        }
        out += isObject ? '{' : '[';
        stack.push_back({&v, 0});
    };

    start(root);
    while (!stack.empty()) {
        TFrame& top = stack.back();
        const TJsonValue* node = top.Node;
        if (const auto* object = dynamic_cast<const TJsonObject*>(node)) {
            const auto& members = object->FMembers;
            if (top.Next < members.size()) {
                const auto& m = members[top.Next++];
                if (top.Next > 1) out += ',';
                AppendQuoted(out, m.first);
                out += ':';
                start(*m.second); // may grow the stack: top is not used after this
                continue;
            }
            out += '}';
        } else {
            const auto& items = static_cast<const TJsonArray*>(node)->FItems; // checked by start
            if (top.Next < items.size()) {
                if (top.Next++ > 0) out += ',';
                start(*items[top.Next - 1]);
                continue;
            }
            out += ']';
        }
        open.erase(node);
        stack.pop_back();
    }
}

[[noreturn]] void FieldError() {
    throw EJsonInvalidObject();
}

} // namespace

// -------------------------------------------------------------------------------------------------

JsonRef ParseJson(std::string_view utf8) noexcept {
    try {
        return TJsonParser(utf8).Parse();
    } catch (...) {
        return nullptr; // out of memory on absurd input
    }
}

JsonRef NewJsonObject() {
    return std::make_shared<TJsonObject>();
}
JsonRef NewJsonArray() {
    return std::make_shared<TJsonArray>();
}

JsonRef NewJsonString(std::string_view utf8) {
    auto s = NewScalar(stString);
    s->FText = std::string(utf8);
    return s;
}

JsonRef NewJsonInt(int64_t v) {
    auto s = NewScalar(stInt);
    s->FInt = v;
    return s;
}

JsonRef NewJsonBool(bool v) {
    auto s = NewScalar(stBoolean);
    s->FInt = v ? 1 : 0;
    return s;
}

JsonRef NewJsonDouble(double v) {
    auto s = NewScalar(stDouble);
    s->FDouble = v;
    return s;
}

JsonRef NewJsonNull() {
    return NewScalar(stNull);
}

JsonRef NewJsonCurrency(int64_t scaled) {
    auto s = NewScalar(stCurrency);
    s->FInt = scaled;
    return s;
}

std::string PrintJson(const JsonRef& v) {
    return v ? PrintJson(*v) : std::string();
}

std::string PrintJson(const TJsonValue& v) {
    std::string out;
    PrintInto(out, v);
    return out;
}

// Missing members read as no value; a null member reads like a missing one everywhere below.
std::string TJsonValue::GetS(std::string_view key) const {
    JsonRef v = GetO(key);
    return v ? v->AsString() : std::string();
}
int64_t TJsonValue::GetI(std::string_view key) const {
    JsonRef v = GetO(key);
    return v ? v->AsInteger() : 0;
}
bool TJsonValue::GetB(std::string_view key) const {
    JsonRef v = GetO(key);
    return v ? v->AsBoolean() : false;
}
double TJsonValue::GetD(std::string_view key) const {
    JsonRef v = GetO(key);
    return v ? v->AsDouble() : 0;
}

std::string TJsonValue::S(size_t index) const {
    JsonRef v = O(index);
    return v ? v->AsString() : std::string();
}
int64_t TJsonValue::I(size_t index) const {
    JsonRef v = O(index);
    return v ? v->AsInteger() : 0;
}
bool TJsonValue::B(size_t index) const {
    JsonRef v = O(index);
    return v ? v->AsBoolean() : false;
}
double TJsonValue::D(size_t index) const {
    JsonRef v = O(index);
    return v ? v->AsDouble() : 0;
}

std::string JsonObjectText(const std::vector<std::string>& names, const TVarArgs& values) {
    if (names.size() != values.size()) return {};
    JsonRef obj = ParseJson("{}");
    for (size_t i = 0; i < names.size(); ++i) {
        const TVarRec& v = values[i];
        JsonRef member;
        switch (v.VType) {
        case TVarKind::vtInteger:
        case TVarKind::vtInt64:
            member = NewJsonInt(v.VInt);
            break;
        case TVarKind::vtBoolean:
            member = NewJsonBool(v.VInt != 0);
            break;
        case TVarKind::vtExtended:
            member = NewJsonDouble(v.VFloat);
            break;
        case TVarKind::vtCurrency:
            member = NewJsonDouble(static_cast<double>(v.VInt) / 10000.0);
            break;
        case TVarKind::vtPointer:
            if (v.VPointer == nullptr) {
                member = NewJsonString("null");
                break;
            }
            [[fallthrough]];
        default:
            if (IsTextKind(v.VType)) {
                member = NewJsonString(v.VText);
                break;
            }
            throw std::runtime_error("not support type: " + std::to_string(static_cast<int>(v.VType)));
        }
        obj->PutO(names[i], std::move(member));
    }
    return obj->AsString();
}

JsonRef ParseJsonRecord(std::string_view utf8) {
    JsonRef v = ParseJson(utf8);
    if (!v || !v->IsType(stObject)) throw EJsonInvalidObject();
    return v;
}

std::string JsonFieldText(const TJsonValue& obj, std::string_view name) {
    JsonRef v = obj.GetO(name);
    if (!v) return {};
    switch (v->DataType()) {
    case stNull:
        return {};
    case stString:
    case stBoolean:
    case stInt:
    case stDouble:
    case stCurrency:
        return v->AsString();
    default:
        FieldError();
    }
}

int64_t JsonFieldInt(const TJsonValue& obj, std::string_view name, int64_t minValue, int64_t maxValue) {
    JsonRef v = obj.GetO(name);
    if (!v || v->IsType(stNull)) return 0;
    int64_t value = 0;
    switch (v->DataType()) {
    case stInt:
    case stBoolean:
        value = v->AsInteger();
        break;
    case stString: {
        const std::string text = v->AsString();
        if (text.empty()) return 0;
        if (!WholeDecimalToInt(text, value)) FieldError();
        break;
    }
    default:
        FieldError();
    }
    if (value < minValue || value > maxValue) FieldError();
    return value;
}

std::vector<JsonRef> JsonFieldRecords(const TJsonValue& obj, std::string_view name) {
    std::vector<JsonRef> records;
    JsonRef v = obj.GetO(name);
    if (!v || v->IsType(stNull)) return records;
    if (!v->IsType(stArray)) FieldError();
    records.reserve(v->Length());
    for (size_t i = 0; i < v->Length(); ++i) {
        JsonRef item = v->O(i);
        if (!item || !item->IsType(stObject)) FieldError();
        records.push_back(std::move(item));
    }
    return records;
}
