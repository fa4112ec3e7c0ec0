#pragma once
// Name=value lists separated by ";" as the device and repository libraries answer them, for
// example "version=V6.1.3;taxpayerfile=C:\t.json;".
#include <string>
#include <string_view>

// The value of the first item named `key` (ASCII letters compared without case) whose value is
// not empty; empty text when there is none. An item without "=" has an empty name. The value is
// unescaped: "&eq%" becomes "=", then "&lim%" becomes ";".
std::string GetKeyListValue(std::string_view text, std::string_view key);
