// The account library is found through the window class it registers, initialised with this
// program's instance, and finalised and unloaded only when this program loaded it.
#include "services/AccountLibrary.h"

#include "support/WinTestEnv.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

bool ClassRegistered() {
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    return GetClassInfoExW(GetModuleHandleW(nullptr), kZRAccountClassName, &info) != 0;
}

} // namespace

TEST(AccountLibrary, LoadsOnlyALibraryThatPublishesItsRecordAndUnloadsWhatItLoaded) {
    TTestFolder folder(L"zraccount");
    const std::wstring library = folder.Path() + L"ZRAccount.dll";
    const std::wstring transcript = folder.Path() + L"ZRAccount.jsonl";
    ASSERT_TRUE(CopyTestFile(TestProgramFolder() + L"ZRAccount.dll", library));
    WriteWholeFile(folder.Path() + L"accounts.json",
                   R"({"accounts":[{"loginName":"u1","password":"p1","accountId":"A1","token":"T1"}]})");
    TScopedEnv accounts(L"APPFRAME_STUB_ACCOUNTS", folder.Path() + L"accounts.json");
    TScopedEnv log(L"APPFRAME_STUB_ACCOUNT_TRANSCRIPT", transcript);

    EXPECT_FALSE(LoadZRAccount(folder.Utf8() + "Missing.dll"));
    {
        // A library that registers no class is not kept.
        TScopedEnv noClass(L"APPFRAME_STUB_ACCOUNT_NOCLASS", L"1");
        EXPECT_FALSE(LoadZRAccount(folder.Utf8() + "ZRAccount.dll"));
        EXPECT_EQ(GetModuleHandleW(library.c_str()), nullptr);
        EXPECT_FALSE(IsZRAccountAvailable());
    }
    EXPECT_THROW(GetZRAccount(), std::logic_error);

    ASSERT_TRUE(LoadZRAccount(folder.Utf8() + "ZRAccount.dll"));
    EXPECT_TRUE(LoadZRAccount("whatever.dll")); // already available: nothing more happens
    auto inits = ReadJsonLines(transcript, "init");
    ASSERT_EQ(inits.size(), 1u);
    EXPECT_EQ(inits[0]->GetI("instance"),
              static_cast<int64_t>(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr))));

    // The account object through the record's entry, with wide texts both ways.
    TFwRef<IZRAccount> account = GetZRAccount();
    ASSERT_TRUE(account);
    IZRAError* error = nullptr;
    IZRAUser* user = nullptr;
    account->Login(u"u1", u"wrong", &error, &user);
    EXPECT_EQ(user, nullptr);
    ASSERT_NE(error, nullptr);
    char16_t* reason = nullptr;
    error->GetErrorText(&reason);
    EXPECT_FALSE(PasWideView(reason).empty());
    PasWideFree(reason);
    error->Release();
    error = nullptr;
    account->Login(u"u1", u"p1", &error, &user);
    ASSERT_NE(user, nullptr);
    char16_t* token = nullptr;
    user->GetToken(&token);
    EXPECT_EQ(PasWideView(token), u"T1");
    PasWideFree(token);
    IZRALoginManager* manager = nullptr;
    account->GetLoginManager(&manager);
    ASSERT_NE(manager, nullptr);
    EXPECT_FALSE(IsTrue(manager->IsLoggedIn()));
    manager->SetCurrentUser(user);
    EXPECT_TRUE(IsTrue(manager->IsLoggedIn()));
    manager->SetCurrentUser(nullptr);
    manager->Release();
    user->Release();
    account.Reset();

    UnloadZRAccount();
    EXPECT_EQ(ReadJsonLines(transcript, "done").size(), 1u);
    EXPECT_FALSE(IsZRAccountAvailable());
    EXPECT_FALSE(ClassRegistered());
    EXPECT_EQ(GetModuleHandleW(library.c_str()), nullptr);
}
