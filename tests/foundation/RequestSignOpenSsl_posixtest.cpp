// Cross-checks request signing against an independent composition: our own simple form encoder,
// a UTF-16 ordinal sort, and OpenSSL's SHA-1.
#include "foundation/Json.h"
#include "foundation/RequestSign.h"
#include "foundation/TextCodec.h"

#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string FormEncode(const std::string& utf8) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : utf8) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '*' ||
            c == '.' || c == '_' || c == '-') {
            out.push_back(static_cast<char>(c));
        } else if (c == ' ') {
            out.push_back('+');
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

std::string OpenSslSha1Upper(const std::string& text) {
    unsigned char md[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(text.data()), text.size(), md);
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : md) {
        out.push_back(hex[b >> 4]);
        out.push_back(hex[b & 15]);
    }
    return out;
}

std::string ExpectedSignature(std::vector<std::pair<std::string, std::string>> pairs) {
    std::stable_sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) {
        return Utf8ToUtf16(a.first) < Utf8ToUtf16(b.first);
    });
    std::string text;
    for (const auto& p : pairs)
        text += FormEncode(p.second);
    return OpenSslSha1Upper(text);
}

std::string RandomText(std::mt19937& rng) {
    static const std::vector<std::string> pieces = {"a",
                                                    "Z",
                                                    "0",
                                                    " ",
                                                    "+",
                                                    "/",
                                                    "=",
                                                    "&",
                                                    "~",
                                                    "!",
                                                    "'",
                                                    "(",
                                                    "*",
                                                    "-",
                                                    "_",
                                                    ".",
                                                    "%",
                                                    "\xE4\xB8\xAD", // 中
                                                    "\xE7\xA8\x8E", // 税
                                                    "\xC3\xA9",     // é
                                                    "\xE2\x82\xAC", // €
                                                    "key",
                                                    "Value"};
    std::uniform_int_distribution<size_t> len(0, 8);
    std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
    std::string s;
    for (size_t n = len(rng); n > 0; --n)
        s += pieces[pick(rng)];
    return s;
}

} // namespace

TEST(RequestSignCrossCheck, SignatureMatchesAnIndependentCompositionWithOpenSslSha1) {
    std::mt19937 rng(20261208);
    for (int round = 0; round < 2000; ++round) {
        const std::string appId = RandomText(rng);
        const std::string body = (round % 3 == 0) ? std::string() : RandomText(rng);
        const std::string timestamp = (round % 4 == 0) ? std::string() : std::to_string(round * 7919);
        std::vector<std::pair<std::string, std::string>> params;
        const int count = static_cast<int>(rng() % 5);
        JsonRef request = NewJsonObject();
        JsonRef list = NewJsonArray();
        for (int i = 0; i < count; ++i) {
            JsonRef p = NewJsonObject();
            const std::string key = RandomText(rng) + "k";
            const std::string value = RandomText(rng);
            p->PutS("key", key);
            p->PutS("value", value);
            list->Add(p);
            params.emplace_back(key, value);
        }
        request->PutO("params", list);
        request->PutS("body", body);
        request->PutS("timestamp", timestamp);

        const int64_t fixedNow = 1765000000000 + round;
        const std::string answer = SignRequestOrThrow(request->AsString(), appId, [&] { return fixedNow; });
        JsonRef parsed = ParseJson(answer);
        ASSERT_TRUE(parsed) << answer;
        const std::string usedTimestamp = timestamp.empty() ? std::to_string(fixedNow) : timestamp;
        EXPECT_EQ(parsed->GetS("timestamp"), usedTimestamp);
        EXPECT_EQ(parsed->GetS("appId"), appId);

        std::vector<std::pair<std::string, std::string>> all = {
            {"appId", appId}, {"appSecret", std::string(kRequestAppSecret)}, {"timestamp", usedTimestamp}};
        all.insert(all.end(), params.begin(), params.end());
        if (!body.empty()) all.emplace_back("bizData", body);
        EXPECT_EQ(parsed->GetS("appkey"), ExpectedSignature(all)) << request->AsString();
    }
}
