#include "foundation/Json.h"
#include "foundation/ScopedWin.h"
#include "foundation/TextCodec.h"
#include "support/WinTestEnv.h"

#include <gtest/gtest.h>

#include <shellapi.h>

// The stand-in for sibling programs is what host tests observe launches with, so its record must
// be exact.
namespace {
UniqueHandle Launch(const std::wstring& exe, const std::wstring& args, const std::wstring& folder, int show) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = exe.c_str();
    info.lpParameters = args.c_str();
    info.lpDirectory = folder.c_str();
    info.nShow = show;
    if (!ShellExecuteExW(&info)) return UniqueHandle();
    return UniqueHandle(info.hProcess);
}
} // namespace

TEST(SiblingProgramStandIn, RecordsPathArgumentsFolderAndShowState) {
    TTestFolder dir(L"sibling");
    const std::wstring exe = dir.Path() + L"WLEmergency.exe";
    ASSERT_TRUE(CopyTestFile(TestProgramFolder() + L"SiblingProgram.exe", exe));
    const std::wstring log = dir.Path() + L"launches.jsonl";
    TScopedEnv logEnv(L"APPFRAME_SIBLING_LOG", log);
    TScopedEnv exitEnv(L"APPFRAME_SIBLING_EXIT_CODE", L"3");

    UniqueHandle process =
        Launch(exe, L"LaunchedByQNB  a runmode=qnb \"two words\"", dir.Path(), SW_SHOWNORMAL);
    ASSERT_TRUE(process);
    ASSERT_EQ(WaitForSingleObject(process.Get(), 30000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(process.Get(), &code);
    EXPECT_EQ(code, 3u);

    const auto lines = ReadFileLines(log);
    ASSERT_EQ(lines.size(), 1u);
    const JsonRef rec = ParseJson(lines[0]);
    ASSERT_TRUE(rec);
    EXPECT_EQ(Widen(rec->GetS("path")), exe);
    std::wstring folder = dir.Path();
    folder.pop_back();
    EXPECT_EQ(Widen(rec->GetS("workingFolder")), folder);
    EXPECT_EQ(rec->GetI("showWindow"), SW_SHOWNORMAL);
    EXPECT_NE(rec->GetS("commandLine").find("LaunchedByQNB  a runmode=qnb"), std::string::npos);
    const JsonRef args = rec->GetO("args");
    ASSERT_TRUE(args);
    ASSERT_EQ(args->Length(), 4u);
    EXPECT_EQ(args->S(0), "LaunchedByQNB");
    EXPECT_EQ(args->S(1), "a");
    EXPECT_EQ(args->S(2), "runmode=qnb");
    EXPECT_EQ(args->S(3), "two words");
}

TEST(SiblingProgramStandIn, WaitsForTheNamedEventWhenAsked) {
    TTestFolder dir(L"sibling");
    const std::wstring exe = dir.Path() + L"Assistant.exe";
    ASSERT_TRUE(CopyTestFile(TestProgramFolder() + L"SiblingProgram.exe", exe));
    const std::wstring log = dir.Path() + L"launches.jsonl";
    const std::wstring eventName = L"AppFrameSiblingWait-" + std::to_wstring(GetCurrentProcessId());
    UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
    ASSERT_TRUE(release);
    TScopedEnv logEnv(L"APPFRAME_SIBLING_LOG", log);
    TScopedEnv waitEnv(L"APPFRAME_SIBLING_WAIT_EVENT", eventName);

    UniqueHandle process = Launch(exe, L"", dir.Path(), SW_SHOWMINIMIZED);
    ASSERT_TRUE(process);
    // It records first, then waits; it cannot end before the event is set.
    for (int i = 0; i < 3000 && ReadFileLines(log).empty(); ++i)
        Sleep(10);
    ASSERT_EQ(ReadFileLines(log).size(), 1u);
    EXPECT_EQ(WaitForSingleObject(process.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    SetEvent(release.Get());
    EXPECT_EQ(WaitForSingleObject(process.Get(), 30000), WAIT_OBJECT_0);
    EXPECT_EQ(ParseJson(ReadFileLines(log)[0])->GetI("showWindow"), SW_SHOWMINIMIZED);
}
