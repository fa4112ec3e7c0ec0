#include "DispatchFakes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace dispatch_test;

namespace {

class ActionRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        TJournal::Instance().Clear();
        Registry.SetTaskRunner(&Kept);
        Registry.InitAllModules(TestClasses());
    }

    std::vector<std::string> Journal() { return TJournal::Instance().Lines(); }

    TFakePort Port;
    TFakeFiles Files;
    TKeptTasks Kept;
    TActionRegistry Registry{Port, Files};
};

struct TSplitCase {
    const char* Name;
    bool Ok;
    const char* Service;
    const char* Method;
};

} // namespace

TEST(ActionNameSplit, SplitsAtFirstDotAndTrimsBothParts) {
    const TSplitCase cases[] = {
        {"app.login", true, "app", "login"},
        {"  app . login  ", true, "app", "login"},
        {"\tmsg\r\n.\nSynFetchMsg\t", true, "msg", "SynFetchMsg"},
        {"a.b.c", true, "a", "b.c"},
        {"C:\\libs\\tool.Run", true, "C:\\libs\\tool", "Run"},
        {"nodot", false, "", ""},
        {"", false, "", ""},
        {".login", false, "", ""},
        {"app.", false, "", ""},
        {"  . login", false, "", ""},
        {"app.  ", false, "", ""},
    };
    for (const TSplitCase& c : cases) {
        std::string service = "untouched";
        std::string method = "untouched";
        EXPECT_EQ(SplitActionName(c.Name, service, method), c.Ok) << c.Name;
        if (c.Ok) {
            EXPECT_EQ(service, c.Service) << c.Name;
            EXPECT_EQ(method, c.Method) << c.Name;
        }
    }
}

TEST_F(ActionRegistryTest, AsynchronousActionGoesToRunnerOnlyWhenPageWaitsForCallback) {
    TOwnedContext waiting(7, 100);
    TCallerContextPtr context = waiting.Wrap();
    EXPECT_EQ(Registry.CallActionFun("app.login", context), CLAsync);
    ASSERT_EQ(Kept.Tasks.size(), 1u);
    EXPECT_EQ(Kept.Tasks[0].Info->sRealFunName, "login");
    EXPECT_EQ(Kept.Tasks[0].Context.Get(), context.Get());
    EXPECT_EQ(Kept.Tasks[0].Class, &AccountClass());
    EXPECT_NE(Kept.Tasks[0].Instance, nullptr);
    EXPECT_EQ(Journal(), (std::vector<std::string>{"TTestAccount.Create", "app.InitEnvironment"}));

    TOwnedContext plain(0, 100);
    TCallerContextPtr direct = plain.Wrap();
    EXPECT_EQ(Registry.CallActionFun("app.login", direct), CLSync);
    EXPECT_EQ(direct->FRetValue, "login:");
    EXPECT_EQ(Kept.Tasks.size(), 1u);
}

TEST_F(ActionRegistryTest, ActionForAnyThreadRunsAtOnceEvenWithCallback) {
    TOwnedContext waiting(7, 100);
    TCallerContextPtr context = waiting.Wrap();
    EXPECT_EQ(Registry.CallActionFun("app.appId", context), CLSync);
    EXPECT_EQ(context->FRetValue, "42");
    EXPECT_TRUE(Kept.Tasks.empty());
}

TEST_F(ActionRegistryTest, PagesCallExportNamesNotMethodNames) {
    TOwnedContext page;
    TCallerContextPtr context = page.Wrap();
    EXPECT_EQ(Registry.CallActionFun("sys.EncryptStr", context), CLError);
    EXPECT_EQ(Registry.CallActionFun("sys.Enc", context), CLSync);
    EXPECT_EQ(context->FRetValue, "enc");
    EXPECT_EQ(Journal(), (std::vector<std::string>{"sys.InitEnvironment", "sys.EncryptStr"}));
}

TEST_F(ActionRegistryTest, NamesAreCaseSensitive) {
    TOwnedContext page;
    TCallerContextPtr context = page.Wrap();
    EXPECT_EQ(Registry.CallActionFun("App.appId", context), CLError);
    EXPECT_EQ(Registry.CallActionFun("app.AppId", context), CLError);
    EXPECT_EQ(Registry.CallActionFun("app.INITENVIRONMENT", context), CLError);
    EXPECT_TRUE(Journal().empty()) << "nothing may run, not even the instance creation";
    EXPECT_EQ(Registry.CallActionFun("  app . appId ", context), CLSync);
    EXPECT_EQ(context->FRetValue, "42");
}

TEST_F(ActionRegistryTest, InitEnvironmentCalledByPageRunsOnceAndAnswersNothing) {
    TOwnedContext page(3, 1);
    TCallerContextPtr context = page.Wrap();
    context->FRetValue = "before";
    EXPECT_EQ(Registry.CallActionFun("app.InitEnvironment", context), CLError);
    EXPECT_EQ(context->FRetValue, "before");
    EXPECT_EQ(Journal(), (std::vector<std::string>{"TTestAccount.Create", "app.InitEnvironment"}));
    EXPECT_EQ(Registry.CallActionFun("app.appId", context), CLSync);
    EXPECT_EQ(Journal().size(), 2u) << "the first call was the initialisation; none again";
}

TEST_F(ActionRegistryTest, FirstCallCreatesInstanceAndInitialisesItBeforeTheAction) {
    TOwnedContext page;
    TCallerContextPtr context = page.Wrap();
    EXPECT_EQ(Registry.CallActionFun("msg.SynFetchMsg", context), CLSync);
    EXPECT_EQ(Registry.CallActionFun("msg.SynFetchMsg", context), CLSync);
    EXPECT_EQ(Journal(), (std::vector<std::string>{"TTestMsg.Create", "msg.InitEnvironment",
                                                   "msg.SynFetchMsg", "msg.SynFetchMsg"}));
}

TEST_F(ActionRegistryTest, ConcurrentFirstCallsShareOneInitialisedInstance) {
    std::vector<std::thread> callers;
    for (int i = 0; i < 4; ++i) {
        callers.emplace_back([this] {
            TOwnedContext page;
            TCallerContextPtr context = page.Wrap();
            EXPECT_EQ(Registry.CallActionFun("msg.SynFetchMsg", context), CLSync);
        });
    }
    for (std::thread& t : callers)
        t.join();
    const std::vector<std::string> lines = Journal();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "TTestMsg.Create"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "msg.InitEnvironment"), 1);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[1], "msg.InitEnvironment") << "no action before the initialisation has finished";
}

TEST_F(ActionRegistryTest, ErrorsOfSynchronousActionsReachTheCaller) {
    TOwnedContext page;
    TCallerContextPtr context = page.Wrap();
    EXPECT_THROW(Registry.CallActionFun("app.boom", context), std::runtime_error);
}

TEST_F(ActionRegistryTest, UnknownServicesAndActionsAnswerNothing) {
    TOwnedContext page(5, 1);
    TCallerContextPtr context = page.Wrap();
    EXPECT_EQ(Registry.CallActionFun("nope.appId", context), CLError);
    EXPECT_EQ(Registry.CallActionFun("app.nope", context), CLError);
    EXPECT_EQ(Registry.CallActionFun("appId", context), CLError);
    EXPECT_TRUE(Kept.Tasks.empty());
    EXPECT_TRUE(Port.Log().empty());
}

// ---- building the registry ----

namespace {

class TFirst : public TActionService {
public:
    std::string Who(TCallerContext*) { return "first"; }
    std::string Old(TCallerContext*) { return "old"; }
    std::string New(TCallerContext*) { return "new"; }
};
class TSecond : public TActionService {
public:
    std::string Who(TCallerContext*) { return "second"; }
};
class TDerived : public TFirst {
public:
    std::string Own(TCallerContext*) { return "own"; }
};

} // namespace

TEST(ActionRegistryBuild, FirstClassOfAServiceNameWinsAndLaterExportsReplaceEarlierOnes) {
    static const TServiceClass first = MakeServiceClass<TFirst>("TFirst", "svc",
                                                                {
                                                                    {"Who", &TFirst::Who, {"", actSync}},
                                                                    {"Old", &TFirst::Old, {"twice", actSync}},
                                                                    {"New", &TFirst::New, {"twice", actALL}},
                                                                    {"Old", &TFirst::Old, {"alias", actSync}},
                                                                    {"Old", &TFirst::Old},
                                                                });
    static const TServiceClass second =
        MakeServiceClass<TSecond>("TSecond", "svc", {{"Who", &TSecond::Who, {"", actSync}}});
    static TServiceClass anonymous =
        MakeServiceClass<TSecond>("TAnon", "x", {{"Who", &TSecond::Who, {"", actSync}}});
    anonymous.Attributes.clear();
    static const TServiceClass derived = MakeServiceClass<TDerived>(
        "TDerived", "derived",
        {{"Who", &TFirst::Who, {"", actSync}}, {"Own", &TDerived::Own, {"", actSync}}});

    TFakePort port;
    TFakeFiles files;
    TActionRegistry registry(port, files);
    registry.InitAllModules({&first, &second, &anonymous, &derived});
    EXPECT_EQ(registry.Count(), 2u) << "a class without a service name is not registered";

    TCefActionReference* svc = registry.GetActionReference("svc");
    ASSERT_NE(svc, nullptr);
    EXPECT_EQ(svc->FMetaclassType(), &first);
    EXPECT_EQ(svc->MethodCount(), 3u); // Who, twice, alias; "Old" itself carries no export
    PMethodInfo twice = svc->GetMethodInfo("twice");
    ASSERT_NE(twice, nullptr);
    EXPECT_EQ(twice->sRealFunName, "New");
    EXPECT_EQ(twice->ExeType, actALL);
    EXPECT_EQ(svc->GetMethodInfo("Old"), nullptr);

    TOwnedContext page;
    TCallerContextPtr context = page.Wrap();
    EXPECT_EQ(registry.CallActionFun("svc.Who", context), CLSync);
    EXPECT_EQ(context->FRetValue, "first");
    EXPECT_EQ(registry.CallActionFun("svc.alias", context), CLSync);
    EXPECT_EQ(context->FRetValue, "old");
    EXPECT_EQ(registry.CallActionFun("derived.Who", context), CLSync);
    EXPECT_EQ(context->FRetValue, "first") << "inherited methods are callable";
}

TEST(ActionRegistryBuild, EntryWithoutAMatchingMethodAnswersNothing) {
    TFakePort port;
    TFakeFiles files;
    TActionRegistry registry(port, files);
    registry.InitAllModules({&SysClass()});
    TCefActionReference* sys = registry.GetActionReference("sys");
    ASSERT_NE(sys, nullptr);
    sys->AddActionMethod("ghost", "NoSuchMethod", actSync);
    sys->AddActionMethod("empty", "", actSync);
    sys->AddActionMethod("ENC", "encryptstr", actSync); // the method is found ignoring case
    TOwnedContext page;
    TCallerContextPtr context = page.Wrap();
    EXPECT_EQ(registry.CallActionFun("sys.ghost", context), CLError);
    EXPECT_EQ(registry.CallActionFun("sys.empty", context), CLError);
    EXPECT_EQ(registry.CallActionFun("sys.ENC", context), CLSync);
    EXPECT_EQ(context->FRetValue, "enc");
}

// ---- routing to libraries ----

TEST_F(ActionRegistryTest, LibraryInProgramFolderTakesTheCallThroughDllFun) {
    Files.Files.insert("C:\\Prog\\\\tools.dll");
    TOwnedContext page(0, 9);
    TCallerContextPtr context = page.Wrap();
    EXPECT_EQ(Registry.CallActionFun("tools.Convert.All", context), CLSync);
    EXPECT_EQ(context->FRetValue, "dll:Convert.All");
    EXPECT_EQ(context->GetValue("path"), "C:\\Prog\\\\tools.dll");
    EXPECT_EQ(context->GetValue("funName"), "Convert.All");
    const std::vector<std::string> lines = Journal();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "app.DllFun C:\\Prog\\\\tools.dll Convert.All");

    TOwnedContext waiting(4, 9);
    EXPECT_EQ(Registry.CallActionFun("tools.Convert", waiting.Wrap()), CLAsync)
        << "DllFun runs in the background";
}

TEST_F(ActionRegistryTest, AbsoluteDrivePathWithoutExtensionRoutesToThatLibrary) {
    Files.Files.insert("D:\\libs\\tool.dll");
    TOwnedContext page;
    TCallerContextPtr context = page.Wrap();
    EXPECT_EQ(Registry.CallActionFun("D:\\libs\\tool.Run", context), CLSync);
    EXPECT_EQ(context->GetValue("path"), "D:\\libs\\tool.dll");
    EXPECT_EQ(context->GetValue("funName"), "Run");
    ASSERT_FALSE(Files.Probes.empty());
    EXPECT_EQ(Files.Probes.front(), "D:\\libs\\tool.dll") << "a drive path is tried first";
}

TEST_F(ActionRegistryTest, LibraryCandidatesAreTriedInOrder) {
    Files.Modules["ext"] = "E:\\mods\\ext.dll";
    EXPECT_EQ(Registry.FindServiceLibrary("ext"), "");
    EXPECT_EQ(Files.Probes, (std::vector<std::string>{"C:\\Prog\\\\ext.dll", "ext.dll", "E:\\mods\\ext.dll"}))
        << "a registered module whose file is missing is not used";

    Files.Files = {"E:\\mods\\ext.dll"};
    EXPECT_EQ(Registry.FindServiceLibrary("ext"), "E:\\mods\\ext.dll");
    Files.Files.insert("ext.dll");
    EXPECT_EQ(Registry.FindServiceLibrary("ext"), "ext.dll");
    Files.Files.insert("C:\\Prog\\\\ext.dll");
    EXPECT_EQ(Registry.FindServiceLibrary("ext"), "C:\\Prog\\\\ext.dll");
    Files.Files.insert("C:\\Prog\\\\sub.dll");
    EXPECT_EQ(Registry.FindServiceLibrary("\\sub"), "C:\\Prog\\\\sub.dll")
        << "a leading backslash is kept, not doubled";
}

TEST_F(ActionRegistryTest, NetworkPathIsNeverLookedForAsRelativeName) {
    Files.Files.insert("\\\\host\\share\\evil.dll");
    Files.Files.insert("//host/share/evil.dll");
    EXPECT_EQ(Registry.FindServiceLibrary("\\\\host\\share\\evil"), "");
    EXPECT_EQ(Registry.FindServiceLibrary("//host/share/evil"), "");
    for (const std::string& probe : Files.Probes) {
        EXPECT_NE(probe, "\\\\host\\share\\evil.dll");
        EXPECT_NE(probe, "//host/share/evil.dll");
    }
}

TEST_F(ActionRegistryTest, LibraryNamedAfterRegisteredServiceDivertsItsCalls) {
    Files.Files.insert("C:\\Prog\\\\sys.dll");
    TOwnedContext page;
    TCallerContextPtr context = page.Wrap();
    EXPECT_EQ(Registry.CallActionFun("sys.Enc", context), CLSync);
    EXPECT_EQ(context->FRetValue, "dll:Enc");
    const std::vector<std::string> lines = Journal();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "sys.EncryptStr"), 0);
}

TEST(ActionRegistryRouting, WithoutAppServiceALibraryCallAnswersNothing) {
    TFakePort port;
    TFakeFiles files;
    files.Files.insert("C:\\Prog\\\\tools.dll");
    TActionRegistry registry(port, files);
    registry.InitAllModules({&SysClass()});
    TOwnedContext page;
    EXPECT_EQ(registry.CallActionFun("tools.Run", page.Wrap()), CLError);
}

// ---- internal calls ----

TEST_F(ActionRegistryTest, InternalCallPassesTaggedArgumentsInOrder) {
    const std::string answer = Registry.CallActionFun(
        "app.Echo", TVarArgs{TVarRec::Text("纳税人"), TVarRec::Integer(-3), TVarRec::Boolean(true)});
    EXPECT_EQ(answer, "纳税人|-3|true");
}

TEST_F(ActionRegistryTest, InternalCallAnswersEmptyTextWhenNothingIsAnswered) {
    EXPECT_EQ(Registry.CallActionFun("app.nope", TVarArgs{}), "");
    EXPECT_EQ(Registry.CallActionFun("app.InitEnvironment", TVarArgs{}), "");
    EXPECT_EQ(Registry.CallActionFun("sys.Enc", TVarArgs{}), "enc");
    EXPECT_TRUE(Kept.Tasks.empty())
        << "a fresh context has no caller number, so nothing goes to the background";
    EXPECT_TRUE(Port.Log().empty());
}

TEST_F(ActionRegistryTest, InternalCallLogsFailuresAndAnswersEmptyText) {
    EXPECT_EQ(Registry.CallActionFun("app.Boom", TVarArgs{}), "");
    EXPECT_EQ(Registry.CallActionFun("app.boom", TVarArgs{}), "");
    EXPECT_EQ(Port.Log(), (std::vector<std::string>{"CallActionFun 异常：kaput"}));

    EXPECT_EQ(Registry.CallActionFun("app.Echo", TVarArgs{TVarRec::Pointer(&Port)}), "");
    EXPECT_EQ(Port.Log().back(), "CallActionFun 异常：not support type: 5");

    Port.SetNoContexts();
    EXPECT_EQ(Registry.CallActionFun("app.appId", TVarArgs{}), "");
    EXPECT_EQ(Port.Log().back(), "CallActionFun 异常：TCallerContext.Create 必须传aCallerParam");
}

// ---- caller context ----

TEST(CallerContext, RefusesMissingFrameworkContext) {
    try {
        TCallerContext::Create(nullptr);
        FAIL() << "no error";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "TCallerContext.Create 必须传aCallerParam");
    }
}

TEST(CallerContext, HoldsFrameworkContextUntilLastOwnerReleasesOnAnyThread) {
    TOwnedContext page(1, 2);
    EXPECT_EQ(page->RefCount(), 1u);
    TCallerContextPtr first = page.Wrap();
    EXPECT_EQ(page->RefCount(), 2u);
    TCallerContextPtr second = first;
    TCallerContextPtr third(first.Get()); // as rebuilt from a raw pointer
    first.Reset();
    second.Reset();
    EXPECT_EQ(page->RefCount(), 2u);
    std::thread other([moved = std::move(third)]() mutable {
        EXPECT_EQ(moved->CallerNo(), 1);
        moved.Reset();
    });
    other.join();
    EXPECT_EQ(page->RefCount(), 1u);
}

TEST(CallerContext, FindingAContextWhileAnotherThreadReleasesItNeverRevivesIt) {
    TOwnedContext page(1, 2);
    std::atomic<const void*> latest{nullptr};
    std::atomic<bool> done{false};
    std::thread runner([&] {
        for (int i = 0; i < 20000; ++i)
            latest.store(page.Wrap().Get()); // released at once
        done.store(true);
    });
    while (!done.load()) {
        if (const TCallerContextPtr held = TCallerContext::FindLive(latest.load())) {
            EXPECT_EQ(held->CallerNo(), 1);
        }
    }
    runner.join();
    EXPECT_FALSE(TCallerContext::FindLive(latest.load()));
    EXPECT_EQ(page->RefCount(), 1u);
}

TEST(CallerContext, ConvertsTextsAtTheFrameworkBoundary) {
    TOwnedContext page;
    TCallerContextPtr context = page.Wrap();
    context->SetValue("名称", "值");
    EXPECT_EQ(context->GetValue("名称"), "值");
    EXPECT_EQ(context->ValueCount(), 1);
    const std::vector<TFakeValue> raw = page->ValuesSnapshot();
    ASSERT_EQ(raw.size(), 1u);
    EXPECT_EQ(raw[0].Text, Utf8ToAnsi("值"));
    page->GetParams()->AddStrParam(jptText, Utf8ToAnsi("税务").c_str());
    EXPECT_EQ(context->ParamStr(0), "税务");
    EXPECT_EQ(context->ParamStrAnsi(0).size(), 4u);
}
