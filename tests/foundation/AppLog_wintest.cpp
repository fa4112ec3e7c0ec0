#include "AppLogTestSupport.h"

#include "foundation/ScopedWin.h"
#include "foundation/TextCodec.h"

#include <windows.h>

#include <cstdlib>
#include <thread>

using namespace applog_test;
namespace fs = std::filesystem;

namespace {

constexpr int kProcesses = 4;
constexpr int kThreadsPerProcess = 3;
constexpr int kLinesPerThread = 150;
const wchar_t kChildVariable[] = L"APPFRAME_APPLOG_CHILD";

std::wstring OwnExePath() {
    wchar_t buffer[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    return std::wstring(buffer, n);
}

std::string ChildArgument() {
    wchar_t buffer[MAX_PATH * 4];
    const DWORD n = GetEnvironmentVariableW(kChildVariable, buffer, static_cast<DWORD>(std::size(buffer)));
    return n == 0 || n >= std::size(buffer) ? std::string() : Narrow(std::wstring(buffer, n));
}

} // namespace

// Runs only inside the processes started by the test below: "<program folder>|<tag>".
TEST(AppLogChildProcess, AppendsItsShareOfLines) {
    const std::string argument = ChildArgument();
    if (argument.empty()) GTEST_SKIP() << "only run as a child writer";
    const size_t bar = argument.find('|');
    ASSERT_NE(bar, std::string::npos);
    const std::string tag = argument.substr(bar + 1);
    SetProgramFolderForTests(argument.substr(0, bar));
    SetAppLogClockForTests([] { return FixedTime(); });
    SetAppLogDebugSinkForTests([](std::u16string_view) {});
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreadsPerProcess; ++t) {
        threads.emplace_back([&tag, t] {
            for (int i = 0; i < kLinesPerThread; ++i) {
                WriteAppLog(tag + "." + std::to_string(t) + "#" + std::to_string(i) + std::string(60, 'y'));
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
}

TEST(AppLogProcesses, ConcurrentProcessesAppendEveryLine) {
    if (!ChildArgument().empty()) GTEST_SKIP();
    const fs::path root = NewTempFolder("procs");
    fs::create_directories(root / "Temp");
    // No file yet: the children race to create it as well.
    std::vector<UniqueHandle> processes;
    for (int p = 0; p < kProcesses; ++p) {
        const std::wstring value = Widen(root.string() + "\\|p" + std::to_string(p));
        ASSERT_TRUE(SetEnvironmentVariableW(kChildVariable, value.c_str()));
        std::wstring commandLine =
            L"\"" + OwnExePath() + L"\" --gtest_filter=AppLogChildProcess.AppendsItsShareOfLines";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &info))
            << GetLastError();
        CloseHandle(info.hThread);
        processes.emplace_back(info.hProcess);
    }
    SetEnvironmentVariableW(kChildVariable, nullptr);
    for (auto& process : processes) {
        ASSERT_EQ(WaitForSingleObject(process.Get(), 300000), WAIT_OBJECT_0);
        DWORD exitCode = 1;
        GetExitCodeProcess(process.Get(), &exitCode);
        EXPECT_EQ(exitCode, 0u);
    }

    SetProgramFolderForTests(root.string());
    const std::string text = ReadAll(fs::u8path(AppLogFilePath("", FixedTime())));
    SetProgramFolderForTests("");
    ExpectEveryLineOnce(text, "p", kProcesses * kThreadsPerProcess * kLinesPerThread);
    std::error_code ignored;
    fs::remove_all(root, ignored);
}

TEST(AppLogProgramFolder, IsTheExecutablesFolderWithTrailingSeparator) {
    SetProgramFolderForTests("");
    const std::wstring exe = OwnExePath();
    EXPECT_EQ(ProgramFolder(), Narrow(exe.substr(0, exe.find_last_of(L'\\') + 1)));
    EXPECT_EQ(AppLogFolder(), ProgramFolder() + "Temp");
}
