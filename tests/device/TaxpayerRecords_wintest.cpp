#include "device/LocalEnv.h"
#include "device/WLServices.h"
#include "device/ZRCompanyUtils.h"
#include "foundation/ScopedWin.h"
#include "foundation/TextCodec.h"
#include "support/WinTestEnv.h"

#include <gtest/gtest.h>

namespace {
// A company-record file as sibling products leave it: ANSI text with Chinese values, a comment,
// blank lines and sections before, between and after the two taxpayer records.
std::string SiblingFile() {
    return Utf8ToAnsi("; written by a sibling product\r\n"
                      "[Config]\r\n"
                      "Region=13\r\n"
                      "Name=河北税务\r\n"
                      "\r\n"
                      "[LastNsrInfo]\r\n"
                      "AppPath=C:\\Corvane\\BREV\\\r\n"
                      "Nsrsbh=911300001234567890\r\n"
                      "Nsrmc=测试有限公司\r\n"
                      "Shxydm=911300001234567890\r\n"
                      "isRunOnQnb=1\r\n"
                      "\r\n"
                      "[Middle]\r\n"
                      "Key=值\r\n"
                      "\r\n"
                      "[CurNsrInfo]\r\n"
                      "lx=1\r\n"
                      "NewNsrsbh=911300001234567890\r\n"
                      "Nsrmc=测试有限公司\r\n"
                      "OldNsrsbh=130000123456789\r\n"
                      "\r\n"
                      "[Tail]\r\n"
                      "Last=end\r\n");
}

void ExpectOnlyTaxpayerRecordsGone(const std::string& file) {
    TProfileFile ini(file);
    EXPECT_FALSE(ini.SectionExists("LastNsrInfo"));
    EXPECT_FALSE(ini.SectionExists("CurNsrInfo"));
    EXPECT_EQ(ini.ReadString("LastNsrInfo", "Nsrsbh", "none"), "none");
    EXPECT_EQ(ini.ReadString("CurNsrInfo", "NewNsrsbh", "none"), "none");
    EXPECT_EQ(ini.ReadString("Config", "Name", ""), "河北税务");
    EXPECT_EQ(ini.ReadString("Config", "Region", ""), "13");
    EXPECT_EQ(ini.ReadString("Middle", "Key", ""), "值");
    EXPECT_EQ(ini.ReadString("Tail", "Last", ""), "end");

    // The other sections' lines survive unchanged and in order, in the file's own encoding.
    const std::string text = ReadWholeFile(Widen(file));
    EXPECT_EQ(text.find("LastNsrInfo"), std::string::npos);
    EXPECT_EQ(text.find("CurNsrInfo"), std::string::npos);
    EXPECT_EQ(text.find("OldNsrsbh"), std::string::npos);
    size_t pos = 0;
    for (const char* line :
         {"[Config]", "Region=13", "Name=河北税务", "[Middle]", "Key=值", "[Tail]", "Last=end"}) {
        const size_t at = text.find(Utf8ToAnsi(line), pos);
        ASSERT_NE(at, std::string::npos) << line;
        pos = at;
    }
}
} // namespace

TEST(TaxpayerRecords, WipeRemovesExactlyTheTwoRecords) {
    TTestFolder dir(L"company");
    const std::string file = dir.Utf8() + "ZRCompany.ini";
    WriteWholeFile(Widen(file), SiblingFile());
    WipeTaxpayerRecords(file);
    ExpectOnlyTaxpayerRecordsGone(file);
}

TEST(TaxpayerRecords, EachClassErasesOnlyItsOwnSection) {
    TTestFolder dir(L"company");
    const std::string file = dir.Utf8() + "ZRCompany.ini";
    WriteWholeFile(Widen(file), SiblingFile());
    {
        TZRLastCompanyUitl last(file);
        EXPECT_TRUE(last.RemoveLastNsrInfo());
    }
    TProfileFile ini(file);
    EXPECT_FALSE(ini.SectionExists("LastNsrInfo"));
    EXPECT_TRUE(ini.SectionExists("CurNsrInfo"));
    EXPECT_EQ(ini.ReadString("CurNsrInfo", "Nsrmc", ""), "测试有限公司");

    WriteWholeFile(Widen(file), SiblingFile());
    {
        TCurNsrInfo current(file);
        EXPECT_TRUE(current.Erase());
    }
    EXPECT_TRUE(ini.SectionExists("LastNsrInfo"));
    EXPECT_FALSE(ini.SectionExists("CurNsrInfo"));
    EXPECT_EQ(ini.ReadString("LastNsrInfo", "isRunOnQnb", ""), "1");
}

TEST(TaxpayerRecords, MissingFileIsNotCreatedButItsFolderIs) {
    TTestFolder dir(L"company");
    const std::wstring folder = dir.Path() + L"Corvane\\Common\\";
    const std::string file = Narrow(folder) + "ZRCompany.ini";
    WipeTaxpayerRecords(file);
    EXPECT_TRUE(FolderExists(folder));
    EXPECT_FALSE(FileExists(Widen(file)));
    TCurNsrInfo current(file);
    EXPECT_TRUE(current.Erase());
    EXPECT_FALSE(FileExists(Widen(file)));
}

TEST(TaxpayerRecords, UnwritableLocationFailsSilently) {
    TTestFolder dir(L"company");
    // A file where a folder should be: neither the folder nor the record file can be made.
    WriteWholeFile(dir.Path() + L"blocked", "x");
    const std::string file = dir.Utf8() + "blocked\\Common\\ZRCompany.ini";
    EXPECT_NO_THROW(WipeTaxpayerRecords(file));
    EXPECT_FALSE(FileExists(Widen(file)));
}

TEST(TaxpayerRecords, StartWipeUsesTheCompanyFileOnTheWindowsDrive) {
    wchar_t winDir[MAX_PATH] = {};
    GetWindowsDirectoryW(winDir, MAX_PATH);
    const std::string file = CompanyRecordFile();
    ASSERT_EQ(file, std::string(1, static_cast<char>(winDir[0])) + ":\\Corvane\\Common\\ZRCompany.ini");
    TZRLastCompanyUitl created; // makes the folder
    EXPECT_EQ(created.Ini().FileName(), file);

    const std::string saved = ReadWholeFile(Widen(file));
    const bool existed = FileExists(Widen(file));
    WriteWholeFile(Widen(file), SiblingFile());
    WipeTaxpayerRecordsAtStart();
    ExpectOnlyTaxpayerRecordsGone(file);
    if (existed)
        WriteWholeFile(Widen(file), saved);
    else
        DeleteFileW(Widen(file).c_str());
}

namespace {
// A registry key of the test's own under HKEY_CURRENT_USER, removed at the end.
struct TestKey {
    std::wstring Path = L"Software\\AppFrameTests\\brev-" + std::to_wstring(GetCurrentProcessId());
    TestKey() { RegDeleteTreeW(HKEY_CURRENT_USER, Path.c_str()); }
    ~TestKey() { RegDeleteTreeW(HKEY_CURRENT_USER, Path.c_str()); }
    void Set(const wchar_t* name, const std::wstring& value, DWORD type = REG_SZ) const {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        UniqueRegKey owner(key);
        RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    std::string Read() const { return TWLService(HKEY_CURRENT_USER, Path).BREVInstallPath(); }
};
} // namespace

TEST(BrevInstallPath, IsInstalledPathDirectlyFollowedByFileName) {
    TestKey key;
    key.Set(L"InstalledPath", L"C:\\Program Files\\BREV\\");
    key.Set(L"FileName", L"BREV助手.exe");
    EXPECT_EQ(key.Read(), "C:\\Program Files\\BREV\\BREV助手.exe");
    // No separator is added.
    key.Set(L"InstalledPath", L"C:\\BREV");
    EXPECT_EQ(key.Read(), "C:\\BREVBREV助手.exe");
}

TEST(BrevInstallPath, MissingValuesReadAsEmptyText) {
    TestKey key;
    key.Set(L"FileName", L"brev.exe");
    EXPECT_EQ(key.Read(), "brev.exe");
    key.Set(L"Other", L"x");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, key.Path.c_str(), L"FileName");
    EXPECT_EQ(key.Read(), "");
    key.Set(L"InstalledPath", L"C:\\B\\");
    EXPECT_EQ(key.Read(), "C:\\B\\");
}

TEST(BrevInstallPath, ValueThatIsNotTextReadsAsEmpty) {
    TestKey key;
    key.Set(L"InstalledPath", L"C:\\B\\");
    const DWORD number = 7;
    HKEY raw = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key.Path.c_str(), 0, KEY_WRITE, &raw), ERROR_SUCCESS);
    UniqueRegKey owner(raw);
    RegSetValueExW(raw, L"FileName", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    EXPECT_EQ(key.Read(), "C:\\B\\");
    // Expandable text is text; it is taken as stored.
    key.Set(L"FileName", L"%APP%.exe", REG_EXPAND_SZ);
    EXPECT_EQ(key.Read(), "C:\\B\\%APP%.exe");
}

TEST(BrevInstallPath, MissingKeyGivesEmptyTextAndIsNotCreated) {
    TestKey key;
    EXPECT_EQ(key.Read(), "");
    HKEY raw = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, key.Path.c_str(), 0, KEY_READ, &raw), ERROR_SUCCESS);
}

TEST(BrevInstallPath, SharedInstanceReadsTheSiblingProductsKey) {
    TWLService& service = TWLService::GetInstance();
    EXPECT_EQ(&service, &TWLService::GetInstance());
    const wchar_t* path = L"Software\\Corvane\\brev2.0";
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &raw) == ERROR_SUCCESS) {
        RegCloseKey(raw);
        GTEST_SKIP() << "the key exists already; it is left alone";
    }
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_WRITE, nullptr, &raw, nullptr),
              ERROR_SUCCESS);
    UniqueRegKey key(raw);
    const std::wstring folder = L"C:\\BREV\\", file = L"brev.exe";
    RegSetValueExW(raw, L"InstalledPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>((folder.size() + 1) * 2));
    RegSetValueExW(raw, L"FileName", 0, REG_SZ, reinterpret_cast<const BYTE*>(file.c_str()),
                   static_cast<DWORD>((file.size() + 1) * 2));
    EXPECT_EQ(service.BREVInstallPath(), "C:\\BREV\\brev.exe");
    key.Reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, path);
}
