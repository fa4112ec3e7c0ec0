#include "webbridge/AppFramework.h"
#include "webbridge/WebBrowserEvent.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <vector>

TEST(ChooseFrameworkLibPath, TakesTheFirstExistingCandidateInOrder) {
    const std::string folder = "D:\\App\\";
    std::set<std::string> present;
    std::vector<std::string> asked;
    auto exists = [&](const std::string& p) {
        asked.push_back(p);
        return present.count(p) != 0;
    };
    bool found = true;
    EXPECT_EQ(ChooseFrameworkLibPath(folder, exists, found), "C:\\Corvane\\CefLib\\AppFramework.dll");
    EXPECT_FALSE(found);
    EXPECT_EQ(asked, (std::vector<std::string>{
                         "D:\\App\\AppFramework.dll", "C:\\Corvane\\CommonFiles\\CefLib\\AppFramework.dll",
                         "D:\\App\\CefLib\\AppFramework.dll", "C:\\Corvane\\CefLib\\AppFramework.dll"}));

    present = {"D:\\App\\CefLib\\AppFramework.dll", "C:\\Corvane\\CefLib\\AppFramework.dll"};
    EXPECT_EQ(ChooseFrameworkLibPath(folder, exists, found), "D:\\App\\CefLib\\AppFramework.dll");
    EXPECT_TRUE(found);
    present.insert("C:\\Corvane\\CommonFiles\\CefLib\\AppFramework.dll");
    EXPECT_EQ(ChooseFrameworkLibPath(folder, exists, found),
              "C:\\Corvane\\CommonFiles\\CefLib\\AppFramework.dll");
    present.insert("D:\\App\\AppFramework.dll");
    EXPECT_EQ(ChooseFrameworkLibPath(folder, exists, found), "D:\\App\\AppFramework.dll");
    // The last candidate found counts as found too (it is then remembered).
    present = {"C:\\Corvane\\CefLib\\AppFramework.dll"};
    EXPECT_EQ(ChooseFrameworkLibPath(folder, exists, found), "C:\\Corvane\\CefLib\\AppFramework.dll");
    EXPECT_TRUE(found);
}

TEST(BrowserSubProcess, OnlyTheLastArgumentDecides) {
    EXPECT_FALSE(IsCefSubProcArgs({}));
    EXPECT_TRUE(IsCefSubProcArgs({"--type=renderer", "--prefetch:1"}));
    EXPECT_FALSE(IsCefSubProcArgs({"--prefetch:1", "runmode=qnb"}));
    EXPECT_FALSE(IsCefSubProcArgs({"--Prefetch:1"})); // case-sensitive
    EXPECT_FALSE(IsCefSubProcArgs({"prefetch"}));
}

TEST(SplitCommandLine, QuotesGroupBlanksAndAreDropped) {
    EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\App\\AppFrameMain.exe\"  runmode=qnb\t--prefetch:1 "),
              (std::vector<std::string>{"C:\\Program Files\\App\\AppFrameMain.exe", "runmode=qnb",
                                        "--prefetch:1"}));
    EXPECT_EQ(SplitCommandLine("a\"b c\"d \"\""), (std::vector<std::string>{"ab cd", ""}));
    EXPECT_TRUE(SplitCommandLine("   ").empty());
    EXPECT_EQ(SplitCommandLine("x \"unterminated arg"), (std::vector<std::string>{"x", "unterminated arg"}));
}

TEST(TextInBuffer, ReadsUpToTheZeroOrTheEndOfTheBufferOnly) {
    const char withZero[6] = {'a', 'b', 0, 'c', 'd', 'e'};
    EXPECT_EQ(TextInBuffer(withZero, sizeof withZero), "ab");
    // A library that filled the whole buffer without a terminator: never read past it.
    std::vector<char> full(16, 'x');
    EXPECT_EQ(TextInBuffer(full.data(), full.size()), std::string(16, 'x'));
    EXPECT_EQ(TextInBuffer(full.data(), 0), "");
    EXPECT_EQ(TextInBuffer(nullptr, 10), "");
}

namespace {
class TThrowingSink final : public TWebBrowserEventSink {
public:
    std::vector<std::string> Names;
    void OnWebBrowserEvent(void*, void*, int32_t type, const std::string& name, IAppContext*) override {
        Names.push_back(name);
        if (type == 1) throw std::runtime_error("boom");
        if (type == 2) throw 42;
    }
};
} // namespace

TEST(WebBrowserEventSink, HandlerFailuresNeverReachTheLibrary) {
    TThrowingSink sink;
    const TProcWebBrowserEventEx cb = sink.Callback();
    EXPECT_EQ(cb.Data, &sink);
    EXPECT_NO_THROW(cb.Code(cb.Data, nullptr, nullptr, 1, "app.userinfor", nullptr));
    EXPECT_NO_THROW(cb.Code(cb.Data, nullptr, nullptr, 2, "\xD6\xD0", nullptr)); // ANSI name
    EXPECT_NO_THROW(cb.Code(cb.Data, nullptr, nullptr, 3, nullptr, nullptr));
    EXPECT_NO_THROW(cb.Code(nullptr, nullptr, nullptr, 3, "x", nullptr));
    EXPECT_EQ(sink.Names, (std::vector<std::string>{"app.userinfor", "中", ""}));
}
