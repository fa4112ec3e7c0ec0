#include "AppFrameTool.h"

#include "foundation/TextCodec.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

struct TRun {
    int status = -1;
    std::string out;
    std::string err;
};

TRun RunArgs(std::vector<std::string> args) {
    std::ostringstream out;
    std::ostringstream err;
    TRun run;
    run.status = RunTool(args, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

// The one printed line without its line end; fails the test unless exactly one line came out.
std::string Line(const TRun& run) {
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    EXPECT_FALSE(run.out.empty());
    if (run.out.empty() || run.out.back() != '\n') return run.out;
    const std::string line = run.out.substr(0, run.out.size() - 1);
    EXPECT_EQ(line.find('\n'), std::string::npos) << run.out;
    return line;
}

void ExpectBadInput(std::vector<std::string> args, const std::string& mention) {
    const TRun run = RunArgs(args);
    std::string joined;
    for (const auto& a : args)
        joined += a + " ";
    EXPECT_EQ(run.status, 2) << joined;
    EXPECT_TRUE(run.out.empty()) << joined;
    EXPECT_NE(run.err.find(mention), std::string::npos) << joined << "\n" << run.err;
}

const std::string kChinese = "\xE4\xB8\xAD\xE6\x96\x87"; // 中文

} // namespace

TEST(AppFrameTool, EncMatchesTheSysCipherAndDecReversesIt) {
    SetAnsiCodePage(936);
    EXPECT_EQ(Line(RunArgs({"enc", "abc"})), "0300000000000000"
                                             "73E97A4C07C3E48FD74B45F199EBADE2");
    EXPECT_EQ(Line(RunArgs({"enc", ""})), "0000000000000000");
    const std::string cipher = Line(RunArgs({"enc", kChinese + " x"}));
    EXPECT_EQ(cipher.substr(0, 16), "0600000000000000") << "length of the ANSI bytes, not the UTF-8 ones";
    EXPECT_EQ(Line(RunArgs({"dec", cipher})), kChinese + " x");
    EXPECT_EQ(Line(RunArgs({"dec", "0000000000000000"})), "");
}

TEST(AppFrameTool, EachNamedUseHasItsOwnKey) {
    const std::string sys = Line(RunArgs({"enc", "secret"}));
    const std::string host = Line(RunArgs({"encrypt-param", "secret"}));
    EXPECT_NE(sys, host);
    EXPECT_EQ(Line(RunArgs({"decrypt-param", host})), "secret");
    EXPECT_NE(Line(RunArgs({"dec", host})), "secret");
    // PKCS#7 without a length prefix: a whole block of text gets a whole block of padding.
    EXPECT_EQ(Line(RunArgs({"enca", "0123456789abcdef"})).size(), 64u);
    EXPECT_EQ(Line(RunArgs({"enca", ""})).size(), 32u);
}

TEST(AppFrameTool, EncUrlIsDesThenBase64ThenEscaped) {
    EXPECT_EQ(Line(RunArgs({"encurl", "abc"})), "cpl6K4YswS0%3D");
    EXPECT_EQ(Line(RunArgs({"encurl", ""})), "12do65Arpxs%3D");
}

TEST(AppFrameTool, DigestsUseTheAnsiBytesOfTheChosenCodePage) {
    EXPECT_EQ(Line(RunArgs({"md5", ""})), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Line(RunArgs({"sha1", "abc"})), "A9993E364706816ABA3E25717850C26C9CD0D89D");
    EXPECT_EQ(Line(RunArgs({"--acp", "936", "md5", "\xE4\xB8\xAD"})), "5301da37e5ffca1823a5cef67488d4bf");
    EXPECT_EQ(Line(RunArgs({"sha1", "\xE4\xB8\xAD", "--acp", "936"})),
              "66CB1675A06C10311F991AB9D6FB62407146F653");
    EXPECT_EQ(Line(RunArgs({"--acp", "65001", "md5", "\xE4\xB8\xAD"})), "aed1dfbc31703955e64806b799b67645");
    EXPECT_EQ(AnsiCodePage(), 936u) << "the caller's code page comes back";
}

TEST(AppFrameTool, SignAnswersTheSignedJson) {
    const std::string request =
        R"({"params":[{"key":"b","value":"2"},{"key":"A","value":"1"}],"body":"","timestamp":"100"})";
    const std::string answer = Line(RunArgs({"sign", "--app-id", "APP1", request}));
    EXPECT_NE(answer.find(R"("appkey":"D10B89A244994177F2D9E531D25A059864CEFBC3")"), std::string::npos)
        << answer;
    EXPECT_NE(answer.find(R"("timestamp":"100")"), std::string::npos) << answer;
    EXPECT_EQ(Line(RunArgs({"sign", "{}", "--timestamp", "1700000000123", "--app-id", ""})),
              Line(RunArgs({"sign", "--app-id", "", R"({"timestamp":"1700000000123"})"})));
    EXPECT_NE(Line(RunArgs({"sign", "--app-id", "X", "{}"})).find(R"("timestamp":")"), std::string::npos);
}

TEST(AppFrameTool, SignLosesWhatTheCodePageCannotHoldAsPagesDo) {
    // A raw Thai letter reaches the signer as "?" through code page 936; a JSON escape of it
    // is plain ASCII and survives.
    const std::string raw =
        Line(RunArgs({"sign", "--app-id", "A", "{\"timestamp\":\"1\",\"body\":\"x\xE0\xB8\x81\"}"}));
    EXPECT_EQ(raw, Line(RunArgs({"sign", "--app-id", "A", R"({"timestamp":"1","body":"x?"})"})));
    EXPECT_NE(raw, Line(RunArgs({"sign", "--app-id", "A", R"({"timestamp":"1","body":"x\u0E01"})"})));
    EXPECT_EQ(
        Line(RunArgs({"--acp", "65001", "sign", "--app-id", "A", R"({"timestamp":"1","body":"x\u0E01"})"})),
        Line(RunArgs({"--acp", "65001", "sign", "--app-id", "A",
                      "{\"timestamp\":\"1\",\"body\":\"x\xE0\xB8\x81\"}"})));
}

TEST(AppFrameTool, BadInputExitsWithStatusTwoAndAMessage) {
    ExpectBadInput({}, "no command");
    ExpectBadInput({"frobnicate", "x"}, "unknown command: frobnicate");
    ExpectBadInput({"enc"}, "exactly one argument");
    ExpectBadInput({"enc", "a", "b"}, "exactly one argument");
    ExpectBadInput({"dec", "XYZ"}, "cannot decrypt");
    ExpectBadInput({"dec", "00"}, "cannot decrypt");
    ExpectBadInput({"dec", "0100000000000000ABCD"}, "cannot decrypt");
    ExpectBadInput({"decrypt-param", "zz"}, "cannot decrypt");
    ExpectBadInput({"--acp"}, "--acp needs");
    ExpectBadInput({"--acp", "abc", "md5", "x"}, "bad code page");
    ExpectBadInput({"--acp", "0", "md5", "x"}, "bad code page");
    ExpectBadInput({"--acp", "70000", "md5", "x"}, "bad code page");
    ExpectBadInput({"--acp", "99999999999999999999999", "md5", "x"}, "bad code page");
    ExpectBadInput({"--acp", "1200", "md5", "x"}, "unsupported code page");
    ExpectBadInput({"sign", "{}"}, "--app-id");
    ExpectBadInput({"sign", "--app-id"}, "--app-id needs a value");
    ExpectBadInput({"sign", "--app-id", "A"}, "needs a request");
    ExpectBadInput({"sign", "--app-id", "A", "{}", "{}"}, "one request");
    ExpectBadInput({"sign", "--app-id", "A", "--timestamp", "-5", "{}"}, "bad timestamp");
    ExpectBadInput({"sign", "--app-id", "A", "--timestamp", "99999999999999999999", "{}"}, "bad timestamp");
    ExpectBadInput({"sign", "--app-id", "A", "not json"}, "cannot sign: Invalid object");
    ExpectBadInput({"sign", "--app-id", "A", R"({"params":{"k":1}})"}, "Invalid object");
    EXPECT_EQ(AnsiCodePage(), 936u);
    const TRun help = RunArgs({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage:"), std::string::npos);
}
