// Cross-checks of the ciphers and digests against OpenSSL's libcrypto on random inputs.
#include "foundation/Crypto.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <memory>
#include <random>

namespace {

constexpr int kRounds = 3000;

// DES lives in OpenSSL's legacy provider; the default one stays loaded beside it.
void LoadProviders() {
    static OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    static OSSL_PROVIDER* standard = OSSL_PROVIDER_load(nullptr, "default");
    ASSERT_NE(legacy, nullptr);
    ASSERT_NE(standard, nullptr);
}

using TCipherCtx = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

std::string OpenSslEncrypt(const EVP_CIPHER* cipher, const std::string& key, const std::string& plain,
                           bool padding) {
    TCipherCtx ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    EXPECT_EQ(EVP_EncryptInit_ex(ctx.get(), cipher, nullptr,
                                 reinterpret_cast<const unsigned char*>(key.data()), nullptr),
              1);
    EVP_CIPHER_CTX_set_padding(ctx.get(), padding ? 1 : 0);
    std::string out(plain.size() + 32, '\0');
    int written = 0;
    int finalWritten = 0;
    auto* dst = reinterpret_cast<unsigned char*>(&out[0]);
    EXPECT_EQ(EVP_EncryptUpdate(ctx.get(), dst, &written,
                                reinterpret_cast<const unsigned char*>(plain.data()),
                                static_cast<int>(plain.size())),
              1);
    EXPECT_EQ(EVP_EncryptFinal_ex(ctx.get(), dst + written, &finalWritten), 1);
    out.resize(static_cast<std::size_t>(written + finalWritten));
    return out;
}

std::string OpenSslDigest(const EVP_MD* md, const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    EXPECT_EQ(EVP_Digest(bytes.data(), bytes.size(), digest, &size, md, nullptr), 1);
    return std::string(reinterpret_cast<char*>(digest), size);
}

std::string Fit(std::string key, std::size_t size) {
    key.resize(size, '\0');
    return key;
}

// Keys of 0 to 20 characters mixing ASCII, code-page 936 double-byte characters and raw bytes.
std::string RandomKey(std::mt19937& rng) {
    static const char* const kPieces[] = {"a",        "Z",        "9",    "%",        "@",
                                          "&",        "{",        "'",    "\xD6\xD0", "\xCE\xC4",
                                          "\xB0\xA1", "\xF7\xFE", "\x00", "\xFF",     "\x80"};
    std::size_t target = rng() % 21;
    std::string key;
    while (key.size() < target) {
        const char* piece = kPieces[rng() % (sizeof(kPieces) / sizeof(kPieces[0]))];
        key.append(piece, piece[0] == '\0' ? 1 : std::char_traits<char>::length(piece));
    }
    key.resize(target);
    return key;
}

std::string RandomText(std::mt19937& rng) {
    std::string text(rng() % 101, '\0');
    for (auto& c : text)
        c = static_cast<char>(rng() & 0xff);
    return text;
}

} // namespace

TEST(CryptoAgainstOpenSsl, AesModeZeroMatchesEcbWithLengthPrefixAndZeroFill) {
    std::mt19937 rng(1);
    for (int i = 0; i < kRounds; ++i) {
        const std::string key = RandomKey(rng);
        const std::string plain = RandomText(rng);
        std::string framed;
        for (int b = 0; b < 8; ++b)
            framed.push_back(static_cast<char>(std::uint64_t(plain.size()) >> (8 * b)));
        std::string padded = plain;
        padded.resize((plain.size() + 15) / 16 * 16, '\0');
        framed += OpenSslEncrypt(EVP_aes_128_ecb(), Fit(key, 16), padded, false);
        const std::string hex = AesEncryptHex(plain, key, kAesLengthFramed);
        ASSERT_EQ(hex, HexUpper(framed)) << "length " << plain.size() << " key length " << key.size();
        ASSERT_EQ(AesDecryptHex(hex, key), plain);
    }
}

TEST(CryptoAgainstOpenSsl, AesModeOneMatchesEcbWithPkcs7) {
    std::mt19937 rng(2);
    for (int i = 0; i < kRounds; ++i) {
        const std::string key = RandomKey(rng);
        const std::string plain = RandomText(rng);
        ASSERT_EQ(AesEncryptHex(plain, key, kAesPkcs7),
                  HexUpper(OpenSslEncrypt(EVP_aes_128_ecb(), Fit(key, 16), plain, true)))
            << "length " << plain.size() << " key length " << key.size();
    }
}

TEST(CryptoAgainstOpenSsl, DesEncryptMatchesEcbWithPkcs5) {
    LoadProviders();
    std::mt19937 rng(3);
    for (int i = 0; i < kRounds; ++i) {
        const std::string key = RandomKey(rng);
        const std::string plain = RandomText(rng);
        ASSERT_EQ(HexUpper(DesEncrypt(plain, key)),
                  HexUpper(OpenSslEncrypt(EVP_des_ecb(), Fit(key, 8), plain, true)))
            << "length " << plain.size() << " key length " << key.size();
    }
}

TEST(CryptoAgainstOpenSsl, DigestsAndBase64Match) {
    std::mt19937 rng(4);
    const TBase64 base64;
    for (int i = 0; i < kRounds; ++i) {
        const std::string text = RandomText(rng);
        const TMd5Digest md5 = Md5Digest(text);
        const TSha1Digest sha1 = Sha1Digest(text);
        ASSERT_EQ(std::string(md5.begin(), md5.end()), OpenSslDigest(EVP_md5(), text));
        ASSERT_EQ(std::string(sha1.begin(), sha1.end()), OpenSslDigest(EVP_sha1(), text));
        ASSERT_EQ(Md5HexOfBytes(text), HexLower(OpenSslDigest(EVP_md5(), text)));

        std::string expected(4 * ((text.size() + 2) / 3) + 1, '\0');
        int size = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&expected[0]),
                                   reinterpret_cast<const unsigned char*>(text.data()),
                                   static_cast<int>(text.size()));
        expected.resize(static_cast<std::size_t>(size));
        ASSERT_EQ(base64.EncodeData(text), expected);
    }
    // Lengths that straddle the digests' padding boundaries.
    for (std::size_t size = 50; size <= 200; ++size) {
        const std::string text(size, static_cast<char>('a' + size % 26));
        ASSERT_EQ(Sha1HexUpper(text), HexUpper(OpenSslDigest(EVP_sha1(), text))) << size;
        ASSERT_EQ(Md5HexOfBytes(text), HexLower(OpenSslDigest(EVP_md5(), text))) << size;
    }
}
