#include "foundation/ScopedWin.h"
#include "foundation/TextCodec.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

struct TToolRun {
    DWORD status = 0xFFFFFFFF;
    std::string out;
};

std::wstring ToolPath() {
    wchar_t buffer[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    std::wstring folder(buffer, n);
    folder.resize(folder.find_last_of(L'\\') + 1);
    return folder + L"..\\tools\\appframe-tool\\appframe-tool.exe";
}

// Runs the tool with a UTF-8 argument string (already quoted as needed) and collects stdout.
TToolRun RunToolProcess(const std::string& arguments) {
    TToolRun run;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readRaw = nullptr;
    HANDLE writeRaw = nullptr;
    if (!CreatePipe(&readRaw, &writeRaw, &inherit, 0)) return run;
    UniqueHandle readEnd(readRaw);
    UniqueHandle writeEnd(writeRaw);
    SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd.Get();
    startup.hStdError = writeEnd.Get();
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring commandLine = L"\"" + ToolPath() + L"\" " + Widen(arguments);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &info)) {
        return run;
    }
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    writeEnd.Reset(); // the read below ends when the child's copy closes
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        run.out.append(buffer, got);
    WaitForSingleObject(process.Get(), INFINITE);
    GetExitCodeProcess(process.Get(), &run.status);
    while (!run.out.empty() && (run.out.back() == '\n' || run.out.back() == '\r'))
        run.out.pop_back();
    return run;
}

} // namespace

TEST(AppFrameToolProcess, TakesUnicodeArgumentsFromTheWideCommandLine) {
    // 中 in the system code page 936 is D6 D0; the MD5 of those two bytes:
    const TToolRun md5 = RunToolProcess("md5 \xE4\xB8\xAD");
    EXPECT_EQ(md5.status, 0u) << md5.out;
    EXPECT_EQ(md5.out, "5301da37e5ffca1823a5cef67488d4bf");

    const TToolRun enc = RunToolProcess("enc \"\xE4\xB8\xAD\xE6\x96\x87 x\"");
    ASSERT_EQ(enc.status, 0u) << enc.out;
    const TToolRun dec = RunToolProcess("dec " + enc.out);
    EXPECT_EQ(dec.status, 0u);
    EXPECT_EQ(dec.out, "\xE4\xB8\xAD\xE6\x96\x87 x");
}

TEST(AppFrameToolProcess, BadInputExitsWithStatusTwo) {
    const TToolRun run = RunToolProcess("dec NOT-HEX");
    EXPECT_EQ(run.status, 2u);
    EXPECT_NE(run.out.find("cannot decrypt"), std::string::npos) << run.out;
    EXPECT_EQ(RunToolProcess("").status, 2u);
}
