#pragma once
// The host's text services that keep no state (safe on any thread): the host-key text cipher,
// encrypted configuration values and the tax-calendar address. Texts are UTF-8; the cipher works
// on their ANSI bytes.
#include "host/HostFramework.h"

#include <string>
#include <string_view>

// Hex cipher text of the text; empty on any failure.
std::string HostEncryptString(std::string_view utf8);
// The plain text of hex cipher text; empty on any failure (not hex, wrong length, ...).
std::string HostDecryptString(std::string_view hex);
// A control parameter stored encrypted, decrypted; empty when missing or not decryptable.
std::string ReadEncryptedParam(IHostFramework& framework, std::string_view cfgType, std::string_view section,
                               std::string_view key);
// The host prefix followed by the encrypted, escaped request object for the given area code.
std::string TaxCalendarURL(std::string_view hostPrefix, std::string_view areaCodeAnswer);
