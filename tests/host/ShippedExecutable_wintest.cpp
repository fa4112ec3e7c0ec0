// What the built executable carries: its application manifest, and no debug sections (its symbols
// are in the build's separate file, named by its debug link).
#include "support/WinTestEnv.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

TEST(ShippedExecutable, ManifestAsksForTodaysSystemsAndControlsAndLeavesDpiToTheFramework) {
    const std::wstring exe = TestProgramFolder() + L"AppFrameMain.exe";
    const HMODULE image = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(image, nullptr);
    const HRSRC found = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(found, nullptr) << "no application manifest";
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(image, found))),
                               SizeofResource(image, found));
    FreeLibrary(image);
    for (const char* wanted :
         {"level=\"asInvoker\"", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
          "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
          "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""})
        EXPECT_NE(manifest.find(wanted), std::string::npos) << wanted;
    EXPECT_EQ(manifest.find("dpiAware"), std::string::npos);

    const std::string bytes = ReadWholeFile(exe);
    EXPECT_EQ(bytes.find(".debug_info"), std::string::npos);
    EXPECT_NE(bytes.find("AppFrameMain.exe.debug"), std::string::npos) << "no debug link";
}

} // namespace
