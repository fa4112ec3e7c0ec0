#include "device/FRXDeviceRules.h"

#include <gtest/gtest.h>

TEST(FRXVersion, InstalledLibraryQualifiesFrom610ByNumber) {
    EXPECT_TRUE(IsFRXVersionAtLeast("6.1.0", "6.1.0"));
    EXPECT_TRUE(IsFRXVersionAtLeast("7.0.0", "6.1.0"));
    EXPECT_TRUE(IsFRXVersionAtLeast("6.10.0", "6.9.0")); // as numbers, not as "V06.10" < "V06.9"
    EXPECT_TRUE(IsFRXVersionAtLeast("100.0.0", "99.0.0"));
    EXPECT_FALSE(IsFRXVersionAtLeast("6.0.9", "6.1.0"));
    EXPECT_TRUE(IsFRXVersionAtLeast("v6.1.3", "V6.1.0"));
    EXPECT_TRUE(IsFRXVersionAtLeast("006.01.0", "6.1.0"));
    EXPECT_TRUE(IsFRXVersionAtLeast("999.999.999", "6.1.0"));
    // Only three whole numbers of at most 999 make a version; anything else never qualifies.
    for (const char* bad :
         {"6.1", "6.1.0.1", "", "V", "6..0", "6.1.1000", "6.-1.0", "6.1.x", " 6.1.0", "6.1.0 "})
        EXPECT_FALSE(IsFRXVersionAtLeast(bad, "6.1.0")) << bad;
    // The file version keeps only three parts: a four-part version is judged by them.
    EXPECT_EQ(FirstThreeVersionParts("6.0.9.99"), "6.0.9");
    EXPECT_EQ(FirstThreeVersionParts("6.1.0.0"), "6.1.0");
    EXPECT_EQ(FirstThreeVersionParts("6.1"), "6.1");
    EXPECT_FALSE(IsFRXVersionAtLeast(FirstThreeVersionParts("6.0.9.99"), "6.1.0"));
}

TEST(FRXMirror, FolderNameIsTheDigestOfTheCodes) {
    EXPECT_EQ(MirrorFolderName("07040100030000", "130013", ""),
              "FRXLocalMirror\\{14e392bb2a0d1fab29fc85c4315c09b0}\\");
    EXPECT_EQ(MirrorFolderName("07040100030000", "130013", "09730100010000"),
              "FRXLocalMirror\\{0465cc45c399d25b00e39f8fbf6c2776}\\");
    EXPECT_EQ(MirrorAppsFolderForArea("440100"), "Apps\\WARDLANEGD_USB\\");
    EXPECT_EQ(MirrorAppsFolderForArea("440300"), "Apps\\WARDLANE3.0_USB\\");
    EXPECT_EQ(MirrorAppsFolderForArea("130013"), "Apps\\WARDLANE3.0_USB\\");
    EXPECT_EQ(MirrorAppsFolderForArea("4"), "Apps\\WARDLANE3.0_USB\\");
    EXPECT_EQ(MirrorAppsFolderForArea("44"), "Apps\\WARDLANEGD_USB\\");
}

TEST(FRXAutorun, LauncherMustLieOnTheVolume) {
    EXPECT_EQ(AutorunLauncherPath("F:\\", "Setup\\FRXLauncher.exe"), "F:\\Setup\\FRXLauncher.exe");
    EXPECT_EQ(AutorunLauncherPath("F:", " run.exe "), "F:\\run.exe");
    EXPECT_EQ(AutorunLauncherPath("F:\\", "a..b.exe"), "F:\\a..b.exe");
    EXPECT_EQ(AutorunLauncherPath("F:\\", "\\Setup\\FRXLauncher.exe"),
              "F:\\Setup\\FRXLauncher.exe"); // the root's
    for (const char* off : {"", "\\", "\\..\\evil.exe", "//server/evil.exe", "C:\\evil.exe", "C:evil.exe",
                            "\\\\server\\share\\evil.exe", "..\\evil.exe", "Setup\\..\\..\\evil.exe",
                            "Setup/../evil.exe", "...\\evil.exe", "run.exe:stream"})
        EXPECT_EQ(AutorunLauncherPath("F:\\", off), "") << off;
}

TEST(FRXPaths, ClimbingStopsAtTheDrive) {
    EXPECT_EQ(GetDirParent("C:\\a\\b\\", 0), "C:\\a\\b\\");
    EXPECT_EQ(GetDirParent("C:\\a\\b", 1), "C:\\a\\");
    EXPECT_EQ(GetDirParent("C:\\a\\b\\", 2), "C:\\");
    EXPECT_EQ(GetDirParent("C:\\a\\b\\", 10), "C:\\");
    EXPECT_EQ(GetDirParent("C:\\", 3), "C:\\");
    EXPECT_EQ(GetDirParent("C:", 3), "C:");
    EXPECT_EQ(GetDirParent("\\\\srv\\share\\x\\", 10), "\\\\srv\\");
    EXPECT_TRUE(IsSkippedDriveRoot("A:\\"));
    EXPECT_TRUE(IsSkippedDriveRoot("b:\\"));
    EXPECT_FALSE(IsSkippedDriveRoot("C:\\"));
}

TEST(FRXPaths, ProfileErrorTexts) {
    EXPECT_EQ(ProfileFileMissingText("E:\\Ferrolux\\FRXCore.dat"),
              "ini文件[E:\\Ferrolux\\FRXCore.dat]不存在，无法进行相关节点值的读取。");
    EXPECT_EQ(ProfileReadFailedText("x.ini", "mir", "path", "boom"),
              "读取ini文件[x.ini]的指定节点[mir][path]值时出现异常:boom");
}
