#pragma once
// A working in-memory call context with the web framework's binary layout: what the library hands
// to native code with a page call. Portable, so code that takes an IAppContext can be tested
// natively; the stand-in AppFramework.dll hands out the same objects.
// Texts stored and returned are ANSI bytes, as across the real boundary.
#include "webbridge/AppContextIntf.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Lets the creator of a context recognise its own objects behind a plain interface pointer
// (QueryInterface with it answers the TFakeAppContext; no reference is added).
// {657BD8C0-F0CC-4092-9242-414A09686EDF}
inline constexpr TFwGuid IID_TFakeAppContext = {
    0x657BD8C0, 0xF0CC, 0x4092, {0x92, 0x42, 0x41, 0x4A, 0x09, 0x68, 0x6E, 0xDF}};

// One entry of a parameter list: the type code as given, and the value as it was added.
struct TFakeParam {
    enum TStore { sText, sInt, sFloat, sBool, sEmpty };
    int32_t Code = jptText;
    TStore Store = sEmpty;
    std::string Text; // ANSI
    int64_t Int = 0;
    double Float = 0;
    bool Bool = false;
};

// A named value as it was set.
struct TFakeValue {
    enum TStore { sText, sInt, sBool };
    std::string Name; // ANSI
    TStore Store = sText;
    std::string Text; // ANSI
    int32_t Int = 0;
    bool Bool = false;
};

class TFakeAppContext final : public IAppContext {
public:
    // A new context with reference count 1.
    static TFakeAppContext* Create(int32_t callerNo = 0, int32_t webId = 0, std::string funNameAnsi = {});
    // The context behind an interface pointer when it is one of ours, else null.
    static TFakeAppContext* From(IFwUnknown* intf);

    // Fills the parameter list (and caller number, page, name) from caller-parameter JSON (UTF-8).
    // Lists of unequal length or that are not arrays leave the list empty; unknown codes give
    // empty values. False when the text is not a JSON object.
    bool LoadCallerParams(std::string_view utf8Json);
    // Adds named values from a JSON object (UTF-8): strings as text, integers, Booleans.
    void LoadValues(std::string_view utf8Json);
    // Called after every SetResult with the new text (ANSI), outside the context's lock.
    void SetResultHook(std::function<void(TFakeAppContext&, const std::string&)> hook);

    std::vector<TFakeParam> ParamsSnapshot() const;
    std::vector<TFakeValue> ValuesSnapshot() const;
    std::string ResultText() const;
    std::string FunName() const;
    uint32_t RefCount() const { return FRefCount.load(); }
    // {"paramTypes":[...],"paramValues":[...]} and the named values as a JSON object, UTF-8.
    std::string ParamsJson() const;
    std::string ValuesJson() const;

    TFwHResult APPFRAME_STDCALL QueryInterface(const TFwGuid& iid, void** object) override;
    uint32_t APPFRAME_STDCALL AddRef() override;
    uint32_t APPFRAME_STDCALL Release() override;
    int32_t APPFRAME_STDCALL CallerNo() override;
    int32_t APPFRAME_STDCALL WebID() override;
    // Owned references, as the library hands them out; they keep the context alive.
    void APPFRAME_STDCALL Values(IAppValues** result) override;
    void APPFRAME_STDCALL Params(IJsCallerInf** result) override;

private:
    class TValuesIntf final : public IAppValues {
    public:
        explicit TValuesIntf(TFakeAppContext& owner) : FOwner(owner) {}
        TFwHResult APPFRAME_STDCALL QueryInterface(const TFwGuid& iid, void** object) override;
        uint32_t APPFRAME_STDCALL AddRef() override { return FOwner.AddRef(); }
        uint32_t APPFRAME_STDCALL Release() override { return FOwner.Release(); }
        void APPFRAME_STDCALL SetValue(const char* name, const char* value) override;
        void APPFRAME_STDCALL SetIntValue(const char* name, int32_t value) override;
        void APPFRAME_STDCALL SetBoolValue(const char* name, TPasBool value) override;
        const char* APPFRAME_STDCALL GetValue(const char* name) override;
        int32_t APPFRAME_STDCALL ValueCount() override;

    private:
        TFakeAppContext& FOwner;
        std::string FOut;
    };

    class TParamsIntf final : public IJsCallerInf {
    public:
        explicit TParamsIntf(TFakeAppContext& owner) : FOwner(owner) {}
        TFwHResult APPFRAME_STDCALL QueryInterface(const TFwGuid& iid, void** object) override;
        uint32_t APPFRAME_STDCALL AddRef() override { return FOwner.AddRef(); }
        uint32_t APPFRAME_STDCALL Release() override { return FOwner.Release(); }
        void APPFRAME_STDCALL AddStrParam(int32_t typeCode, const char* value) override;
        void APPFRAME_STDCALL AddIntParam(int32_t typeCode, int32_t value) override;
        void APPFRAME_STDCALL AddFloatParam(int32_t typeCode, double value) override;
        void APPFRAME_STDCALL AddBoolParam(int32_t typeCode, TPasBool value) override;
        const char* APPFRAME_STDCALL ParamText() override;
        int32_t APPFRAME_STDCALL ParamCount() override;
        const char* APPFRAME_STDCALL ParamStr(int32_t index) override;
        int32_t APPFRAME_STDCALL ParamInt(int32_t index, int32_t reserved) override;
        void APPFRAME_STDCALL SetResult(const char* value) override;
        const char* APPFRAME_STDCALL Result() override;

    private:
        TFakeAppContext& FOwner;
        std::string FOut;
    };

    TFakeAppContext(int32_t callerNo, int32_t webId, std::string funName);
    ~TFakeAppContext() = default;
    void Append(TFakeParam p);
    void PutValue(TFakeValue v);
    std::string CallerParamJsonLocked() const;

    std::atomic<uint32_t> FRefCount{1};
    mutable std::mutex FLock;
    int32_t FCallerNo;
    int32_t FWebID;
    std::string FFunName;
    std::vector<TFakeParam> FParams;
    std::vector<TFakeValue> FValues;
    std::string FResult;
    std::function<void(TFakeAppContext&, const std::string&)> FResultHook;
    TValuesIntf FValuesIntf{*this};
    TParamsIntf FParamsIntf{*this};
};

// Text form of a parameter as ParamStr answers it (ANSI).
std::string FakeParamText(const TFakeParam& p);
