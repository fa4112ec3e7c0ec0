// Single instance across processes: the test program runs copies of itself as the other
// instances (InstanceChild.Run does the work only when started that way).
#include "HostTestSupport.h"

#include "foundation/TextCodec.h"

#include <gtest/gtest.h>

#include <memory>

using namespace hosttest;

namespace {

constexpr DWORD kSurvived = 10;
constexpr DWORD kRefused = 11;

std::wstring Env(const wchar_t* name) {
    wchar_t buf[2048] = {};
    const DWORD n = GetEnvironmentVariableW(name, buf, 2048);
    return n > 0 && n < 2048 ? std::wstring(buf, n) : std::wstring();
}

// The child's part. With a gate it constructs first, waits for the start signal, reports that it
// has decided, and holds its instance until released.
TEST(InstanceChild, Run) {
    const std::wstring folder = Env(L"HOSTCTX_CHILD_FOLDER");
    if (folder.empty()) GTEST_SKIP() << "runs only as a child instance";
    const std::wstring gate = Env(L"HOSTCTX_CHILD_GATE");
    TFakeFramework fw;
    TFakePort port;
    TFakeRunner runner;
    TQeltContext context(FakeSettings(Narrow(folder), fw, port, runner));
    if (!gate.empty()) {
        HANDLE start = OpenEventW(SYNCHRONIZE, FALSE, (gate + L"_start").c_str());
        WaitForSingleObject(start, 60000);
    }
    const bool survived = context.InitProgram();
    if (!gate.empty()) {
        HANDLE done = OpenSemaphoreW(SEMAPHORE_MODIFY_STATE, FALSE, (gate + L"_done").c_str());
        ReleaseSemaphore(done, 1, nullptr);
        HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, (gate + L"_release").c_str());
        WaitForSingleObject(release, 60000);
    }
    ExitProcess(survived ? kSurvived : kRefused);
}

HANDLE StartChild(const std::string& folder, const std::wstring& gate) {
    SetEnvironmentVariableW(L"HOSTCTX_CHILD_FOLDER", Widen(folder).c_str());
    SetEnvironmentVariableW(L"HOSTCTX_CHILD_GATE", gate.empty() ? nullptr : gate.c_str());
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring cmd = L"\"" + std::wstring(exe) + L"\" --gtest_filter=InstanceChild.Run";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const BOOL ok = CreateProcessW(exe, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    SetEnvironmentVariableW(L"HOSTCTX_CHILD_FOLDER", nullptr);
    SetEnvironmentVariableW(L"HOSTCTX_CHILD_GATE", nullptr);
    if (!ok) return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

DWORD ExitCodeOf(HANDLE process) {
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return code;
}

TEST(SingleInstance, ASecondInstanceIsRefusedAndAsksTheFirstToComeForward) {
    TTempFolder folder("single");
    const std::string id = "SingleTest_" + std::to_string(GetCurrentProcessId());
    folder.Write("MainFest.cfg", R"({"AppID":")" + id + R"("})");
    TFakeFramework fw;
    TFakePort port;
    TFakeRunner runner;
    TQeltContext first(FakeSettings(folder.Path(), fw, port, runner));
    ASSERT_TRUE(first.InitProgram());
    std::vector<std::pair<WPARAM, LPARAM>> seen;
    first.SetAppMessageHandler([&](TQeltContext&, WPARAM code, LPARAM l) { seen.emplace_back(code, l); });

    HANDLE child = StartChild(folder.Path(), L"");
    ASSERT_NE(child, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return WaitForSingleObject(child, 0) == WAIT_OBJECT_0 && !seen.empty(); }));
    EXPECT_EQ(ExitCodeOf(child), kRefused);
    CloseHandle(child);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].first, 2u);
    EXPECT_NE(seen[0].second, 0);
    EXPECT_NE(seen[0].second, reinterpret_cast<LPARAM>(first.ApplicationWindow()));
}

TEST(SingleInstance, OfInstancesStartingTogetherExactlyOneSurvives) {
    TTempFolder folder("together");
    const std::string id = "TogetherTest_" + std::to_string(GetCurrentProcessId());
    folder.Write("MainFest.cfg", R"({"AppID":")" + id + R"("})");
    const std::wstring gate = L"HostCtxGate_" + std::to_wstring(GetCurrentProcessId());
    constexpr int kChildren = 4;
    UniqueHandle start(CreateEventW(nullptr, TRUE, FALSE, (gate + L"_start").c_str()));
    UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, (gate + L"_release").c_str()));
    UniqueHandle done(CreateSemaphoreW(nullptr, 0, kChildren, (gate + L"_done").c_str()));
    std::vector<HANDLE> children;
    for (int i = 0; i < kChildren; ++i) {
        HANDLE child = StartChild(folder.Path(), gate);
        ASSERT_NE(child, nullptr);
        children.push_back(child);
    }
    SetEvent(start.Get());
    for (int i = 0; i < kChildren; ++i)
        ASSERT_EQ(WaitForSingleObject(done.Get(), 60000), WAIT_OBJECT_0);
    SetEvent(release.Get());
    int survivors = 0;
    for (HANDLE child : children) {
        EXPECT_EQ(WaitForSingleObject(child, 60000), WAIT_OBJECT_0);
        const DWORD code = ExitCodeOf(child);
        EXPECT_TRUE(code == kSurvived || code == kRefused) << code;
        if (code == kSurvived) ++survivors;
        CloseHandle(child);
    }
    EXPECT_EQ(survivors, 1);
}

} // namespace
