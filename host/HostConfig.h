#pragma once
// The host's configuration rules that need no window or library: run modes from the command
// line, the configuration-file readers, the application id, the manifest's extension modules and
// the texts the host's services build. Texts are UTF-8.
#include "foundation/Json.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr char kDefaultAppId[] = "ZRAppFrameWork";
inline constexpr char kManifestFileName[] = "MainFest.cfg";
inline constexpr char kEnviParamsFileName[] = "Config\\EnviParams.cfg";
inline constexpr char kHelpServiceExeName[] = "WLCorvaneHelp.exe";
// The one application id under which the help service is never deployed.
inline constexpr char kNoHelpServiceAppId[] = "SH_QELT_DWIN";
// Where the tax-calendar page lives unless the framework configuration names another address.
inline constexpr char kDefaultTaxCalendarHost[] = "https://rili.corvane.com.cn/client.php?qelt=";
// Longest initialisation-function name taken from a manifest entry.
inline constexpr size_t kMaxModuleFunctionChars = 100;

// Trims what the configuration readers count as blanks: every character up to the space.
std::string TrimBlanks(std::string_view text);
// ASCII letters compared without regard to case, every other byte exactly.
bool SameTextAscii(std::string_view a, std::string_view b);

struct TRunModes {
    bool IsRunInQNB = false;
    bool NeedOpenHelp = false;
};
// Each parameter by itself: "runmode=qnb" anywhere in it (any case) wins over "needopenhelp".
TRunModes ParseRunModes(const std::vector<std::string>& params);

// Configuration files: a byte-order mark decides (UTF-8, UTF-16 LE/BE); without one the text is
// taken as UTF-8 when it is valid UTF-8, else as the ANSI code page.
std::string DecodeConfigText(std::string_view bytes);

// The value of key in section of a JSON document of sections; both names matched without regard
// to case, first match only; the value trimmed, and the default when it is empty or missing.
std::string CfgValueFromJson(const JsonRef& doc, std::string_view section, std::string_view key,
                             const std::string& defaultValue);

// The same, read from a configuration file; the default when the file is missing or unreadable.
std::string ReadCfgFileValue(const std::string& path, std::string_view section, std::string_view key,
                             const std::string& defaultValue);

// The instance name: the environment file's value, else the manifest's "AppID", else the default.
// A value of blanks only counts as missing.
std::string ResolveAppId(const std::string& enviParamsAppId, const JsonRef& manifest);

// One "extendModule"/"Modules" member that names a library and its initialisation function.
struct TExtModuleSpec {
    std::string Name;
    std::string DllPath; // appPath + base name + ".dll"
    std::string FunName;
};
// The members in the JSON library's member order; those with an empty name or without a "." in
// their value are left out. appPath ends in a path delimiter.
std::vector<TExtModuleSpec> ParseExtendModules(const JsonRef& manifest, const std::string& appPath);

// The tax-calendar request object as JSON text; only the area code (its first four characters)
// varies.
std::string TaxCalendarJson(std::string_view areaCodeAnswer);

// A decimal 32-bit integer (leading blanks and a sign allowed), or the default for anything else.
int32_t StrToIntDef(std::string_view text, int32_t defaultValue);

// A Boolean kept as configuration text: a number is true when not 0, "true"/"false" in any case
// are themselves, anything else is false.
bool ControlParamToBool(std::string_view text);
