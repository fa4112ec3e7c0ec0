#pragma once
// The portable rules of the two start-up hand-overs (BREV and the assistant): run mode, version
// texts, the environment file, the device's taxpayer file and the assistant's arguments.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The repository product of the assistant and the fixed ids and versions of the decisions.
inline constexpr char kAssistantProductId[] = "09730100010000";
inline constexpr char kBrevAppId[] = "GD_QELT_DWIN";
inline constexpr char kAssistantAppId[] = "HB_QELT_DWIN";
inline constexpr char kAssistantAreaPrefix[] = "13";

struct TVersionTriple {
    int32_t Major = 0;
    int32_t Minor = 0;
    int32_t Build = 0;
};

// True when the parameters, each followed by ";" and lower-cased, hold "runmode=qnb".
bool JoinedParamsHaveQnbRunMode(const std::vector<std::string>& params);

// "V6.1.3" (any letter case) -> true, 6, 1, 3. False, with `version` left alone, when the text
// does not begin with "V" or has fewer than three dot-separated pieces; a piece that is not a
// decimal integer gives 0, pieces after the third are ignored.
bool ParseVersionText(std::string_view text, TVersionTriple& version);

// Each number compared on its own: V7.0.5 does not reach 6.1.3 (its minor 0 is below 1).
bool EachPartAtLeast(const TVersionTriple& version, int32_t major, int32_t minor, int32_t build);

// "-1" for true, "0" for false, as the decision log lines write Booleans.
inline const char* LogBool(bool value) {
    return value ? "-1" : "0";
}

// True when `a` equals `b` with ASCII letters compared without case.
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

// The environment file's area code and application id allow the assistant: the area code begins
// with "13" and the id is "HB_QELT_DWIN", both without regard to case.
bool AreaAndAppAllowAssistant(std::string_view areaCode, std::string_view appId);

// "EnviParams"."areaCode" and "EnviParams"."appID" of the environment file's bytes, decoded as the
// host decodes its configuration files (UTF-8, UTF-16 or ANSI). A number is read as its printed
// text; anything else that is missing or not text is empty.
struct TEnviParams {
    std::string AreaCode;
    std::string AppID;
};
TEnviParams ReadEnviParams(std::string_view fileBytes);

// What the device's taxpayer file says about its first taxpayer.
enum class TTaxpayerFileState { Found, NoTaxpayers, Blank, Unreadable };
struct TTaxpayerFileAnswer {
    TTaxpayerFileState State = TTaxpayerFileState::Unreadable;
    std::string Nsrsbh; // when Found
};
// Reads "taxpayers"[0]."nsrsbh": NoTaxpayers for an empty array, Blank for an identification
// number of blanks only, Unreadable when the text is no object, "taxpayers" no array or its first
// element no object.
TTaxpayerFileAnswer FirstTaxpayerOf(std::string_view jsonText);

// The assistant's argument text: "LaunchedByQNB " and then " " + each parameter, with exccmd and
// a blank in front when exccmd is not empty ("-x LaunchedByQNB  a runmode=qnb").
std::string AssistantArguments(std::string_view exccmd, const std::vector<std::string>& params);
