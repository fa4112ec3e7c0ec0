#include "foundation/Crypto.h"
#include "foundation/HttpUtils.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t kAesBlock = 16;
constexpr std::size_t kDesBlock = 8;
constexpr std::size_t kLengthPrefix = 8;

// Key bytes copied into a zero-filled block; longer keys are cut.
template <std::size_t N>
std::array<std::uint8_t, N> FitKey(std::string_view key) {
    std::array<std::uint8_t, N> fitted{};
    if (!key.empty()) std::memcpy(fitted.data(), key.data(), std::min(key.size(), N));
    return fitted;
}

inline std::uint8_t* Bytes(std::string& s) {
    return reinterpret_cast<std::uint8_t*>(&s[0]);
}

inline const std::uint8_t* Bytes(std::string_view s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

constexpr std::array<std::int8_t, 256> MakeHexValues() {
    std::array<std::int8_t, 256> values{};
    for (int c = 0; c < 256; ++c)
        values[c] = c >= '0' && c <= '9'   ? static_cast<std::int8_t>(c - '0')
                    : c >= 'A' && c <= 'F' ? static_cast<std::int8_t>(c - 'A' + 10)
                    : c >= 'a' && c <= 'f' ? static_cast<std::int8_t>(c - 'a' + 10)
                                           : -1;
    return values;
}

constexpr std::array<std::int8_t, 256> kHexValues = MakeHexValues();

inline int HexDigitValue(char c) {
    return kHexValues[static_cast<unsigned char>(c)];
}

// Two digits per byte; a last lone digit is a byte of its own.
std::string DecodeHex(std::string_view hex) {
    std::string bytes((hex.size() + 1) / 2, '\0');
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int value = HexDigitValue(hex[i]);
        if (i + 1 < hex.size()) {
            int low = HexDigitValue(hex[i + 1]);
            value = (value < 0 || low < 0) ? -1 : value * 16 + low;
        }
        if (value < 0) throw ECryptoError("Invalid hexadecimal text");
        bytes[i / 2] = static_cast<char>(value);
    }
    return bytes;
}

} // namespace

std::string AesEncryptHex(std::string_view plainBytes, std::string_view key, int mode) {
    if (mode != kAesLengthFramed && mode != kAesPkcs7) throw ECryptoError("Invalid padding mode");
    const auto fittedKey = FitKey<16>(key);
    const TAes128Encryptor cipher(fittedKey.data());
    const std::size_t whole = plainBytes.size() / kAesBlock * kAesBlock;
    const std::size_t rest = plainBytes.size() - whole;
    const bool framed = mode == kAesLengthFramed;
    const std::size_t prefix = framed ? kLengthPrefix : 0;
    const std::size_t tailBlocks = (framed && rest == 0) ? 0 : 1;
    std::string out(prefix + whole + tailBlocks * kAesBlock, '\0');
    std::uint8_t* dst = Bytes(out);
    if (framed) {
        std::uint64_t length = plainBytes.size();
        for (std::size_t i = 0; i < kLengthPrefix; ++i)
            dst[i] = static_cast<std::uint8_t>(length >> (8 * i));
    }
    const std::uint8_t* src = Bytes(plainBytes);
    for (std::size_t offset = 0; offset < whole; offset += kAesBlock)
        cipher.EncryptBlock(src + offset, dst + prefix + offset);
    if (tailBlocks) {
        std::uint8_t last[kAesBlock];
        std::memset(last, framed ? 0 : static_cast<int>(kAesBlock - rest), kAesBlock);
        if (rest) std::memcpy(last, src + whole, rest);
        cipher.EncryptBlock(last, dst + prefix + whole);
    }
    return HexUpper(out);
}

std::string AesDecryptHex(std::string_view hex, std::string_view key) {
    std::string bytes = DecodeHex(hex);
    if (bytes.size() < kLengthPrefix) throw ECryptoError("Stream read error");
    std::uint64_t claimed = 0;
    for (std::size_t i = 0; i < kLengthPrefix; ++i)
        claimed |= std::uint64_t(static_cast<std::uint8_t>(bytes[i])) << (8 * i);
    const std::size_t body = bytes.size() - kLengthPrefix;
    if (body % kAesBlock != 0) throw ECryptoError("Invalid buffer size for decryption");
    const auto fittedKey = FitKey<16>(key);
    const TAes128Decryptor cipher(fittedKey.data());
    // Plain blocks move down over the prefix: no allocation ever depends on the claimed length.
    std::uint8_t* data = Bytes(bytes);
    for (std::size_t offset = 0; offset < body; offset += kAesBlock) {
        std::uint8_t block[kAesBlock];
        std::memcpy(block, data + kLengthPrefix + offset, kAesBlock);
        cipher.DecryptBlock(block, data + offset);
    }
    // Compared in 64 bits: a prefix of 2^32 + n must not shrink to n on a 32-bit size_t.
    bytes.resize(claimed < body ? static_cast<std::size_t>(claimed) : body);
    return bytes;
}

std::string DesEncrypt(std::string_view plainBytes, std::string_view key) {
    const auto fittedKey = FitKey<8>(key);
    const TDesEncryptor cipher(fittedKey.data());
    const std::size_t whole = plainBytes.size() / kDesBlock * kDesBlock;
    const std::size_t rest = plainBytes.size() - whole;
    std::string out(whole + kDesBlock, '\0');
    std::uint8_t* dst = Bytes(out);
    const std::uint8_t* src = Bytes(plainBytes);
    for (std::size_t offset = 0; offset < whole; offset += kDesBlock)
        cipher.EncryptBlock(src + offset, dst + offset);
    std::uint8_t last[kDesBlock];
    std::memset(last, static_cast<int>(kDesBlock - rest), kDesBlock);
    if (rest) std::memcpy(last, src + whole, rest);
    cipher.EncryptBlock(last, dst + whole);
    return out;
}

std::string TBase64::EncodeData(std::string_view bytes) const {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text((bytes.size() + 2) / 3 * 4, '=');
    const std::uint8_t* src = Bytes(bytes);
    std::size_t at = 0;
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        std::uint32_t group = (std::uint32_t(src[i]) << 16) | (std::uint32_t(src[i + 1]) << 8) | src[i + 2];
        text[at++] = kAlphabet[group >> 18];
        text[at++] = kAlphabet[(group >> 12) & 0x3f];
        text[at++] = kAlphabet[(group >> 6) & 0x3f];
        text[at++] = kAlphabet[group & 0x3f];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest) {
        std::uint32_t group = std::uint32_t(src[i]) << 16;
        if (rest == 2) group |= std::uint32_t(src[i + 1]) << 8;
        text[at++] = kAlphabet[group >> 18];
        text[at++] = kAlphabet[(group >> 12) & 0x3f];
        if (rest == 2) text[at] = kAlphabet[(group >> 6) & 0x3f];
    }
    return text;
}

std::string EncUrlText(std::string_view ansiBytes) {
    return UrlEscape(TBase64().EncodeData(DesEncrypt(ansiBytes, kUrlCipherKey)), false);
}
