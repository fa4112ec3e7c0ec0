#pragma once
// TCallerParam: the caller parameters of one page call, parsed from the JSON text the library
// gives with it ("CallerNo", "WebID", "FunName", "paramTypes", "paramValues").
#include "webbridge/AppFrameworkIntf.h"

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// A parameter value by its type code: 0 int64_t, 1 bool, 3 double, 4 text (UTF-8); any other
// code leaves it empty.
using TCallerValue = std::variant<std::monostate, int64_t, bool, double, std::string>;

// ParamType / ParamValue with an index outside 0..Count-1.
struct ECallerParamRange : std::out_of_range {
    using std::out_of_range::out_of_range;
};

class TCallerParam final : public ICallerParam {
public:
    // A new record with one reference. Text that is not a JSON object gives an empty record.
    static TFwRef<TCallerParam> Create(std::string_view sParamsUtf8);

    const std::string& FunNameUtf8() const { return Ffunname; }
    // The raising forms for the program's own use.
    int32_t CheckedParamType(int32_t idx) const;
    const TCallerValue& CheckedParamValue(int32_t idx) const;

    // ICallerParam
    TFwHResult APPFRAME_STDCALL QueryInterface(const TFwGuid& iid, void** object) override;
    uint32_t APPFRAME_STDCALL AddRef() override;
    uint32_t APPFRAME_STDCALL Release() override;
    void APPFRAME_STDCALL FunName(char16_t** result) override;
    int32_t APPFRAME_STDCALL webId() override { return FWebId; }
    int32_t APPFRAME_STDCALL CallerID() override { return FCallerID; }
    int32_t APPFRAME_STDCALL Count() override { return static_cast<int32_t>(arrParamType.size()); }
    int32_t APPFRAME_STDCALL ParamType(int32_t idx) override;
    void APPFRAME_STDCALL ParamValue(int32_t idx, TPasVariant* result) override;

private:
    explicit TCallerParam(std::string_view sParamsUtf8);
    ~TCallerParam() = default;
    void CheckIndex(const char* operation, int32_t idx) const;

    std::vector<int32_t> arrParamType;
    std::vector<TCallerValue> arrParamValue;
    int32_t FWebId = 0;
    int32_t FCallerID = 0;
    std::string Ffunname;
    std::atomic<uint32_t> FRefCount{1};
};
