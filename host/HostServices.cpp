#include "host/HostServices.h"

#include "foundation/Crypto.h"
#include "foundation/TextCodec.h"
#include "host/HostConfig.h"

std::string HostEncryptString(std::string_view utf8) {
    try {
        return AesEncryptHex(Utf8ToAnsi(utf8), kHostCipherKey, kAesLengthFramed);
    } catch (...) {
        return {};
    }
}

std::string HostDecryptString(std::string_view hex) {
    try {
        return AnsiToUtf8(AesDecryptHex(hex, kHostCipherKey));
    } catch (...) {
        return {};
    }
}

std::string ReadEncryptedParam(IHostFramework& framework, std::string_view cfgType, std::string_view section,
                               std::string_view key) {
    try {
        const std::string stored = framework.GetControlParams(cfgType, section, key, "");
        return stored.empty() ? std::string() : HostDecryptString(stored);
    } catch (...) {
        return {};
    }
}

std::string TaxCalendarURL(std::string_view hostPrefix, std::string_view areaCodeAnswer) {
    return std::string(hostPrefix) + EncUrlText(Utf8ToAnsi(TaxCalendarJson(areaCodeAnswer)));
}
