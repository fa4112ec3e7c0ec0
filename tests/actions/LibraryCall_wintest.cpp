#include "DispatchFakes.h"

#include "actions/LibraryCall.h"
#include "services/Account.h"
#include "support/WinTestEnv.h"
#include "support/ServiceFakes.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace dispatch_test;

namespace {

// The real file system, with the program folder of the test's choosing.
class TWinFiles final : public IDispatchEnvironment {
public:
    explicit TWinFiles(std::string folder) : FFolder(std::move(folder)) {}
    bool FileExists(const std::string& path) override {
        const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    std::string ProgramFolder() override { return FFolder; }
    std::string ExtModulePath(const std::string&) override { return {}; }
    void ShowMessage(const std::string&) override {}

private:
    std::string FFolder;
};

class LibraryCallTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CopyTestFile(TestProgramFolder() + L"ServiceLib.dll", Folder.Path() + L"mylib.dll"));
        // The program's own "app" service takes the routed calls.
        Registry.InitAllModules({&AccountServiceClass()});
    }

    TTestFolder Folder{L"servicelib"};
    TFakePort Port;
    TWinFiles Files{Folder.Utf8()};
    TActionRegistry Registry{Port, Files};
};

} // namespace

TEST_F(LibraryCallTest, LibraryInProgramFolderAnswersThroughItsExport) {
    EXPECT_EQ(Registry.CallActionFun("mylib.Echo", TVarArgs{TVarRec::Text("税"), TVarRec::Integer(3)}),
              "Echo:税|3");
    EXPECT_EQ(Registry.CallActionFun(" mylib . Echo ", TVarArgs{}), "Echo:");
}

TEST_F(LibraryCallTest, AbsolutePathWithoutExtensionReachesTheLibrary) {
    const std::string base = Folder.Utf8() + "mylib";
    ASSERT_EQ(base.find('.'), std::string::npos) << "the test folder must not hold a dot";
    TWinFiles elsewhere("C:\\nowhere\\");
    TActionRegistry registry(Port, elsewhere);
    registry.InitAllModules({&RoutingAppClass()});
    EXPECT_EQ(registry.CallActionFun(base + ".Echo", TVarArgs{TVarRec::Text("x")}), "Echo:x");
    EXPECT_EQ(registry.CallActionFun("mylib.Echo", TVarArgs{}), "") << "not in that program folder";
}

TEST_F(LibraryCallTest, FailureOrMissingFunctionAnswersEmptyText) {
    EXPECT_EQ(Registry.CallActionFun("mylib.Refuse", TVarArgs{}), "");
    EXPECT_EQ(Registry.CallActionFun("mylib.NoSuchExport", TVarArgs{}), "");
    EXPECT_EQ(Registry.CallActionFun("mylib.echo", TVarArgs{}), "") << "export names are case-sensitive";
    EXPECT_EQ(Registry.CallActionFun("nolib.Echo", TVarArgs{}), "");
}

TEST_F(LibraryCallTest, OnlyTheLowByteOfTheAnswerCounts) {
    EXPECT_EQ(Registry.CallActionFun("mylib.WideTrue", TVarArgs{}), "wide");
    EXPECT_EQ(Registry.CallActionFun("mylib.WideFalse", TVarArgs{}), "");
}

TEST_F(LibraryCallTest, NeedsBothNamedValues) {
    TOwnedContext page;
    TCallerContextPtr context = page.Wrap();
    context->SetValue("path", Folder.Utf8() + "mylib.dll");
    EXPECT_EQ(CallLibraryFunction(context.Get()), "");
    context->SetValue("funName", "Echo");
    EXPECT_EQ(CallLibraryFunction(context.Get()), "Echo:");
    context->SetValue("path", Folder.Utf8() + "missing.dll");
    EXPECT_EQ(CallLibraryFunction(context.Get()), "");
    EXPECT_EQ(CallLibraryFunction(nullptr), "");
}

TEST_F(LibraryCallTest, LibraryPathInTheSystemCodePageIsLoaded) {
    const std::wstring chinese = Folder.Path() + L"\u7a0e\u52a1\\";
    ASSERT_TRUE(CopyTestFile(TestProgramFolder() + L"ServiceLib.dll", chinese + L"tax.dll"));
    TWinFiles files(Narrow(chinese));
    TActionRegistry registry(Port, files);
    registry.InitAllModules({&RoutingAppClass()});
    EXPECT_EQ(registry.CallActionFun("tax.Echo", TVarArgs{TVarRec::Text("a")}), "Echo:a");
}

TEST_F(LibraryCallTest, WaitingPageGetsTheLibraryAnswerFromTheRunner) {
    TAsyRunTask runner(Port, Registry);
    Registry.SetTaskRunner(&runner);
    TOwnedContext page(12, 34);
    page->GetParams()->AddStrParam(jptText, "p");
    EXPECT_EQ(Registry.CallActionFun("mylib.Echo", page.Wrap()), CLAsync);
    ASSERT_TRUE(Port.WaitForAnswers(1));
    const TAnswer answer = Port.Answers()[0];
    EXPECT_EQ(answer.WebId, 34);
    EXPECT_EQ(answer.CallerNo, 12);
    EXPECT_EQ(answer.Text, "Echo:p");
    runner.Stop();
}
