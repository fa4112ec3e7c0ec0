// Cost of a synchronous page call through the dispatch: name split, library probes, registry and
// method look-up, invocation and the answer stored in the caller context.
#include "actions/ActionRegistry.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <sys/stat.h>

namespace {

class TBenchValues final : public IAppValues {
public:
    TFwHResult QueryInterface(const TFwGuid&, void**) override { return kFwENoInterface; }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    int32_t Reserved1() override { return 0; }
    int32_t Reserved2() override { return 0; }
    void SetValue(const char*, const char*) override {}
    void SetIntValue(const char*, int32_t) override {}
    int32_t Reserved5() override { return 0; }
    void SetBoolValue(const char*, TPasBool) override {}
    const char* GetValue(const char*) override { return ""; }
    int32_t Reserved8() override { return 0; }
    int32_t Reserved9() override { return 0; }
    int32_t Reserved10() override { return 0; }
    int32_t Reserved11() override { return 0; }
    int32_t ValueCount() override { return 0; }
};

class TBenchContext final : public IAppContext {
public:
    TFwHResult QueryInterface(const TFwGuid&, void**) override { return kFwENoInterface; }
    uint32_t AddRef() override { return ++FRefs; }
    uint32_t Release() override { return --FRefs; }
    int32_t Reserved1() override { return 0; }
    int32_t CallerNo() override { return 0; }
    int32_t WebID() override { return 1; }
    void Values(IAppValues** result) override {
        FValues.AddRef();
        *result = &FValues;
    }
    void Params(IJsCallerInf** result) override { *result = nullptr; }

private:
    uint32_t FRefs = 1;
    TBenchValues FValues;
};

class TBenchPort final : public IDispatchPort {
public:
    TFwRef<IAppContext> GetAppContext() override { return {}; }
    void AppendParams(IJsCallerInf&, const TVarArgs&) override {}
    bool CallJsFunction(int32_t, int32_t, const std::string&) override { return true; }
    bool CallRegisterFun(const std::string&, const TVarArgs&) override { return true; }
    void WriteLog(const std::string&) override {}
};

class TBenchFiles final : public IDispatchEnvironment {
public:
    explicit TBenchFiles(bool probeDisk) : FProbeDisk(probeDisk) {}
    bool FileExists(const std::string& path) override {
        if (!FProbeDisk) return false;
        struct stat info;
        return stat(path.c_str(), &info) == 0;
    }
    std::string ProgramFolder() override { return "C:\\Program Files\\App\\"; }
    std::string ExtModulePath(const std::string&) override { return {}; }
    void ShowMessage(const std::string&) override {}

private:
    bool FProbeDisk;
};

class TBenchSys : public TActionService {
public:
    bool InitEnvironment(TCallerContext*) { return true; }
    std::string EncryptStr(TCallerContext*) { return "{\"ok\":true}"; }
    std::string Status(TCallerContext*) { return "true"; }
};

const TServiceClass& BenchClass() {
    static const TServiceClass cls =
        MakeServiceClass<TBenchSys>("TBenchSys", "sys",
                                    {
                                        {"InitEnvironment", &TBenchSys::InitEnvironment, {"", actALL}},
                                        {"EncryptStr", &TBenchSys::EncryptStr, {"Enc", actALL}},
                                        {"Status", &TBenchSys::Status, {"", actALL}},
                                    });
    return cls;
}

double NanosPerCall(const char* label, int calls, TActionRegistry& registry, bool contextPerCall) {
    TBenchContext page;
    TCallerContextPtr shared = TCallerContext::Create(&page);
    const std::string action = "sys.Enc";
    size_t answered = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i) {
        TCallerContextPtr context = contextPerCall ? TCallerContext::Create(&page) : shared;
        if (registry.CallActionFun(action, context) == CLSync) answered += context->FRetValue.Get().size();
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const double ns = std::chrono::duration<double, std::nano>(elapsed).count() / calls;
    std::printf("%-44s %8.1f ns/call  (%zu answer bytes)\n", label, ns, answered);
    return ns;
}

} // namespace

int main() {
    constexpr int kCalls = 2000000;
    TBenchPort port;
    TBenchFiles noDisk(false);
    TBenchFiles disk(true);
    TActionRegistry inMemory(port, noDisk);
    TActionRegistry withDisk(port, disk);
    inMemory.InitAllModules({&BenchClass()});
    withDisk.InitAllModules({&BenchClass()});

    NanosPerCall("warm-up", kCalls / 10, inMemory, false);
    NanosPerCall("dispatch (library probes answered in memory)", kCalls, inMemory, false);
    NanosPerCall("dispatch + new caller context per call", kCalls, inMemory, true);
    NanosPerCall("dispatch + 2 library probes on disk (stat)", kCalls / 4, withDisk, true);
    return 0;
}
