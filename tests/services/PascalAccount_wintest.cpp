// The account library's contract against a library built with Free Pascal from the Pascal
// declarations (tests/probes/ProbeAccount.lpr): the record through the window class, interface
// results and out arguments, wide strings through the hidden argument, one-byte Booleans.
#include "services/AccountLibrary.h"

#include "support/WinTestEnv.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

std::u16string Take(char16_t* wide) {
    std::u16string text(PasWideView(wide));
    PasWideFree(wide);
    return text;
}

} // namespace

TEST(PascalAccountLibrary, EveryOperationCrossesByThePascalRules) {
    TTestFolder folder(L"pascal-account");
    ASSERT_TRUE(
        CopyTestFile(TestBuildFolder() + L"probes\\ProbeAccount.dll", folder.Path() + L"ZRAccount.dll"));
    const std::wstring record = folder.Path() + L"ProbeAccount.jsonl";
    ASSERT_TRUE(LoadZRAccount(folder.Utf8() + "ZRAccount.dll"));
    {
        TFwRef<IZRAccount> account = GetZRAccount();
        ASSERT_TRUE(account);
        IZRALoginManager* rawManager = nullptr;
        account->GetLoginManager(&rawManager);
        TFwRef<IZRALoginManager> manager(rawManager);
        ASSERT_TRUE(manager);
        manager->SetAppID(u"税务APP");
        account->InitApp(u"P-01", u"键", u"http://h/qelt-basic-web");
        EXPECT_FALSE(IsTrue(manager->IsLoggedIn())); // false in AL, garbage above it

        IZRAError* error = nullptr;
        IZRAUser* user = nullptr;
        account->Login(u"u1", u"wrong", &error, &user);
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(user, nullptr);
        char16_t* text = nullptr;
        error->GetErrorText(&text);
        EXPECT_EQ(Take(text), u"用户名或密码错误");
        error->Release();
        error = nullptr;

        account->Login(u"u1", u"p1", &error, &user);
        ASSERT_NE(user, nullptr);
        EXPECT_EQ(error, nullptr);
        TFwRef<IZRAUser> signedIn(user);
        signedIn->GetUserInfo(&text);
        EXPECT_NE(Take(text).find(u"张三"), std::u16string::npos);
        signedIn->GetToken(&text);
        EXPECT_EQ(Take(text), u"T1");
        signedIn->GetAccountId(&text);
        EXPECT_EQ(Take(text), u"A1");
        signedIn->Refresh();
        manager->SetCurrentUser(signedIn.Get());
        EXPECT_TRUE(IsTrue(manager->IsLoggedIn()));
        IZRAUser* current = nullptr;
        manager->GetCurrentUser(&current);
        EXPECT_EQ(current, signedIn.Get());
        if (current) current->Release();

        IZRAUser* handedOver = nullptr;
        account->CreateLoginUser(u"{\"loginInfo\":{\"accountId\":\"B2\"}}", &handedOver);
        EXPECT_EQ(handedOver, nullptr);
        account->CreateLoginUser(u"{\"loginInfo\":{\"accountId\":\"A1\"}}", &handedOver);
        ASSERT_NE(handedOver, nullptr);
        handedOver->Release();
        manager->SetCurrentUser(nullptr);
        EXPECT_FALSE(IsTrue(manager->IsLoggedIn()));
    }
    UnloadZRAccount();

    const uintptr_t instance = reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr));
    auto inits = ReadJsonLines(record, "init");
    auto dones = ReadJsonLines(record, "done");
    ASSERT_EQ(inits.size(), 1u);
    ASSERT_EQ(dones.size(), 1u);
    EXPECT_TRUE(inits[0]->GetB("recordVar"));
    EXPECT_EQ(inits[0]->GetI("instance"), static_cast<int64_t>(instance));
    EXPECT_TRUE(dones[0]->GetB("recordVar"));
    auto got = ReadJsonLines(record, "getAccount");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(got[0]->GetB("record"));
    auto app = ReadJsonLines(record, "initApp");
    ASSERT_EQ(app.size(), 1u);
    EXPECT_EQ(app[0]->GetS("productKey"), "键");
    EXPECT_EQ(ReadJsonLines(record, "setAppID").at(0)->GetS("appId"), "税务APP");
    EXPECT_EQ(ReadJsonLines(record, "refresh").size(), 1u);
    EXPECT_TRUE(ReadJsonLines(record, "placeholder").empty());
    EXPECT_FALSE(IsZRAccountAvailable());
}
