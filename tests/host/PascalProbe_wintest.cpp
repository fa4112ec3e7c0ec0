// The client against the conformance probes built with Free Pascal (tests/probes): a web framework
// library and an extension module written from the libraries' Pascal declarations, in place of
// the stand-ins. The framework probe plays a page session and records what the client sends it;
// the module probe calls every operation of IAppFramework and records its own checks. Every rule
// of webbridge/BinaryConventions.md is crossed at least once; the expectations below name which.
#include "ClientRig.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace clienttest;

namespace {

struct TProbeRun {
    DWORD ExitCode = STILL_ACTIVE;
    std::vector<JsonRef> Framework; // ProbeFramework.jsonl
    std::vector<JsonRef> Module;    // ProbeModule.jsonl
};

// One client run for both test cases: the session takes a few seconds.
const TProbeRun& ProbeRun() {
    static const TProbeRun run = [] {
        TProbeRun r;
        TClientFolder folder(L"probe");
        const std::wstring probes = TestBuildFolder() + L"probes\\";
        CopyTestFile(probes + L"ProbeFramework.dll", folder.Path() + L"AppFramework.dll");
        CopyTestFile(probes + L"ProbeModule.dll", folder.Path() + L"ProbeModule.dll");
        folder.Write(L"MainFest.cfg",
                     R"({"AppID":")" + folder.AppId() +
                         R"(","extendModule":{"Modules":{"probe":"ProbeModule.ModuleInit"}}})");
        auto client = folder.Start();
        if (!client) return r;
        r.ExitCode = client->WaitForExit();
        r.Framework = ReadJsonLines(folder.Path() + L"ProbeFramework.jsonl");
        r.Module = ReadJsonLines(folder.Path() + L"ProbeModule.jsonl");
        return r;
    }();
    return run;
}

std::vector<JsonRef> Of(const std::vector<JsonRef>& lines, const std::string& kind,
                        const std::function<bool(const JsonRef&)>& test = {}) {
    std::vector<JsonRef> found;
    for (const JsonRef& line : lines)
        if (line->GetS("kind") == kind && (!test || test(line))) found.push_back(line);
    return found;
}

JsonRef First(const std::vector<JsonRef>& lines, const std::string& kind,
              const std::function<bool(const JsonRef&)>& test = {}) {
    const std::vector<JsonRef> found = Of(lines, kind, test);
    return found.empty() ? nullptr : found.front();
}

JsonRef Named(const std::vector<JsonRef>& lines, const std::string& kind, const std::string& name) {
    return First(lines, kind, [&](const JsonRef& l) { return l->GetS("name") == name; });
}

JsonRef AnswerTo(const std::vector<JsonRef>& lines, int64_t callerNo) {
    return First(lines, "answer", [&](const JsonRef& l) { return l->GetI("callerNo") == callerNo; });
}

// Parameter JSON: exactly the two lists, with these codes and values.
void ExpectParamJson(const std::string& text, const std::string& types, const std::string& values) {
    const JsonRef json = ParseJson(text);
    ASSERT_TRUE(json && json->IsType(stObject)) << text;
    EXPECT_EQ(json->Keys().size(), 2u) << text;
    ASSERT_TRUE(json->GetO("paramTypes") && json->GetO("paramValues")) << text;
    EXPECT_EQ(PrintJson(json->GetO("paramTypes")), types) << text;
    EXPECT_EQ(PrintJson(json->GetO("paramValues")), PrintJson(ParseJson(values))) << text;
}

// The module's open list of every kind, in kind order: -42, true, a false Boolean whose upper
// bytes are garbage, 'A', 1.5 (extended), a short string, a PAnsiChar, a WideChar, a PWideChar,
// an AnsiString, 12.5 (currency), a WideString, 12345678901 (Int64), a UnicodeString, nil.
constexpr char kFullTypes[] = "[0,1,1,4,3,4,4,4,4,4,3,4,0,4,4]";
constexpr char kFullValues[] =
    R"([-42,true,false,"A",1.5,"short","pchar中","中","宽字","ansi中文",12.5,"wide中文",12345678901,"uni中文",""])";
// The same list appended to a parameter list (a nil pointer goes in as the text "null").
constexpr char kFullListValues[] =
    R"([-42,true,false,"A",1.5,"short","pchar中","中","宽字","ansi中文",12.5,"wide中文",12345678901,"uni中文","null"])";

TEST(PascalProbe, TheClientReadsThePascalFrameworkByItsRules) {
    const TProbeRun& run = ProbeRun();
    const std::vector<JsonRef>& fw = run.Framework;
    ASSERT_EQ(run.ExitCode, 0u);
    ASSERT_TRUE(First(fw, "appRunEnd")) << "the session did not end by closing the main window";
    for (const char* kind : {"failure", "placeholder"})
        for (const JsonRef& line : Of(fw, kind))
            ADD_FAILURE() << PrintJson(line);
    const JsonRef mainForm = First(fw, "initMainForm");
    ASSERT_TRUE(mainForm);
    const JsonRef host = Named(fw, "regContext", "QeltContext");
    ASSERT_TRUE(host);
    EXPECT_TRUE(host->GetB("content"));

    // Boolean arguments: 0 or 1 in the whole 32-bit slot.
    EXPECT_EQ(First(fw, "initWebCore")->GetI("isMainFormSlot"), 0);
    EXPECT_EQ(mainForm->GetI("showSlot"), 0);
    for (const JsonRef& line : Of(fw, "boolArg"))
        EXPECT_TRUE(line->GetI("slot") == 0 || line->GetI("slot") == 1) << PrintJson(line);
    const JsonRef hidden =
        First(fw, "boolArg", [](const JsonRef& l) { return l->GetS("name") == "HideHeadBar"; });
    ASSERT_TRUE(hidden);
    EXPECT_EQ(hidden->GetI("slot"), 1);

    // Boolean results: only AL counts. UpdateApp's false (EAX 0xFFFFFF00) is logged as a failed
    // update; the pop-up form's address (true, EAX 0xFFFFFF01) is used; the product code's false
    // leaves "BAD" in the buffer, which must not become the signed request's application id.
    EXPECT_TRUE(First(fw, "log", [](const JsonRef& l) { return l->GetS("text") == "升级未能成功！"; }));
    const JsonRef popup = First(fw, "eventDone", [](const JsonRef& l) { return l->GetI("type") == 2; });
    ASSERT_TRUE(popup && popup->GetO("values"));
    const std::string url = popup->GetO("values")->GetS("URL");
    EXPECT_EQ(url.rfind("https://probe.example/pop.html?url=", 0), 0u) << url;
    EXPECT_TRUE(popup->GetO("values")->GetB("HideHeadBar"));
    ASSERT_TRUE(AnswerTo(fw, 8));
    const JsonRef signature = ParseJson(AnswerTo(fw, 8)->GetS("text"));
    ASSERT_TRUE(signature) << AnswerTo(fw, 8)->GetS("text");
    EXPECT_TRUE(signature->GetO("appId"));
    EXPECT_EQ(signature->GetS("appId"), "");

    // A synchronous call answered through SetResult, and its answer decrypted by an asynchronous
    // call answered through message 2029 with its caller number on the main page, from the
    // worker thread: the Chinese text went in and came back in code page 936.
    const JsonRef enc = Named(fw, "eventDone", "sys.Enc");
    ASSERT_TRUE(enc);
    EXPECT_TRUE(enc->GetB("resultSet"));
    EXPECT_NE(enc->GetS("result"), "");
    const JsonRef dec = AnswerTo(fw, 7);
    ASSERT_TRUE(dec);
    EXPECT_EQ(dec->GetI("webId"), mainForm->GetI("page"));
    EXPECT_EQ(dec->GetS("text"), "中文测试");
    EXPECT_EQ(dec->GetS("hex"), "d6d0cec4b2e2cad4");

    // A call of the module's service is routed to its library through the named-value store.
    const JsonRef echo = Named(fw, "eventDone", "probe.Echo");
    ASSERT_TRUE(echo && echo->GetO("values"));
    const std::string path = echo->GetO("values")->GetS("path");
    EXPECT_NE(path.find("\\ProbeModule.dll"), std::string::npos) << path;
    EXPECT_EQ(echo->GetO("values")->GetS("funName"), "Echo");
}

TEST(PascalProbe, TheModuleSeesTheBindingByItsPascalRules) {
    const TProbeRun& run = ProbeRun();
    const std::vector<JsonRef>& fw = run.Framework;
    const std::vector<JsonRef>& mod = run.Module;

    // The module's own checks: managed results (interfaces, wide strings, counted strings as
    // constants, variants), Booleans both ways, WebIDs, contexts, parameter lists.
    const JsonRef done = First(mod, "done");
    ASSERT_TRUE(done) << "ModuleInit did not finish";
    const std::vector<JsonRef> checks = Of(mod, "check");
    EXPECT_EQ(static_cast<int64_t>(checks.size()), done->GetI("checks"));
    EXPECT_GE(checks.size(), 50u);
    for (const JsonRef& check : checks)
        EXPECT_TRUE(check->GetB("ok")) << PrintJson(check);

    // Open lists of every kind, rendered as parameter JSON (PackFunParams, CallJsFunction), as a
    // script call, as a parameter list (CallRegisterFun) and through the log format.
    const JsonRef packed = Named(mod, "value", "PackFunParams");
    ASSERT_TRUE(packed);
    ExpectParamJson(packed->GetS("text"), kFullTypes, kFullValues);
    ASSERT_TRUE(Named(mod, "value", "PackFunParams empty"));
    ExpectParamJson(Named(mod, "value", "PackFunParams empty")->GetS("text"), "[]", "[]");
    ASSERT_TRUE(AnswerTo(fw, 901));
    ExpectParamJson(AnswerTo(fw, 901)->GetS("text"), kFullTypes, kFullValues);
    for (int64_t callerNo : {903, 904}) {
        ASSERT_TRUE(AnswerTo(fw, callerNo)) << callerNo;
        ExpectParamJson(AnswerTo(fw, callerNo)->GetS("text"), "[0,4]", R"([-42,"uni中文"])");
    }
    ASSERT_TRUE(AnswerTo(fw, 902));
    EXPECT_EQ(AnswerTo(fw, 902)->GetS("text"), "文本答复");
    EXPECT_TRUE(First(fw, "script", [](const JsonRef& l) {
        return l->GetS("text") ==
               "probeCall(-42,true,false,'A',1.5,'short','pchar中','中','宽字','ansi中文',12.5,"
               "'wide中文',12345678901,'uni中文',null);";
    }));
    EXPECT_TRUE(
        First(fw, "script", [](const JsonRef& l) { return l->GetS("text") == R"(probe.byId("中"))"; }));
    EXPECT_FALSE(First(fw, "script", [](const JsonRef& l) { return l->GetS("text") == "probe.never()"; }));
    const JsonRef registered = Named(fw, "callRegisterFun", "probeFun");
    ASSERT_TRUE(registered);
    ExpectParamJson(registered->GetS("params"), kFullTypes, kFullListValues);
    EXPECT_TRUE(First(fw, "log", [](const JsonRef& l) {
        return l->GetS("text") ==
               "探针 -42|A|1.5|short|pchar中|中|宽字|ansi中文|12.50|wide中文|12345678901|uni中文";
    }));

    // An AnsiString by value is a constant's data pointer; the variable of a var AnsiString
    // starts out empty.
    const JsonRef request = First(fw, "urlRequest");
    ASSERT_TRUE(request && request->GetO("urlHeader"));
    EXPECT_EQ(request->GetO("urlHeader")->GetI("refCount"), -1);
    EXPECT_EQ(request->GetO("urlHeader")->GetI("elemSize"), 1);
    EXPECT_EQ(request->GetO("urlHeader")->GetI("length"), request->GetO("urlHeader")->GetI("strlen"));
    EXPECT_TRUE(request->GetB("retDataNil"));

    // A method pointer and a Boolean passed through FormShowModal to the library.
    const JsonRef modal = First(fw, "formShowModal");
    ASSERT_TRUE(modal);
    EXPECT_EQ(modal->GetI("useIESlot"), 1);
    EXPECT_EQ(modal->GetI("contextCallerNo"), 904);

    // The application window handed to the module is the one given to InitWebCore.
    ASSERT_TRUE(Named(mod, "value", "GetApplication"));
    EXPECT_EQ(Named(mod, "value", "GetApplication")->GetI("handle"), First(fw, "initWebCore")->GetI("appHD"));

    // The hooks: the main-browser hook sees each page call with Handled starting false; the
    // wake-up hook (an object method by value) gets its own object and the host's arguments, and
    // its false with garbage above AL lets the host go on: the main window is minimised.
    const JsonRef hooked = Named(mod, "hook", "sys.Dec");
    ASSERT_TRUE(hooked);
    EXPECT_EQ(hooked->GetI("callerNo"), 7);
    for (const JsonRef& line : Of(mod, "hook"))
        EXPECT_EQ(line->GetI("handledIn"), 0) << PrintJson(line);
    const JsonRef wakeRequest = First(fw, "wakeRequest");
    ASSERT_TRUE(wakeRequest);
    ASSERT_FALSE(wakeRequest->GetB("mainInFront")) << "the probe could not put its own window in front";
    const JsonRef wake = First(mod, "wakeUp");
    ASSERT_TRUE(wake);
    EXPECT_TRUE(wake->GetB("selfIsModule"));
    EXPECT_EQ(wake->GetI("messageId"), wakeRequest->GetI("message"));
    EXPECT_EQ(wake->GetI("callerHD"), wakeRequest->GetI("window"));
    EXPECT_EQ(wake->GetI("flag"), 1);
    EXPECT_EQ(wake->GetI("mainHD"), First(fw, "initMainForm")->GetI("form"));
    EXPECT_TRUE(First(fw, "minimized"));
}

} // namespace
