#pragma once
// Ciphers and digests with the fixed compositions that services, the host and pages exchange.
// Everything works on byte strings: text is encrypted as the 8-bit bytes it arrives in, never
// re-encoded first. No function keeps state between calls, so all may run on several threads.
#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

class ECryptoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Keys of the named uses. The percent signs are literal characters, not format escapes.
inline constexpr std::string_view kSysCipherKey = "kx%%@&rdnf481";     // sys.Enc / sys.Dec
inline constexpr std::string_view kHostCipherKey = "kx%%@&QQQQ481";    // host EncryptString
inline constexpr std::string_view kEncACipherKey = "{k/7d2q9=xr;'%/m"; // app.EncA
inline constexpr std::string_view kUrlCipherKey = "QWPMQWPM";          // app.EncUrl, URL parameters

// AesEncryptHex padding modes.
inline constexpr int kAesLengthFramed = 0; // 8-byte little-endian length, then zero-filled blocks
inline constexpr int kAesPkcs7 = 1;

// Hex text (two uppercase digits per byte) of the ECB cipher bytes under the fitted 16-byte key
// (zero-filled or cut). Throws ECryptoError for a mode other than 0 or 1.
std::string AesEncryptHex(std::string_view plainBytes, std::string_view key, int mode);
// Reverse of mode 0. Throws ECryptoError for text that is not hex, shorter than the length prefix
// or whose block part is not whole blocks. The result is never longer than the decrypted data,
// whatever the prefix claims.
std::string AesDecryptHex(std::string_view hex, std::string_view key);

// Raw ECB cipher bytes of the PKCS#5-padded plain bytes under the zero-filled or cut 8-byte key.
std::string DesEncrypt(std::string_view plainBytes, std::string_view key);

class TBase64 {
public:
    // The flag filters decoder input; encoding ignores it.
    explicit TBase64(bool filterInput = false) : FFilterInput(filterInput) {}
    bool FilterInput() const { return FFilterInput; }
    // Standard alphabet, "=" padding, no line breaks.
    std::string EncodeData(std::string_view bytes) const;

private:
    bool FFilterInput;
};

using TMd5Digest = std::array<std::uint8_t, 16>;
using TSha1Digest = std::array<std::uint8_t, 20>;

TMd5Digest Md5Digest(std::string_view bytes);
TSha1Digest Sha1Digest(std::string_view bytes);
// MD5 of the text's ANSI code-page bytes, 32 lowercase hex digits.
std::string Md5Hex(std::string_view utf8Text);
std::string Md5HexOfBytes(std::string_view bytes);
// 40 uppercase hex digits.
std::string Sha1HexUpper(std::string_view bytes);

// URL parameter encryption: DesEncrypt under kUrlCipherKey, Base64, then URL escaping with
// spaces as "%20" (so "+", "/" and "=" come out as %2B, %2F and %3D).
std::string EncUrlText(std::string_view ansiBytes);

std::string HexUpper(std::string_view bytes);
std::string HexLower(std::string_view bytes);

// Block primitives underneath the compositions; keys are already fitted.
class TAes128Encryptor {
public:
    explicit TAes128Encryptor(const std::uint8_t* key16);
    void EncryptBlock(const std::uint8_t* in, std::uint8_t* out) const;

private:
    std::uint32_t FRoundKeys[44];
};

class TAes128Decryptor {
public:
    explicit TAes128Decryptor(const std::uint8_t* key16);
    void DecryptBlock(const std::uint8_t* in, std::uint8_t* out) const;

private:
    std::uint32_t FRoundKeys[44];
};

class TDesEncryptor {
public:
    // Parity bits (the lowest bit of each key byte) are ignored.
    explicit TDesEncryptor(const std::uint8_t* key8);
    void EncryptBlock(const std::uint8_t* in, std::uint8_t* out) const;

private:
    std::uint8_t FSubkeys[16][8]; // six bits per S-box and round
};
