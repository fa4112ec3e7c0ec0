// Throughput of the cipher and digest compositions on 100-byte texts, next to OpenSSL doing the
// same primitive work (key set-up per call, same framing, padding and hex writing).
#include "foundation/Crypto.h"

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kTextSize = 100;
constexpr double kSecondsPerRun = 0.4;

std::size_t gSink = 0;

// Input megabytes per second over a set of texts, repeated until the time budget is spent.
double MegabytesPerSecond(const std::vector<std::string>& inputs,
                          const std::function<std::size_t(const std::string&)>& op) {
    using TClock = std::chrono::steady_clock;
    std::size_t bytes = 0;
    const auto start = TClock::now();
    double elapsed = 0;
    do {
        for (const auto& input : inputs) {
            gSink += op(input);
            bytes += input.size();
        }
        elapsed = std::chrono::duration<double>(TClock::now() - start).count();
    } while (elapsed < kSecondsPerRun);
    return bytes / elapsed / 1e6;
}

struct TOpenSsl {
    EVP_CIPHER* Aes = EVP_CIPHER_fetch(nullptr, "AES-128-ECB", nullptr);
    EVP_CIPHER* Des = EVP_CIPHER_fetch(nullptr, "DES-ECB", nullptr);
    EVP_MD* Md5 = EVP_MD_fetch(nullptr, "MD5", nullptr);
    EVP_MD* Sha1 = EVP_MD_fetch(nullptr, "SHA1", nullptr);
    EVP_CIPHER_CTX* Ctx = EVP_CIPHER_CTX_new();

    std::string Crypt(const EVP_CIPHER* cipher, bool encrypt, const std::string& key, const std::string& in,
                      bool pad) {
        EVP_CipherInit_ex(Ctx, cipher, nullptr, reinterpret_cast<const unsigned char*>(key.data()), nullptr,
                          encrypt ? 1 : 0);
        EVP_CIPHER_CTX_set_padding(Ctx, pad ? 1 : 0);
        std::string out(in.size() + 16, '\0');
        int written = 0, finalWritten = 0;
        auto* dst = reinterpret_cast<unsigned char*>(&out[0]);
        EVP_CipherUpdate(Ctx, dst, &written, reinterpret_cast<const unsigned char*>(in.data()),
                         static_cast<int>(in.size()));
        EVP_CipherFinal_ex(Ctx, dst + written, &finalWritten);
        out.resize(static_cast<std::size_t>(written + finalWritten));
        return out;
    }

    std::string Digest(const EVP_MD* md, const std::string& in) {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned size = 0;
        EVP_Digest(in.data(), in.size(), digest, &size, md, nullptr);
        return std::string(reinterpret_cast<char*>(digest), size);
    }
};

std::string FitKey(std::string_view key, std::size_t size) {
    std::string fitted(key.substr(0, size));
    fitted.resize(size, '\0');
    return fitted;
}

std::string LittleEndian64(std::uint64_t value) {
    std::string bytes;
    for (int i = 0; i < 8; ++i)
        bytes.push_back(static_cast<char>(value >> (8 * i)));
    return bytes;
}

int HexValue(char c) {
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

std::string FromHex(const std::string& hex) {
    std::string bytes(hex.size() / 2, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(HexValue(hex[2 * i]) * 16 + HexValue(hex[2 * i + 1]));
    return bytes;
}

} // namespace

int main() {
    OSSL_PROVIDER_load(nullptr, "legacy");
    OSSL_PROVIDER_load(nullptr, "default");
    TOpenSsl ossl;
    if (!ossl.Aes || !ossl.Des || !ossl.Md5 || !ossl.Sha1 || !ossl.Ctx) {
        std::fprintf(stderr, "OpenSSL algorithms unavailable\n");
        return 1;
    }

    std::mt19937 rng(5);
    std::vector<std::string> texts(64, std::string(kTextSize, '\0'));
    for (auto& text : texts)
        for (auto& c : text)
            c = static_cast<char>(0x20 + rng() % 0x5f); // printable ASCII, unchanged by the code page
    std::vector<std::string> cipherHexes;
    for (const auto& text : texts)
        cipherHexes.push_back(AesEncryptHex(text, kSysCipherKey, kAesLengthFramed));

    const std::string aesKey = FitKey(kSysCipherKey, 16);
    const std::string encAKey = FitKey(kEncACipherKey, 16);
    const std::string desKey = FitKey(kUrlCipherKey, 8);
    const TBase64 base64;

    struct TCase {
        const char* Name;
        const std::vector<std::string>* Inputs;
        std::function<std::size_t(const std::string&)> Ours;
        std::function<std::size_t(const std::string&)> Reference;
    };
    const std::vector<TCase> cases = {
        {"AesEncryptHex mode 0", &texts,
         [](const std::string& t) { return AesEncryptHex(t, kSysCipherKey, kAesLengthFramed).size(); },
         [&](const std::string& t) {
             std::string padded = t;
             padded.resize((t.size() + 15) / 16 * 16, '\0');
             return HexUpper(LittleEndian64(t.size()) + ossl.Crypt(ossl.Aes, true, aesKey, padded, false))
                 .size();
         }},
        {"AesEncryptHex mode 1", &texts,
         [](const std::string& t) { return AesEncryptHex(t, kEncACipherKey, kAesPkcs7).size(); },
         [&](const std::string& t) { return HexUpper(ossl.Crypt(ossl.Aes, true, encAKey, t, true)).size(); }},
        {"AesDecryptHex", &cipherHexes,
         [](const std::string& h) { return AesDecryptHex(h, kSysCipherKey).size(); },
         [&](const std::string& h) {
             std::string bytes = FromHex(h);
             std::string plain = ossl.Crypt(ossl.Aes, false, aesKey, bytes.substr(8), false);
             plain.resize(static_cast<unsigned char>(bytes[0]));
             return plain.size();
         }},
        {"DesEncrypt", &texts, [](const std::string& t) { return DesEncrypt(t, kUrlCipherKey).size(); },
         [&](const std::string& t) { return ossl.Crypt(ossl.Des, true, desKey, t, true).size(); }},
        {"TBase64.EncodeData", &texts, [&](const std::string& t) { return base64.EncodeData(t).size(); },
         [](const std::string& t) {
             std::string out(4 * ((t.size() + 2) / 3) + 1, '\0');
             return static_cast<std::size_t>(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&out[0]),
                                                             reinterpret_cast<const unsigned char*>(t.data()),
                                                             static_cast<int>(t.size())));
         }},
        {"Md5Hex", &texts, [](const std::string& t) { return Md5Hex(t).size(); },
         [&](const std::string& t) { return HexLower(ossl.Digest(ossl.Md5, t)).size(); }},
        {"Md5HexOfBytes", &texts, [](const std::string& t) { return Md5HexOfBytes(t).size(); },
         [&](const std::string& t) { return HexLower(ossl.Digest(ossl.Md5, t)).size(); }},
        {"Sha1HexUpper", &texts, [](const std::string& t) { return Sha1HexUpper(t).size(); },
         [&](const std::string& t) { return HexUpper(ossl.Digest(ossl.Sha1, t)).size(); }},
    };

    std::printf("%-22s %12s %12s %8s\n", "operation (100 B)", "ours MB/s", "OpenSSL MB/s", "ratio");
    for (const auto& c : cases) {
        double ours = MegabytesPerSecond(*c.Inputs, c.Ours);
        double reference = MegabytesPerSecond(*c.Inputs, c.Reference);
        std::printf("%-22s %12.1f %12.1f %8.2f\n", c.Name, ours, reference, ours / reference);
    }
    std::printf("(checksum %zu)\n", gSink);

    EVP_CIPHER_CTX_free(ossl.Ctx);
    EVP_CIPHER_free(ossl.Aes);
    EVP_CIPHER_free(ossl.Des);
    EVP_MD_free(ossl.Md5);
    EVP_MD_free(ossl.Sha1);
    return 0;
}
