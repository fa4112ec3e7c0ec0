#include "foundation/Crypto.h"
#include "foundation/TextCodec.h"

#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <thread>
#include <vector>

namespace {

std::string FromHex(std::string_view hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    return bytes;
}

std::string AesBlockHex(std::string_view keyHex, std::string_view plainHex) {
    const std::string key = FromHex(keyHex);
    const std::string plain = FromHex(plainHex);
    std::uint8_t out[16];
    TAes128Encryptor(reinterpret_cast<const std::uint8_t*>(key.data()))
        .EncryptBlock(reinterpret_cast<const std::uint8_t*>(plain.data()), out);
    return HexUpper(std::string_view(reinterpret_cast<const char*>(out), 16));
}

std::string DesBlockHex(std::string_view keyHex, std::string_view plainHex) {
    const std::string key = FromHex(keyHex);
    const std::string plain = FromHex(plainHex);
    std::string out;
    for (std::size_t i = 0; i < plain.size(); i += 8) {
        std::uint8_t block[8];
        TDesEncryptor(reinterpret_cast<const std::uint8_t*>(key.data()))
            .EncryptBlock(reinterpret_cast<const std::uint8_t*>(plain.data() + i), block);
        out.append(reinterpret_cast<const char*>(block), 8);
    }
    return HexUpper(out);
}

std::string LengthPrefixHex(std::uint64_t length) {
    std::string prefix;
    for (int i = 0; i < 8; ++i)
        prefix.push_back(static_cast<char>(length >> (8 * i)));
    return HexUpper(prefix);
}

std::string RandomBytes(std::mt19937& rng, std::size_t size) {
    std::string bytes(size, '\0');
    for (auto& c : bytes)
        c = static_cast<char>(rng() & 0xff);
    return bytes;
}

const std::string kChineseGbk = "\xD6\xD0\xCE\xC4"; // 中文 in code page 936

} // namespace

TEST(Aes, BlockCipherMatchesPublishedVectors) {
    EXPECT_EQ(AesBlockHex("000102030405060708090A0B0C0D0E0F", "00112233445566778899AABBCCDDEEFF"),
              "69C4E0D86A7B0430D8CDB78070B4C55A");
    EXPECT_EQ(AesBlockHex("2B7E151628AED2A6ABF7158809CF4F3C", "3243F6A8885A308D313198A2E0370734"),
              "3925841D02DC09FBDC118597196A0B32");

    const std::string key = FromHex("000102030405060708090A0B0C0D0E0F");
    const std::string cipher = FromHex("69C4E0D86A7B0430D8CDB78070B4C55A");
    std::uint8_t plain[16];
    TAes128Decryptor(reinterpret_cast<const std::uint8_t*>(key.data()))
        .DecryptBlock(reinterpret_cast<const std::uint8_t*>(cipher.data()), plain);
    EXPECT_EQ(HexUpper(std::string_view(reinterpret_cast<const char*>(plain), 16)),
              "00112233445566778899AABBCCDDEEFF");
}

TEST(AesEncryptHex, LengthFramedModeWritesPrefixAndZeroFilledBlocks) {
    EXPECT_EQ(AesEncryptHex("", kSysCipherKey, kAesLengthFramed), "0000000000000000");

    const std::string five = AesEncryptHex("hello", kSysCipherKey, kAesLengthFramed);
    EXPECT_EQ(five, "0500000000000000"
                    "1F96F63B091696C78F02CBF47DA85285");

    const std::string sixteen = AesEncryptHex("0123456789abcdef", kSysCipherKey, kAesLengthFramed);
    EXPECT_EQ(sixteen.size(), 16u + 32u);
    EXPECT_EQ(sixteen.substr(0, 16), "1000000000000000");

    EXPECT_EQ(AesEncryptHex(kChineseGbk, kHostCipherKey, kAesLengthFramed),
              "0400000000000000"
              "BFBFA1F201A17712961D363BAF2E579B");
}

TEST(AesEncryptHex, Pkcs7ModeAlwaysAddsPadding) {
    const std::string sixteen = AesEncryptHex("0123456789abcdef", kEncACipherKey, kAesPkcs7);
    EXPECT_EQ(sixteen, "95240B0A8E3801A4CD451803AA356E61"
                       "30C8A214F8703243AF970B2AD8ADC1AB");
    // The padding block alone is what an empty text encrypts to.
    EXPECT_EQ(AesEncryptHex("", kEncACipherKey, kAesPkcs7), sixteen.substr(32));
    EXPECT_EQ(AesEncryptHex(std::string(15, 'x'), kEncACipherKey, kAesPkcs7).size(), 32u);
    EXPECT_EQ(AesEncryptHex(std::string(17, 'x'), kEncACipherKey, kAesPkcs7).size(), 64u);
}

TEST(AesEncryptHex, KeyIsZeroFilledOrCutToSixteenBytes) {
    const std::string plain = "some parameter";
    EXPECT_EQ(AesEncryptHex(plain, kSysCipherKey, 0),
              AesEncryptHex(plain, std::string(kSysCipherKey) + std::string(3, '\0'), 0));
    EXPECT_EQ(AesEncryptHex(plain, "ABCDEFGHIJKLMNOPQRST", 1), AesEncryptHex(plain, "ABCDEFGHIJKLMNOP", 1));
    EXPECT_NE(AesEncryptHex(plain, "ABCDEFGHIJKLMNOP", 1), AesEncryptHex(plain, "ABCDEFGHIJKLMNOQ", 1));
    EXPECT_EQ(AesEncryptHex(plain, "", 1), AesEncryptHex(plain, std::string(16, '\0'), 1));
}

TEST(AesEncryptHex, RejectsUnknownPaddingMode) {
    EXPECT_THROW(AesEncryptHex("abc", kSysCipherKey, 2), ECryptoError);
    EXPECT_THROW(AesEncryptHex("abc", kSysCipherKey, -1), ECryptoError);
}

TEST(AesDecryptHex, RoundTripsEveryLengthIncludingTrailingZeroBytes) {
    std::mt19937 rng(7);
    for (std::size_t size = 0; size <= 40; ++size) {
        std::string plain = RandomBytes(rng, size);
        if (size > 2) plain[size - 1] = plain[size - 2] = '\0';
        const std::string hex = AesEncryptHex(plain, kHostCipherKey, kAesLengthFramed);
        EXPECT_EQ(AesDecryptHex(hex, kHostCipherKey), plain) << size;
    }
    std::string lower = AesEncryptHex(kChineseGbk, kSysCipherKey, 0);
    for (auto& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(AesDecryptHex(lower, kSysCipherKey), kChineseGbk);
}

TEST(AesDecryptHex, FailsOnMalformedText) {
    const std::string good = AesEncryptHex("hello", kSysCipherKey, 0);
    auto messageOf = [](const std::string& hex) {
        try {
            AesDecryptHex(hex, kSysCipherKey);
        } catch (const ECryptoError& e) {
            return std::string(e.what());
        }
        return std::string("no failure");
    };
    EXPECT_EQ(messageOf(""), "Stream read error");
    EXPECT_EQ(messageOf("00000000000000"), "Stream read error");
    EXPECT_EQ(messageOf("0000000000000000" + std::string(30, 'A')), "Invalid buffer size for decryption");
    EXPECT_EQ(messageOf(good.substr(0, good.size() - 2)), "Invalid buffer size for decryption");
    EXPECT_EQ(messageOf(good + "00"), "Invalid buffer size for decryption");

    for (std::size_t at : {std::size_t(0), std::size_t(1), std::size_t(17), good.size() - 1}) {
        std::string bad = good;
        bad[at] = 'G';
        EXPECT_THROW(AesDecryptHex(bad, kSysCipherKey), ECryptoError) << at;
    }
    EXPECT_THROW(AesDecryptHex(good + "z", kSysCipherKey), ECryptoError);
    EXPECT_THROW(AesDecryptHex(" " + good.substr(1), kSysCipherKey), ECryptoError);
}

TEST(AesDecryptHex, ResultNeverExceedsDecryptedDataWhateverThePrefixClaims) {
    const std::string block = AesEncryptHex(std::string(16, 'q'), kSysCipherKey, 0).substr(16);
    EXPECT_EQ(AesDecryptHex(LengthPrefixHex(0) + block, kSysCipherKey), "");
    EXPECT_EQ(AesDecryptHex(LengthPrefixHex(3) + block, kSysCipherKey), "qqq");
    EXPECT_EQ(AesDecryptHex(LengthPrefixHex(20) + block, kSysCipherKey), std::string(16, 'q'));
    EXPECT_EQ(AesDecryptHex(LengthPrefixHex(~std::uint64_t(0)) + block, kSysCipherKey), std::string(16, 'q'));
    // Would become 3 if the prefix were narrowed to 32 bits first.
    EXPECT_EQ(AesDecryptHex(LengthPrefixHex((std::uint64_t(1) << 32) + 3) + block, kSysCipherKey),
              std::string(16, 'q'));
    EXPECT_EQ(AesDecryptHex(LengthPrefixHex(~std::uint64_t(0)), kSysCipherKey), "");
}

TEST(AesDecryptHex, LoneLastDigitIsAByteOfItsOwn) {
    // Find a cipher text whose last byte is below 0x10: written as "0X" or as a lone "X" it
    // must decrypt alike.
    for (int i = 0; i < 1000; ++i) {
        const std::string plain = "text " + std::to_string(i);
        const std::string hex = AesEncryptHex(plain, kSysCipherKey, 0);
        if (hex[hex.size() - 2] != '0') continue;
        const std::string shortened = hex.substr(0, hex.size() - 2) + hex.back();
        EXPECT_EQ(AesDecryptHex(shortened, kSysCipherKey), plain);
        return;
    }
    FAIL() << "no cipher text ending in a byte below 0x10";
}

TEST(AesDecryptHex, SurvivesArbitraryInput) {
    std::mt19937 rng(11);
    const std::string alphabet = "0123456789ABCDEFabcdef0000FFFFxg \x80";
    for (int round = 0; round < 3000; ++round) {
        std::string text(rng() % 100, '0');
        for (auto& c : text)
            c = alphabet[rng() % alphabet.size()];
        if (round % 3 == 0 && text.size() >= 16) text.replace(0, 16, "FFFFFFFFFFFFFFFF");
        try {
            const std::string plain = AesDecryptHex(text, kSysCipherKey);
            const std::size_t bytes = (text.size() + 1) / 2;
            EXPECT_LE(plain.size(), bytes - 8);
        } catch (const ECryptoError&) {
        }
    }
}

TEST(Des, BlockCipherMatchesPublishedVectors) {
    EXPECT_EQ(DesBlockHex("133457799BBCDFF1", "0123456789ABCDEF"), "85E813540F0AB405");
    EXPECT_EQ(DesBlockHex("0E329232EA6D0D73", "8787878787878787"), "0000000000000000");
    EXPECT_EQ(DesBlockHex("0101010101010101", "8000000000000000"), "95F8A5E5DD31D900");
    EXPECT_EQ(DesBlockHex("0101010101010101", "4000000000000000"), "DD7F121CA5015619");
    EXPECT_EQ(DesBlockHex("8001010101010101", "0000000000000000"), "95A8D72813DAA94D");
    EXPECT_EQ(DesBlockHex("0123456789ABCDEF", HexUpper("Now is the time for all ")), "3FA40E8A984D4815"
                                                                                     "6A271787AB8883F9"
                                                                                     "893D51EC4B563B53");
    // Parity bits take no part.
    EXPECT_EQ(DesBlockHex("123456789ABCDEF0", "0123456789ABCDEF"), "85E813540F0AB405");
}

TEST(DesEncrypt, PadsToWholeBlocksAndFitsTheKey) {
    EXPECT_EQ(DesEncrypt("", "QWPMQWPM").size(), 8u);
    EXPECT_EQ(DesEncrypt("1234567", "QWPMQWPM").size(), 8u);
    const std::string eight = DesEncrypt("Now is t", FromHex("0123456789ABCDEF"));
    ASSERT_EQ(eight.size(), 16u);
    EXPECT_EQ(HexUpper(eight.substr(0, 8)), "3FA40E8A984D4815");
    // The padding block of eight 0x08 bytes is what an empty text encrypts to.
    EXPECT_EQ(eight.substr(8), DesEncrypt("", FromHex("0123456789ABCDEF")));

    EXPECT_EQ(DesEncrypt("abc", "QWP"), DesEncrypt("abc", std::string("QWP") + std::string(5, '\0')));
    EXPECT_EQ(DesEncrypt("abc", "QWPMQWPM-and-more"), DesEncrypt("abc", "QWPMQWPM"));
}

TEST(EncUrlText, EncryptsEncodesAndEscapes) {
    EXPECT_EQ(EncUrlText("abc"), "cpl6K4YswS0%3D");
    EXPECT_EQ(EncUrlText("12345678"), "RmOIJ4H2bHbXZ2jrkCunGw%3D%3D");
    EXPECT_EQ(EncUrlText(Utf8ToAnsi("user=\xE5\xBC\xA0\xE4\xB8\x89&id=1")), "KOwAkezzE5ltkTdAB%2FkumA%3D%3D");
}

TEST(Base64, EncodesRfcVectorsWithoutLineBreaks) {
    const TBase64 base64;
    EXPECT_EQ(base64.EncodeData(""), "");
    EXPECT_EQ(base64.EncodeData("f"), "Zg==");
    EXPECT_EQ(base64.EncodeData("fo"), "Zm8=");
    EXPECT_EQ(base64.EncodeData("foo"), "Zm9v");
    EXPECT_EQ(base64.EncodeData("foob"), "Zm9vYg==");
    EXPECT_EQ(base64.EncodeData("fooba"), "Zm9vYmE=");
    EXPECT_EQ(base64.EncodeData("foobar"), "Zm9vYmFy");
    EXPECT_EQ(base64.EncodeData("\xFB\xFF\xBF"), "+/+/");
    EXPECT_EQ(base64.EncodeData(std::string(3, '\0')), "AAAA");
    const std::string longText = base64.EncodeData(std::string(300, 'x'));
    EXPECT_EQ(longText.size(), 400u);
    EXPECT_EQ(longText.find('\n'), std::string::npos);
    EXPECT_EQ(TBase64(true).EncodeData("fooba"), "Zm9vYmE=");
}

TEST(Md5, MatchesRfcSuite) {
    EXPECT_EQ(Md5HexOfBytes(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5HexOfBytes("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(Md5HexOfBytes("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Md5HexOfBytes("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(Md5HexOfBytes("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(Md5HexOfBytes("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    std::string eighty;
    for (int i = 0; i < 8; ++i)
        eighty += "1234567890";
    EXPECT_EQ(Md5HexOfBytes(eighty), "57edf4a22be3c955ac49da2e2107b67a");
    EXPECT_EQ(Md5HexOfBytes(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
}

TEST(Md5Hex, DigestsTheCodePageBytesOfTheText) {
    SetAnsiCodePage(936);
    EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Md5Hex("\xE4\xB8\xAD\xE6\x96\x87"), Md5HexOfBytes(kChineseGbk));
    EXPECT_NE(Md5Hex("\xE4\xB8\xAD\xE6\x96\x87"), Md5HexOfBytes("\xE4\xB8\xAD\xE6\x96\x87"));
}

TEST(Sha1, MatchesPublishedVectorsInUppercase) {
    EXPECT_EQ(Sha1HexUpper("abc"), "A9993E364706816ABA3E25717850C26C9CD0D89D");
    EXPECT_EQ(Sha1HexUpper(""), "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");
    EXPECT_EQ(Sha1HexUpper("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "84983E441C3BD26EBAAE4AA1F95129E5E54670F1");
    EXPECT_EQ(Sha1HexUpper(std::string(1000000, 'a')), "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F");
}

TEST(CipherKeys, AreTheFixedTextsByteForByte) {
    EXPECT_EQ(kSysCipherKey.size(), 13u);
    EXPECT_EQ(kSysCipherKey.substr(2, 2), "%%");
    EXPECT_EQ(kHostCipherKey, "kx%%@&QQQQ481");
    EXPECT_EQ(kEncACipherKey.size(), 16u);
    EXPECT_EQ(kUrlCipherKey.size(), 8u);
}

TEST(Crypto, CompositionsGiveTheSameResultsOnConcurrentThreads) {
    const std::string plain = "credentials \xD6\xD0";
    const std::string aes = AesEncryptHex(plain, kSysCipherKey, 0);
    const std::string url = EncUrlText(plain);
    const std::string md5 = Md5HexOfBytes(plain);
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                if (AesEncryptHex(plain, kSysCipherKey, 0) != aes) ++mismatches[t];
                if (AesDecryptHex(aes, kSysCipherKey) != plain) ++mismatches[t];
                if (EncUrlText(plain) != url) ++mismatches[t];
                if (Md5HexOfBytes(plain) != md5) ++mismatches[t];
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}
