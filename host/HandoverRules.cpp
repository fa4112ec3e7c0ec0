#include "host/HandoverRules.h"

#include "foundation/Json.h"
#include "host/HostConfig.h"

#include <climits>

namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// A decimal integer with an optional sign; anything else, or a value out of range, gives 0.
int32_t PieceValue(std::string_view piece) {
    size_t i = 0;
    bool negative = false;
    if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) negative = piece[i++] == '-';
    if (i == piece.size()) return 0;
    int64_t value = 0;
    for (; i < piece.size(); ++i) {
        const char c = piece[i];
        if (c < '0' || c > '9') return 0;
        value = value * 10 + (c - '0');
        if (value > static_cast<int64_t>(INT32_MAX) + 1) return 0;
    }
    if (negative) value = -value;
    if (value > INT32_MAX || value < INT32_MIN) return 0;
    return static_cast<int32_t>(value);
}

} // namespace

bool JoinedParamsHaveQnbRunMode(const std::vector<std::string>& params) {
    std::string joined;
    for (const std::string& p : params) {
        joined += p;
        joined += ';';
    }
    for (char& c : joined)
        c = Lower(c);
    return joined.find("runmode=qnb") != std::string::npos;
}

bool ParseVersionText(std::string_view text, TVersionTriple& version) {
    if (text.empty() || (text.front() != 'V' && text.front() != 'v')) return false;
    text.remove_prefix(1);
    int32_t numbers[3] = {0, 0, 0};
    size_t pieces = 0;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find('.', start);
        const std::string_view piece =
            text.substr(start, at == std::string_view::npos ? text.npos : at - start);
        if (pieces < 3) numbers[pieces] = PieceValue(piece);
        ++pieces;
        if (at == std::string_view::npos) break;
        start = at + 1;
    }
    if (pieces < 3) return false;
    version = TVersionTriple{numbers[0], numbers[1], numbers[2]};
    return true;
}

bool EachPartAtLeast(const TVersionTriple& version, int32_t major, int32_t minor, int32_t build) {
    return version.Major >= major && version.Minor >= minor && version.Build >= build;
}

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

bool AreaAndAppAllowAssistant(std::string_view areaCode, std::string_view appId) {
    return areaCode.size() >= 2 && SameTextIgnoringCase(areaCode.substr(0, 2), kAssistantAreaPrefix) &&
           SameTextIgnoringCase(appId, kAssistantAppId);
}

TEnviParams ReadEnviParams(std::string_view fileBytes) {
    TEnviParams params;
    const JsonRef root = ParseJson(DecodeConfigText(fileBytes));
    if (!root || !root->IsType(stObject)) return params;
    const JsonRef envi = root->GetO("EnviParams");
    if (!envi || !envi->IsType(stObject)) return params;
    const auto text = [](const JsonRef& value) {
        const bool readable = value && (value->IsType(stString) || value->IsType(stInt) ||
                                        value->IsType(stDouble) || value->IsType(stCurrency));
        return readable ? value->AsString() : std::string();
    };
    params.AreaCode = text(envi->GetO("areaCode"));
    params.AppID = text(envi->GetO("appID"));
    return params;
}

TTaxpayerFileAnswer FirstTaxpayerOf(std::string_view jsonText) {
    TTaxpayerFileAnswer answer;
    const JsonRef root = ParseJson(jsonText);
    if (!root || !root->IsType(stObject)) return answer;
    const JsonRef list = root->GetO("taxpayers");
    if (!list || !list->IsType(stArray)) return answer;
    if (list->Length() == 0) {
        answer.State = TTaxpayerFileState::NoTaxpayers;
        return answer;
    }
    const JsonRef first = list->O(0);
    if (!first || !first->IsType(stObject)) return answer;
    const std::string number = first->GetS("nsrsbh");
    if (number.find_first_not_of(" \t\r\n") == std::string::npos) {
        answer.State = TTaxpayerFileState::Blank;
        return answer;
    }
    answer.State = TTaxpayerFileState::Found;
    answer.Nsrsbh = number;
    return answer;
}

std::string AssistantArguments(std::string_view exccmd, const std::vector<std::string>& params) {
    std::string text = "LaunchedByQNB ";
    for (const std::string& p : params) {
        text += ' ';
        text += p;
    }
    if (!exccmd.empty()) text = std::string(exccmd) + " " + text;
    return text;
}
