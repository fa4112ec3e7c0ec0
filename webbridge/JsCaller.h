#pragma once
// TJsCaller: delivers answers to pages by caller number and calls functions that pages have
// registered. Used from the user-interface thread and the worker threads; it holds no lock (the
// page window's thread handles each message while the sender waits).
#include "foundation/TaggedValue.h"
#include "webbridge/CallerParam.h"

#include <atomic>
#include <memory>
#include <string_view>

class TAppFramework;

class TJsCaller {
public:
    explicit TJsCaller(TAppFramework& owner);
    ~TJsCaller();
    TJsCaller(const TJsCaller&) = delete;
    TJsCaller& operator=(const TJsCaller&) = delete;

    // Packs the values as parameter JSON and delivers it like the text form.
    bool CallJsFunction(int32_t WebID, int32_t iCallerNo, const TVarArgs& arrParams);
    // Delivers the answer text (UTF-8; the page gets it in ANSI). True when the page took it.
    bool CallJsFunction(int32_t WebID, int32_t iCallerNo, std::string_view sRetParamData);
    bool CallJsFunction(ICallerParam* CallerParam, const TVarArgs& arrParams);
    bool CallJsFunction(IAppContext* CallerParam, const TVarArgs& arrParams);
    TFwRef<TCallerParam> getCallerParams(std::string_view sParams);
    // False when the page has no such function; raises when the export or a value is refused.
    bool CallRegisterFun(std::string_view sFunName, const TVarArgs& arrParams);
    bool TranParamToJsCallerInf(const TVarArgs& Args, IJsCallerInf* aParams);

    ICallJSInf* Intf();

private:
    class TIntf;

    TAppFramework& FOwner;
    std::atomic<TCallRegisterFun> __CallRegisterFun{nullptr};
    std::unique_ptr<TIntf> FIntf;
};
