#pragma once
// Declarations with which service classes publish their actions, the per-service method table
// with its single service instance, and the caller context that carries one call in and its
// answer out.
//
// C++ has no attributes to enumerate at run time, so a service class describes itself once with
// MakeServiceClass: its class name, its CefAction (service name) and, per method, the method's
// own name, its address and its CefActionMethod declarations. The registry is built from those
// descriptions with the same rules the attributes would give.
#include "foundation/ForeignCall.h"
#include "webbridge/AppContextIntf.h"
#include "webbridge/ContextAccess.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

enum TActionMethodType : uint8_t { actSync = 0, actASync = 1, actALL = 2 };

// Outcome of a page call.
enum TCurrentCallerType : uint8_t {
    CLError = 0, // nothing ran, or nothing is to be answered
    CLSync = 1,  // the action ran; its answer is in the caller context
    CLAsync = 2, // handed to the task runner, which answers the page itself
};

// Service-name declaration of a class.
struct CefAction {
    std::string FNameSpace;
    explicit CefAction(std::string ANamespace) : FNameSpace(std::move(ANamespace)) {}
};

// Export declaration of a method. An empty AMethod exports the method under its own name.
struct CefActionMethod {
    std::string FVersion;
    std::string FMethod;
    TActionMethodType FType;
    CefActionMethod(std::string AMethod, TActionMethodType AType, std::string AVersion = "1.0")
        : FVersion(std::move(AVersion)), FMethod(std::move(AMethod)), FType(AType) {}
};

// ---------------------------------------------------------------------------------------------
// Caller context

class TCallerContext;

// Counted owner of a TCallerContext. The context lives until the last owner lets go, on whatever
// thread that happens (the page handler, or the task runner after it has answered).
class TCallerContextPtr {
public:
    TCallerContextPtr() = default;
    TCallerContextPtr(std::nullptr_t) {}
    // Takes a new reference to an existing context (e.g. one passed through a window message).
    explicit TCallerContextPtr(TCallerContext* context);
    TCallerContextPtr(const TCallerContextPtr& other);
    TCallerContextPtr(TCallerContextPtr&& other) noexcept : FPtr(other.FPtr) { other.FPtr = nullptr; }
    TCallerContextPtr& operator=(TCallerContextPtr other) noexcept {
        std::swap(FPtr, other.FPtr);
        return *this;
    }
    ~TCallerContextPtr();

    TCallerContext* Get() const { return FPtr; }
    TCallerContext* operator->() const { return FPtr; }
    TCallerContext& operator*() const { return *FPtr; }
    explicit operator bool() const { return FPtr != nullptr; }
    void Reset() { TCallerContextPtr().Swap(*this); }
    void Swap(TCallerContextPtr& other) noexcept { std::swap(FPtr, other.FPtr); }

private:
    TCallerContext* FPtr = nullptr;
};

class TCallerContext {
public:
    // Holds a counted reference to aCallerParam; raises "TCallerContext.Create 必须传aCallerParam"
    // when it is absent.
    static TCallerContextPtr Create(IAppContext* aCallerParam);

    TCallerContext(const TCallerContext&) = delete;
    TCallerContext& operator=(const TCallerContext&) = delete;

    // A counted reference to the context at pointer when it is one this program created and has
    // not released yet; none otherwise. The pointer is not dereferenced unless it is such a
    // context, so any number (one that came with a window message, say) may be asked about. Safe
    // on any thread, also while another thread releases the context.
    static TCallerContextPtr FindLive(const void* pointer);

    void AddRef() noexcept { FRefCount.fetch_add(1, std::memory_order_relaxed); }
    void Release() noexcept;

    IAppContext* AppContext() const { return FCallerParam; }

    // Convenience readers over the framework context; texts are UTF-8 here and ANSI there.
    int32_t CallerNo() const { return CallForeign(&IAppContext::CallerNo, FCallerParam); }
    int32_t WebID() const { return CallForeign(&IAppContext::WebID, FCallerParam); }
    void SetValue(std::string_view name, std::string_view value) const;
    std::string GetValue(std::string_view name) const;
    int32_t ValueCount() const;
    int32_t ParamCount() const;
    std::string ParamStr(int32_t index) const;
    // The parameter as the framework holds it (ANSI bytes).
    std::string ParamStrAnsi(int32_t index) const;
    std::string Result() const;

    // The action's answer (UTF-8), empty until an action sets it. Written by the thread that runs
    // the action and read by the user-interface thread when another component asks for the answer
    // of a live context (message 2026), so it is guarded.
    class TAnswerText {
    public:
        TAnswerText& operator=(std::string text) {
            std::lock_guard<std::mutex> guard(FLock);
            FText = std::move(text);
            return *this;
        }
        std::string Get() const {
            std::lock_guard<std::mutex> guard(FLock);
            return FText;
        }
        operator std::string() const { return Get(); }
        bool operator==(std::string_view other) const { return Get() == other; }
        bool operator!=(std::string_view other) const { return Get() != other; }
        friend std::ostream& operator<<(std::ostream& out, const TAnswerText& text) {
            return out << text.Get();
        }

    private:
        mutable std::mutex FLock;
        std::string FText;
    };
    TAnswerText FRetValue;

private:
    explicit TCallerContext(IAppContext* aCallerParam);
    ~TCallerContext();

    IAppContext* FCallerParam;
    std::atomic<int> FRefCount{1};
};

// ---------------------------------------------------------------------------------------------
// Service classes

// Base of every service class; the dispatch owns one instance per registered service.
class TActionService {
public:
    virtual ~TActionService() = default;
};

using TActionInvoker = std::function<std::string(TActionService& instance, TCallerContext* aContext)>;

// One method of a service class with its export declarations (a method may carry several).
struct TServiceMethod {
    std::string Name;
    TActionInvoker Invoke;
    std::vector<CefActionMethod> Attributes;
};

// What the dispatch knows of a service class: its name, declarations, constructor and methods
// (inherited ones included, in declaration order).
struct TServiceClass {
    std::string ClassName;
    std::vector<CefAction> Attributes;
    std::function<std::unique_ptr<TActionService>()> Construct;
    std::vector<TServiceMethod> Methods;

    // The method of that name, compared case-insensitively; the first one wins.
    const TServiceMethod* FindMethod(std::string_view name) const;
};

// One row of a service class description: a method's own name, its address and at most one
// export declaration. Rows naming the same method add declarations to it.
template <class T>
struct TActionDecl {
    using TTextMethod = std::string (T::*)(TCallerContext*);
    using TBoolMethod = bool (T::*)(TCallerContext*);

    TActionDecl(std::string name, TTextMethod method) : Name(std::move(name)), Invoke(Wrap(method)) {}
    TActionDecl(std::string name, TTextMethod method, CefActionMethod attribute)
        : Name(std::move(name)), Invoke(Wrap(method)), Attribute(std::move(attribute)), HasAttribute(true) {}
    TActionDecl(std::string name, TBoolMethod method) : Name(std::move(name)), Invoke(Wrap(method)) {}
    TActionDecl(std::string name, TBoolMethod method, CefActionMethod attribute)
        : Name(std::move(name)), Invoke(Wrap(method)), Attribute(std::move(attribute)), HasAttribute(true) {}

    std::string Name;
    TActionInvoker Invoke;
    CefActionMethod Attribute{"", actSync};
    bool HasAttribute = false;

private:
    static TActionInvoker Wrap(TTextMethod method) {
        return [method](TActionService& instance, TCallerContext* context) {
            return (static_cast<T&>(instance).*method)(context);
        };
    }
    // A Boolean answer reads as its text form, the way it would be turned into text anywhere else.
    static TActionInvoker Wrap(TBoolMethod method) {
        return [method](TActionService& instance, TCallerContext* context) {
            return std::string((static_cast<T&>(instance).*method)(context) ? "True" : "False");
        };
    }
};

namespace detail {
void AddServiceMethod(TServiceClass& cls, std::string name, TActionInvoker invoke,
                      const CefActionMethod* attribute);
}

// Describes service class T (default-constructible, derived from TActionService) published
// under the service name nameSpace, e.g.
//   MakeServiceClass<TSys>("TSys", "sys", {{"EncryptStr", &TSys::EncryptStr, {"Enc", actASync}}});
template <class T>
TServiceClass MakeServiceClass(std::string className, std::string nameSpace,
                               std::initializer_list<TActionDecl<T>> methods) {
    TServiceClass cls;
    cls.ClassName = std::move(className);
    cls.Attributes.emplace_back(std::move(nameSpace));
    cls.Construct = [] { return std::unique_ptr<TActionService>(new T()); };
    for (const TActionDecl<T>& decl : methods) {
        detail::AddServiceMethod(cls, decl.Name, decl.Invoke, decl.HasAttribute ? &decl.Attribute : nullptr);
    }
    return cls;
}

// The process-wide list of service classes, filled at module initialisation and read by
// TActionRegistry::InitAllModules. Classes must outlive the registry (use statics).
void RegisterServiceClass(const TServiceClass& cls);
std::vector<const TServiceClass*> RegisteredServiceClasses();

// ---------------------------------------------------------------------------------------------
// Method table and service reference

struct TMethodInfo {
    std::string sExportName;
    std::string sRealFunName;
    TActionMethodType ExeType = actSync;
    // The class method sRealFunName names, looked up once when the entry is made.
    const TServiceMethod* RealFun = nullptr;
};
using PMethodInfo = TMethodInfo*;

class TActionRegistry;

class TCefActionReference {
public:
    TCefActionReference(std::string aNamespace, const TServiceClass* aMetaclassType, TActionRegistry& aOwner);
    ~TCefActionReference();
    TCefActionReference(const TCefActionReference&) = delete;
    TCefActionReference& operator=(const TCefActionReference&) = delete;

    // Stores {aMethod, aName, AType} under aMethod, replacing an earlier entry of that key.
    void AddActionMethod(const std::string& aMethod, const std::string& aName, TActionMethodType AType);
    // Exact-case look-up.
    PMethodInfo GetMethodInfo(const std::string& aCallName) const;
    // The service instance, created on the first call; InitEnvironment runs once then when asked.
    TActionService* GetActInstance(bool bNeedCallInit);
    // Runs one action of this service. Exceptions of the action reach the caller.
    TCurrentCallerType CallActionFun(const std::string& aFunName, const TCallerContextPtr& aContext);

    const std::string& FNamespace() const { return FNamespaceName; }
    const TServiceClass* FMetaclassType() const { return FClass; }
    size_t MethodCount() const { return FlstMethods.size(); }

private:
    std::string FNamespaceName;
    const TServiceClass* FClass;
    TActionRegistry& FOwner;
    std::unordered_map<std::string, std::unique_ptr<TMethodInfo>> FlstMethods;
    // Page calls and the message poller may both be first; the instance must be made (and
    // initialised) once. The lock is recursive because InitEnvironment runs inside it and may
    // ask for the instance again.
    std::recursive_mutex FInstanceLock;
    std::unique_ptr<TActionService> FActInstanceOwned;
    std::atomic<TActionService*> FActInstance{nullptr};
};
