// The client's account and message services against the account and push-message libraries
// built with Free Pascal from their Pascal declarations (tests/probes/ProbeAccount.lpr,
// ProbePush.lpr), with the stand-in web framework playing the page: a sign-in, the user's
// information, a message fetch whose candidates the client's filter sorts, and the background
// fetch that reaches the page's "MessageNotify".
#include "ClientRig.h"

#include "support/PushLibraryEnv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace clienttest;

namespace {

JsonRef AnswerTo(const TClientFolder& folder, int callerNo) {
    for (const JsonRef& line : folder.TranscriptOf("answer"))
        if (line->GetI("callerNo") == callerNo) return line;
    return nullptr;
}

std::vector<JsonRef> Kind(const std::vector<JsonRef>& lines, const std::string& kind) {
    std::vector<JsonRef> found;
    for (const JsonRef& line : lines)
        if (line->GetS("kind") == kind) found.push_back(line);
    return found;
}

} // namespace

TEST(PascalServiceLibraries, SignInAndMessagesCrossByThePascalRules) {
    TClientFolder folder(L"pascal-services");
    const std::wstring probes = TestBuildFolder() + L"probes\\";
    ASSERT_TRUE(CopyTestFile(probes + L"ProbeAccount.dll", folder.Path() + L"ZRAccount.dll"));
    TPushLibraryInPlace push(probes + L"ProbePush.dll");
    const std::wstring pushRecord =
        PushLibraryPlace().substr(0, PushLibraryPlace().rfind(L'\\') + 1) + L"ProbePush.jsonl";
    DeleteFileW(pushRecord.c_str());
    folder.SetScenario(R"({"steps":[
        {"do":"event","type":3},
        {"do":"registerFun","name":"MessageNotify","delay":0},
        {"after":100,"do":"event","name":"app.login","callerNo":1,"paramTypes":[4],
         "paramValues":["{\"loginName\":\"u1\",\"password\":\"p1\"}"]},
        {"after":300,"do":"event","name":"app.userinfor","callerNo":2},
        {"after":300,"do":"event","name":"msg.GetMessage","callerNo":3,"paramTypes":[4,0,0],
         "paramValues":["000000_ZYTZ,xctp",10,0]},
        {"after":2500,"do":"close"}]})");
    auto client = folder.Start();
    ASSERT_TRUE(client);
    EXPECT_EQ(client->WaitForExit(), 0u);

    // One-byte Booleans and wide strings through the hidden argument, from the account library.
    const JsonRef login = AnswerTo(folder, 1);
    ASSERT_TRUE(login);
    EXPECT_EQ(login->GetS("text"), R"({"Logined":true,"Msg":"登录成功"})");
    const JsonRef user = AnswerTo(folder, 2);
    ASSERT_TRUE(user);
    EXPECT_NE(user->GetS("text").find("张三"), std::string::npos);

    // The fetch: the client's filter keeps the notice and the other type, drops the expired trip
    // and the cancellation; the offsets come back as 64-bit numbers.
    const JsonRef fetched = AnswerTo(folder, 3);
    ASSERT_TRUE(fetched);
    const JsonRef packed = ParseJson(fetched->GetS("text"));
    ASSERT_TRUE(packed);
    const JsonRef values = packed->GetO("paramValues");
    ASSERT_TRUE(values && values->Length() == 3);
    const JsonRef messages = ParseJson(values->S(0));
    ASSERT_TRUE(messages && messages->Length() == 2) << values->S(0);
    EXPECT_EQ(messages->O(0)->GetS("bizType"), "000000_ZYTZ");
    EXPECT_EQ(messages->O(1)->GetS("bizType"), "tax.other");
    EXPECT_EQ(values->I(1), 4);
    EXPECT_EQ(values->I(2), 5000000004LL);

    const std::vector<JsonRef> record = ReadJsonLines(pushRecord);
    const std::vector<JsonRef> configs = Kind(record, "setConfig");
    ASSERT_FALSE(configs.empty());
    EXPECT_EQ(configs.back()->GetS("token"), "T1");
    EXPECT_EQ(configs.back()->GetS("accountType"), "1");
    EXPECT_EQ(configs.back()->GetI("interval"), 30);
    EXPECT_EQ(configs.back()->GetI("timeout"), 60);
    // The registration identifier filled its buffer to the last byte: read within the buffer.
    for (const JsonRef& fetch : Kind(record, "fetchEx"))
        EXPECT_EQ(fetch->GetS("uniRegId"), "REG-0123456789ABCDEF0123456789AB");
    for (const JsonRef& filter : Kind(record, "filter")) {
        const int64_t eax = filter->GetI("eax") & 0xFF;
        EXPECT_TRUE(eax == 0 || eax == 1);
    }
    // The background fetch delivered to the page function (the delivered text was copied
    // before the library wiped it).
    bool notified = false;
    for (const JsonRef& call : folder.TranscriptOf("callRegisterFun"))
        if (call->GetS("name") == "MessageNotify" && call->GetB("found")) {
            notified = true;
            EXPECT_NE(PrintJson(call->GetO("params")).find("tax.other"), std::string::npos);
        }
    EXPECT_TRUE(notified);
}
