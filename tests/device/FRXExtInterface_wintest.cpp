#include "device/FRXDeviceRules.h"
#include "device/FRXExtInterface.h"
#include "foundation/TextCodec.h"
#include "support/EmulatedDrives.h"
#include "support/WinTestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>

// The device search on emulated drives: M: and N: removable, O: CD-ROM, P: fixed, A: removable
// but never to be looked at.
namespace {

std::wstring Variant(const std::wstring& name) {
    return TestBuildFolder() + L"stubvariants\\" + name;
}

class FRXDevice : public ::testing::Test {
protected:
    void SetUp() override {
        if (!TEmulatedDrives::Available()) GTEST_SKIP() << "the prefix has no emulated drives";
        Settings.ProgramFolder = Narrow(Program.Path());
        Settings.InstalledLibrary = Narrow(Folder.Path() + L"KitDeployer\\FRXAppAPI.dll");
    }

    // A device whose data volume M: points at its mirror P:\Mirror\Dev holding the library.
    void PlugInDevice() {
        TEmulatedDrives::Put(L"M:\\Ferrolux\\FRXCore.dat", "[mir]\r\npath=Mirror\\Dev\r\n");
        TEmulatedDrives::Copy(Variant(L"FRXAppSafeguard\\FRXAppSafeguard.dll"),
                              L"P:\\Mirror\\Dev\\Ferrolux\\FRXAppSafeguard.dll");
    }
    void InstallLibrary(const std::wstring& version) {
        ASSERT_TRUE(CopyTestFile(Variant(L"FRXAppAPI-" + version + L"\\FRXAppAPI.dll"),
                                 Widen(Settings.InstalledLibrary)));
    }
    // A launcher that records how it was started.
    void PutLauncher(const std::wstring& path) {
        TEmulatedDrives::Copy(TestProgramFolder() + L"SiblingProgram.exe", path);
    }
    std::vector<JsonRef> Launches() { return ReadJsonLines(LaunchLog); }
    bool WaitForLaunches(size_t count) {
        for (int i = 0; i < 2000 && Launches().size() < count; ++i)
            Sleep(10);
        return Launches().size() >= count;
    }

    TEmulatedDrives Drives;
    TTestFolder Folder{L"frx"};
    TTestFolder Program{L"frxprogram"};
    std::wstring LaunchLog = Folder.Path() + L"launches.jsonl";
    TScopedEnv LogEnv{L"APPFRAME_SIBLING_LOG", LaunchLog};
    TScopedEnv FrxLog{L"APPFRAME_FRX_LOG", Folder.Path() + L"frx.jsonl"};
    TFRXSettings Settings;
};

} // namespace

TEST_F(FRXDevice, InstalledLibraryFrom610IsPreferredToThePluggedInDevice) {
    PlugInDevice();
    InstallLibrary(L"6.1.0");
    TFRXExtInterface device(Settings);
    std::string answer;
    EXPECT_EQ(device.GetFRXVersion(answer), 0);
    EXPECT_EQ(answer, "version=V6.1.3;");
    EXPECT_EQ(device.LoadedLibrary(), Settings.InstalledLibrary);
}

TEST_F(FRXDevice, OlderOrShortInstalledVersionsArePassedOverForTheDevicesMirror) {
    PlugInDevice();
    for (const wchar_t* version : {L"6.0.9", L"6.1"}) {
        InstallLibrary(version);
        TFRXExtInterface device(Settings);
        EXPECT_EQ(device.GetFRXInsertUpdateEvent(), 0);
        EXPECT_EQ(device.PublicVolume(), "M:\\");
        EXPECT_EQ(device.LoadedLibrary(), "P:\\Mirror\\Dev\\Ferrolux\\FRXAppSafeguard.dll")
            << Narrow(version);
    }
}

TEST_F(FRXDevice, FirstOfTwoRemovableDevicesIsUsedAndFloppyLettersNeverCount) {
    TEmulatedDrives::Put(L"A:\\Ferrolux\\FRXCore.dat", "[mir]\r\npath=Mirror\\A\r\n");
    TEmulatedDrives::Put(L"N:\\Ferrolux\\FRXCore.dat", "[mir]\r\npath=Mirror\\N\r\n");
    TEmulatedDrives::Put(L"M:\\Ferrolux\\FRXCore.dat", "[mir]\r\npath=Mirror\\M\r\n");
    TEmulatedDrives::Copy(Variant(L"FRXAppSafeguard\\FRXAppSafeguard.dll"),
                          L"P:\\Mirror\\M\\Ferrolux\\FRXAppSafeguard.dll");
    TEmulatedDrives::Copy(Variant(L"FRXAppSafeguard\\FRXAppSafeguard.dll"),
                          L"P:\\Mirror\\N\\Ferrolux\\FRXAppSafeguard.dll");
    TEmulatedDrives::Copy(Variant(L"FRXAppSafeguard\\FRXAppSafeguard.dll"),
                          L"P:\\Mirror\\A\\Ferrolux\\FRXAppSafeguard.dll");
    TFRXExtInterface device(Settings);
    std::string answer;
    EXPECT_EQ(device.GetFRXVersion(answer), 0);
    EXPECT_EQ(device.PublicVolume(), "M:\\");
    EXPECT_EQ(device.LoadedLibrary(), "P:\\Mirror\\M\\Ferrolux\\FRXAppSafeguard.dll");
}

TEST_F(FRXDevice, LibraryFoundInTheMirrorNamedByTheDevicesCodes) {
    TEmulatedDrives::Put(
        L"M:\\Ferrolux\\FRXStatic.cfg",
        "[FRXInfo]\r\nCpbm=07040100030000\r\nZoneCode=130013\r\nMainAppCpbm=09730100010000\r\n");
    const std::wstring mirror =
        L"P:\\" + Widen(MirrorFolderName("07040100030000", "130013", "09730100010000"));
    TEmulatedDrives::Copy(Variant(L"FRXAppSafeguard\\FRXAppSafeguard.dll"), mirror + L"FRXAppSafeguard.dll");
    TFRXExtInterface device(Settings);
    EXPECT_EQ(device.GetFRXInsertUpdateEvent(), 0);
    EXPECT_EQ(device.LoadedLibrary(), Narrow(mirror) + "FRXAppSafeguard.dll");
}

TEST_F(FRXDevice, OldAreaMirrorFromTheDevicesUpdateFileGetsTheFolderOfTheCurrentArea) {
    TTestFolder served(L"soledisk");
    TScopedEnv soleDir(L"APPFRAME_SOLEDISK_DIR", served.Path());
    TScopedEnv soleLog(L"APPFRAME_SOLEDISK_LOG", Folder.Path() + L"soledisk.jsonl");
    WriteWholeFile(served.Path() + L"Up4t5.ini", "[info]\r\nOldZoneCode=130013\r\nOldMainAppCpbm=M1\r\n");
    const std::wstring mirror = L"P:\\" + Widen(MirrorFolderName("07040100030000", "130013", "M1"));
    const struct {
        const char* Zone;
        const wchar_t* Apps;
    } cases[] = {{"440100", L"Apps\\WARDLANEGD_USB\\"},
                 {"440300", L"Apps\\WARDLANE3.0_USB\\"},
                 {"350100", L"Apps\\WARDLANE3.0_USB\\"}};
    for (const auto& c : cases) {
        TEmulatedDrives drives;
        TEmulatedDrives::Put(L"M:\\Ferrolux\\FRXStatic.cfg",
                             std::string("[FRXInfo]\r\nCpbm=X1\r\nZoneCode=") + c.Zone +
                                 "\r\nMainAppCpbm=Y1\r\n");
        TEmulatedDrives::Copy(Variant(L"SoleDisk\\SoleDiskAPI.dll"), L"M:\\Ferrolux\\SoleDiskAPI.dll");
        for (const auto& other : cases)
            TEmulatedDrives::Copy(Variant(L"FRXAppSafeguard\\FRXAppSafeguard.dll"),
                                  mirror + other.Apps + L"FRXAppSafeguard.dll");
        TFRXExtInterface device(Settings);
        EXPECT_EQ(device.GetFRXInsertUpdateEvent(), 0) << c.Zone;
        EXPECT_EQ(device.LoadedLibrary(), Narrow(mirror + c.Apps) + "FRXAppSafeguard.dll") << c.Zone;
    }
    // The secondary library is loaded, set up, asked, released and freed for each task.
    std::vector<std::string> calls;
    for (const JsonRef& call : ReadJsonLines(Folder.Path() + L"soledisk.jsonl"))
        calls.push_back(call->GetS("call"));
    const std::vector<std::string> oneDevice = {
        "load", "Qwpm_Init", "Qwpm_SelectDevice", "Qwpm_FileIsExist", "Qwpm_Free", "unload",
        "load", "Qwpm_Init", "Qwpm_SelectDevice", "Qwpm_ReadFile",    "Qwpm_Free", "unload"};
    ASSERT_EQ(calls.size(), 3 * oneDevice.size());
    EXPECT_TRUE(std::equal(oneDevice.begin(), oneDevice.end(), calls.begin()));
}

TEST_F(FRXDevice, CdromVolumeAloneStartsItsAutorunLauncherHiddenAndOnce) {
    TEmulatedDrives::Put(L"O:\\ResVol.dll");
    TEmulatedDrives::Put(L"O:\\AUTORUN.INF", "[AutoRun]\r\nopen=Setup\\FRXLauncher.exe\r\n");
    PutLauncher(L"O:\\Setup\\FRXLauncher.exe");
    TFRXExtInterface device(Settings);
    std::string answer;
    EXPECT_EQ(device.GetFRXVersion(answer), -1);
    EXPECT_EQ(device.GetFRXGetTaxpayer(answer), -1);
    EXPECT_EQ(device.GetFRXInsertUpdateEvent(), -1);
    ASSERT_TRUE(WaitForLaunches(1));
    Sleep(500);
    const std::vector<JsonRef> launches = Launches();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0]->GetS("path"), "O:\\Setup\\FRXLauncher.exe");
    EXPECT_EQ(launches[0]->GetI("showWindow"), SW_HIDE);
    EXPECT_EQ(launches[0]->GetS("workingFolder"), "O:\\Setup");
}

TEST_F(FRXDevice, NothingIsStartedForAnAutorunOffTheVolumeOrABoundCdrom) {
    PutLauncher(Folder.Path() + L"Elsewhere.exe");
    TEmulatedDrives::Put(L"O:\\ResVol.dll");
    TEmulatedDrives::Put(L"O:\\AUTORUN.INF", "[AutoRun]\r\nopen=..\\..\\" + Narrow(Folder.Path()).substr(3) +
                                                 "Elsewhere.exe\r\n");
    {
        TFRXExtInterface device(Settings);
        EXPECT_EQ(device.GetFRXInsertUpdateEvent(), -1);
    }
    TEmulatedDrives::Put(L"O:\\AUTORUN.INF",
                         "[AutoRun]\r\nopen=" + Narrow(Folder.Path()) + "Elsewhere.exe\r\n");
    {
        TFRXExtInterface device(Settings);
        EXPECT_EQ(device.GetFRXInsertUpdateEvent(), -1);
    }
    TEmulatedDrives::Put(L"O:\\AUTORUN.INF", "[AutoRun]\r\nopen=Setup\\FRXLauncher.exe\r\n");
    PutLauncher(L"O:\\Setup\\FRXLauncher.exe");
    TEmulatedDrives::Put(L"O:\\HDBinding.dll");
    {
        TFRXExtInterface device(Settings);
        EXPECT_EQ(device.GetFRXInsertUpdateEvent(), -1);
        EXPECT_FALSE(device.LauncherStarted());
    }
    Sleep(500);
    EXPECT_TRUE(Launches().empty());
}

TEST_F(FRXDevice, NoDeviceAndNoLibraryAnswersMinusOneAndStartsNothing) {
    // A device in a floppy drive does not count.
    TEmulatedDrives::Put(L"A:\\Ferrolux\\FRXCore.dat");
    PutLauncher(L"A:\\Ferrolux\\FRXLauncher.exe");
    TFRXExtInterface device(Settings);
    std::string answer;
    EXPECT_EQ(device.GetFRXVersion(answer), -1);
    EXPECT_EQ(device.GetFRXGetTaxpayer(answer), -1);
    EXPECT_EQ(device.GetFRXInsertUpdateEvent(), -1);
    EXPECT_EQ(answer, "");
    EXPECT_EQ(device.PublicVolume(), "");
    EXPECT_FALSE(device.IsLoaded());
    EXPECT_FALSE(device.LauncherStarted());
}
