#include "actions/CustomAttributeUnit.h"

#include "actions/ActionRegistry.h"
#include "foundation/ForeignCall.h"
#include "foundation/TextCodec.h"

#include <stdexcept>
#include <unordered_set>

namespace {

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::mutex& ClassListLock() {
    static std::mutex lock;
    return lock;
}

std::vector<const TServiceClass*>& ClassList() {
    static std::vector<const TServiceClass*> list;
    return list;
}

// The caller contexts in existence. A context leaves the set under the lock before its memory
// goes, so one found under the lock can still be read. Both are never destroyed: contexts held by
// other process-wide objects may go after the end of main.
std::mutex& LiveContextsLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

std::unordered_set<const void*>& LiveContexts() {
    static auto* contexts = new std::unordered_set<const void*>;
    return *contexts;
}

} // namespace

// ---------------------------------------------------------------------------------------------

TCallerContextPtr::TCallerContextPtr(TCallerContext* context) : FPtr(context) {
    if (FPtr) FPtr->AddRef();
}

TCallerContextPtr::TCallerContextPtr(const TCallerContextPtr& other) : FPtr(other.FPtr) {
    if (FPtr) FPtr->AddRef();
}

TCallerContextPtr::~TCallerContextPtr() {
    if (FPtr) FPtr->Release();
}

TCallerContextPtr TCallerContext::Create(IAppContext* aCallerParam) {
    if (!aCallerParam) throw std::invalid_argument("TCallerContext.Create 必须传aCallerParam");
    TCallerContextPtr result(new TCallerContext(aCallerParam));
    result->Release(); // the pointer took its own reference; the constructor's one goes
    return result;
}

TCallerContextPtr TCallerContext::FindLive(const void* pointer) {
    if (!pointer) return nullptr;
    TCallerContext* context = nullptr;
    {
        std::lock_guard<std::mutex> guard(LiveContextsLock());
        if (LiveContexts().count(pointer) == 0) return nullptr;
        context = static_cast<TCallerContext*>(const_cast<void*>(pointer));
        // Its last reference may be going on another thread right now: such a context is
        // released already and must not be revived.
        int count = context->FRefCount.load(std::memory_order_relaxed);
        do {
            if (count == 0) return nullptr;
        } while (!context->FRefCount.compare_exchange_weak(count, count + 1, std::memory_order_acquire,
                                                           std::memory_order_relaxed));
    }
    TCallerContextPtr result(context);
    context->Release(); // the pointer took its own reference; the one taken above goes
    return result;
}

TCallerContext::TCallerContext(IAppContext* aCallerParam) : FCallerParam(aCallerParam) {
    {
        std::lock_guard<std::mutex> guard(LiveContextsLock());
        LiveContexts().insert(this);
    }
    FCallerParam->AddRef();
}

TCallerContext::~TCallerContext() {
    {
        std::lock_guard<std::mutex> guard(LiveContextsLock());
        LiveContexts().erase(this);
    }
    FCallerParam->Release();
}

void TCallerContext::Release() noexcept {
    if (FRefCount.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

void TCallerContext::SetValue(std::string_view name, std::string_view value) const {
    CallForeign(&IAppValues::SetValue, ContextValues(*FCallerParam).Get(), Utf8ToAnsi(name).c_str(),
                Utf8ToAnsi(value).c_str());
}

std::string TCallerContext::GetValue(std::string_view name) const {
    return AnsiToUtf8(
        CallForeign(&IAppValues::GetValue, ContextValues(*FCallerParam).Get(), Utf8ToAnsi(name).c_str()));
}

int32_t TCallerContext::ValueCount() const {
    return CallForeign(&IAppValues::ValueCount, ContextValues(*FCallerParam).Get());
}

int32_t TCallerContext::ParamCount() const {
    return CallForeign(&IJsCallerInf::ParamCount, ContextParams(*FCallerParam).Get());
}

std::string TCallerContext::ParamStr(int32_t index) const {
    return AnsiToUtf8(ParamStrAnsi(index));
}

std::string TCallerContext::ParamStrAnsi(int32_t index) const {
    const char* text = CallForeign(&IJsCallerInf::ParamStr, ContextParams(*FCallerParam).Get(), index);
    return text ? std::string(text) : std::string();
}

std::string TCallerContext::Result() const {
    const char* text = CallForeign(&IJsCallerInf::Result, ContextParams(*FCallerParam).Get());
    return text ? AnsiToUtf8(text) : std::string();
}

// ---------------------------------------------------------------------------------------------

const TServiceMethod* TServiceClass::FindMethod(std::string_view name) const {
    for (const TServiceMethod& method : Methods) {
        if (SameTextIgnoringCase(method.Name, name)) return &method;
    }
    return nullptr;
}

void detail::AddServiceMethod(TServiceClass& cls, std::string name, TActionInvoker invoke,
                              const CefActionMethod* attribute) {
    TServiceMethod* target = nullptr;
    for (TServiceMethod& method : cls.Methods) {
        if (method.Name == name) target = &method;
    }
    if (!target) {
        cls.Methods.push_back(TServiceMethod{std::move(name), std::move(invoke), {}});
        target = &cls.Methods.back();
    }
    if (attribute) target->Attributes.push_back(*attribute);
}

void RegisterServiceClass(const TServiceClass& cls) {
    std::lock_guard<std::mutex> guard(ClassListLock());
    ClassList().push_back(&cls);
}

std::vector<const TServiceClass*> RegisteredServiceClasses() {
    std::lock_guard<std::mutex> guard(ClassListLock());
    return ClassList();
}

// ---------------------------------------------------------------------------------------------

TCefActionReference::TCefActionReference(std::string aNamespace, const TServiceClass* aMetaclassType,
                                         TActionRegistry& aOwner)
    : FNamespaceName(std::move(aNamespace)), FClass(aMetaclassType), FOwner(aOwner) {}

TCefActionReference::~TCefActionReference() = default;

void TCefActionReference::AddActionMethod(const std::string& aMethod, const std::string& aName,
                                          TActionMethodType AType) {
    auto info = std::make_unique<TMethodInfo>();
    info->sExportName = aMethod;
    info->sRealFunName = aName;
    info->ExeType = AType;
    info->RealFun = FClass ? FClass->FindMethod(aName) : nullptr;
    FlstMethods[aMethod] = std::move(info);
}

PMethodInfo TCefActionReference::GetMethodInfo(const std::string& aCallName) const {
    try {
        auto found = FlstMethods.find(aCallName);
        return found == FlstMethods.end() ? nullptr : found->second.get();
    } catch (const std::exception& e) {
        FOwner.Environment().ShowMessage(std::string("GetMethodInfo 异常:") + e.what());
        return nullptr;
    }
}

TActionService* TCefActionReference::GetActInstance(bool bNeedCallInit) {
    if (TActionService* ready = FActInstance.load(std::memory_order_acquire)) return ready;
    std::lock_guard<std::recursive_mutex> guard(FInstanceLock);
    if (TActionService* ready = FActInstance.load(std::memory_order_acquire)) return ready;
    // Asked again from inside InitEnvironment on this thread: the instance exists already.
    if (FActInstanceOwned) return FActInstanceOwned.get();
    if (!FClass || !FClass->Construct) throw std::logic_error("service class without constructor");
    FActInstanceOwned = FClass->Construct();
    // Other threads see the instance only once it is initialised, whatever the outcome.
    struct TPublish {
        TCefActionReference& Self;
        ~TPublish() { Self.FActInstance.store(Self.FActInstanceOwned.get(), std::memory_order_release); }
    } publish{*this};
    if (bNeedCallInit) CallActionFun("InitEnvironment", TCallerContextPtr());
    return FActInstanceOwned.get();
}

TCurrentCallerType TCefActionReference::CallActionFun(const std::string& aFunName,
                                                      const TCallerContextPtr& aContext) {
    TCallBracket bracket(FOwner);
    PMethodInfo info = GetMethodInfo(aFunName);
    if (!info || info->sRealFunName.empty()) return CLError;
    const bool isInit = SameTextIgnoringCase(aFunName, "InitEnvironment");
    TActionService* instance = GetActInstance(!isInit);

    if (info->ExeType == actASync && aContext && aContext->CallerNo() != 0) {
        FOwner.TaskRunner().AppendTask(instance, info, aContext, FClass);
        return CLAsync;
    }

    // An entry whose method the class does not have cannot be run.
    if (!info->RealFun) return CLError;
    std::string answer = info->RealFun->Invoke(*instance, aContext.Get());
    if (isInit || !aContext) return CLError;
    aContext->FRetValue = std::move(answer);
    return CLSync;
}
