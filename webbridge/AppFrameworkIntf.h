#pragma once
// The host's framework binding as extension modules see it: IAppFramework (handed to a module at
// initialisation) and the interfaces reached through it. A module compiled elsewhere includes
// this header (and AppFrameworkContract.h / AppContextIntf.h) and calls by vtable slot only, so
// the declaration order below is binary contract: never reorder, insert or remove a method.
//
// Binary conventions, in addition to those of AppContextIntf.h:
// - Every slot catches its own failures: nothing is ever thrown to the caller. A failure gives
//   false / 0 / null / empty text and is written to the program's logs.
// - Text results point into storage of the called object, or of the calling thread where noted,
//   and stay valid until the next call of the same slot; copy them at once.
// - Overloaded operations get distinct slot names (ExecuteJavaScriptCtrl, CallJsFunctionText,
//   ...), because compilers do not agree on the vtable order of overloaded virtual functions.
// - Open argument lists are an array of TVarRecAbi and its length.
#include "webbridge/AppFrameworkContract.h"

#include <cstddef>
#include <cstdint>

// One tagged argument of an open argument list; VType is the kind number (0..17) of
// foundation/TaggedValue.h. 8 bytes on 32-bit Windows.
struct TVarRecAbi {
    union {
        int32_t VInteger;            // 0
        int32_t VBoolean;            // 1: zero is false
        char VChar;                  // 2: one ANSI byte
        const double* VExtended;     // 3
        const char* VString;         // 4, 6, 11: zero-terminated ANSI text
        const void* VPointer;        // 5, 7, 8, 13, 14
        char16_t VWideChar;          // 9
        const char16_t* VWideString; // 10, 15, 17: zero-terminated UTF-16 text
        const int64_t* VCurrency;    // 12: four implied decimals
        const int64_t* VInt64;       // 16
    };
    uint8_t VType;
};
static_assert(sizeof(void*) != 4 || (sizeof(TVarRecAbi) == 8 && offsetof(TVarRecAbi, VType) == 4),
              "32-bit layout");

// A caller-parameter value, laid out like an OLE variant; VType uses the OLE numbers.
enum : uint16_t {
    kVarEmpty = 0,
    kVarDouble = 5,
    kVarText = 8, // VText, UTF-16, owned by the record it came from
    kVarBoolean = 11,
    kVarInt64 = 20,
};
struct TVariantAbi {
    uint16_t VType;
    uint16_t Reserved1;
    uint16_t Reserved2;
    uint16_t Reserved3;
    union {
        int64_t VInt64;
        int32_t VBoolean;
        double VDouble;
        const char16_t* VText;
    };
};
static_assert(sizeof(TVariantAbi) == 16, "variant layout");

// {74E8915D-EC56-4E33-8DA3-5390BCA1A446}
inline constexpr TFwGuid IID_ICallerParam = {
    0x74E8915D, 0xEC56, 0x4E33, {0x8D, 0xA3, 0x53, 0x90, 0xBC, 0xA1, 0xA4, 0x46}};
// {BEF5CDEB-B8C4-4F19-BAB3-0684E433FA2B}
inline constexpr TFwGuid IID_ICallJSInf = {
    0xBEF5CDEB, 0xB8C4, 0x4F19, {0xBA, 0xB3, 0x06, 0x84, 0xE4, 0x33, 0xFA, 0x2B}};
// {C0ED6B45-CA50-4C94-96B6-4E5301BA15E2}
inline constexpr TFwGuid IID_IRegAppContext = {
    0xC0ED6B45, 0xCA50, 0x4C94, {0x96, 0xB6, 0x4E, 0x53, 0x01, 0xBA, 0x15, 0xE2}};
// {7A0B0268-EC38-4B3C-B208-E73925A9C872}
inline constexpr TFwGuid IID_IWebCoreControlInf = {
    0x7A0B0268, 0xEC38, 0x4B3C, {0xB2, 0x08, 0xE7, 0x39, 0x25, 0xA9, 0xC8, 0x72}};
// {A7E85B39-2C7A-4E57-9109-A7BFBD88B39C}
inline constexpr TFwGuid IID_IAppFramework = {
    0xA7E85B39, 0x2C7A, 0x4E57, {0x91, 0x09, 0xA7, 0xBF, 0xBD, 0x88, 0xB3, 0x9C}};

// A window control as the binding addresses it: a web control of the program, the library's
// sub-browser form, or any other control. Not reference counted; its owner keeps it alive.
class IWinControl {
public:
    virtual const char* APPFRAME_STDCALL ClassName() = 0; // window class, e.g. "TWebCoreControl"
    virtual TFwHandle APPFRAME_STDCALL Handle() = 0;      // the control's own window
    virtual int32_t APPFRAME_STDCALL WebID() = 0;         // web controls: their page window

protected:
    ~IWinControl() = default;
};

// The parsed caller parameters of one page call. Reference counted: getCallerParams hands out a
// record with one reference.
class ICallerParam : public IFwUnknown {
public:
    virtual const char16_t* APPFRAME_STDCALL FunName() = 0;
    virtual int32_t APPFRAME_STDCALL webId() = 0;
    virtual int32_t APPFRAME_STDCALL CallerID() = 0;
    virtual int32_t APPFRAME_STDCALL Count() = 0;
    // Outside 0..Count-1: -1 (and the range error is logged).
    virtual int32_t APPFRAME_STDCALL ParamType(int32_t idx) = 0;
    // Outside 0..Count-1: false with an empty value (and the range error is logged).
    virtual TFwBool APPFRAME_STDCALL ParamValue(int32_t idx, TVariantAbi* value) = 0;

protected:
    ~ICallerParam() = default;
};

// Answers and registered-function calls addressed to pages. Not counted (lives with the binding).
class ICallJSInf : public IFwUnknown {
public:
    // Packs the values as parameter JSON and delivers it to caller iCallerNo of page WebID.
    virtual TFwBool APPFRAME_STDCALL CallJsFunction(int32_t WebID, int32_t iCallerNo,
                                                    const TVarRecAbi* arrParams, int32_t paramCount) = 0;
    // Delivers an ANSI answer text as it is.
    virtual TFwBool APPFRAME_STDCALL CallJsFunctionText(int32_t WebID, int32_t iCallerNo,
                                                        const char* sRetParamData) = 0;
    virtual TFwBool APPFRAME_STDCALL CallJsFunctionParam(ICallerParam* CallerParam,
                                                         const TVarRecAbi* arrParams, int32_t paramCount) = 0;
    virtual TFwBool APPFRAME_STDCALL CallJsFunctionContext(IAppContext* CallerParam,
                                                           const TVarRecAbi* arrParams,
                                                           int32_t paramCount) = 0;
    // A new record (one reference) parsed from caller-parameter JSON; null on failure.
    virtual ICallerParam* APPFRAME_STDCALL getCallerParams(const char16_t* sParams) = 0;
    virtual TFwBool APPFRAME_STDCALL CallRegisterFun(const char* sFunName, const TVarRecAbi* arrParams,
                                                     int32_t paramCount) = 0;
    virtual TFwBool APPFRAME_STDCALL TranParamToJsCallerInf(const TVarRecAbi* Args, int32_t argCount,
                                                            IJsCallerInf* aParams) = 0;

protected:
    ~ICallJSInf() = default;
};

// The library's registry of named native objects. Not counted (lives with the binding).
class IRegAppContext : public IFwUnknown {
public:
    virtual TFwBool APPFRAME_STDCALL RegContext(const char* sContextName, void* pContent) = 0;
    virtual TFwBool APPFRAME_STDCALL UnRegContext(const char* sContextName, void* pContent) = 0;
    virtual void* APPFRAME_STDCALL GetContext(const char* sContextName) = 0;

protected:
    ~IRegAppContext() = default;
};

// A web control embedded in a window of the program. Not counted (its owner frees it).
class IWebCoreControlInf : public IFwUnknown {
public:
    virtual IWinControl* APPFRAME_STDCALL Instance() = 0;
    virtual int32_t APPFRAME_STDCALL GetWebID() = 0;
    virtual const char* APPFRAME_STDCALL GetsUrl() = 0;
    // Out parameter rather than a returned record: compilers disagree on returning 8-byte records.
    virtual void APPFRAME_STDCALL GetOnWebBrowserEvent(TProcWebBrowserEventEx* handler) = 0;
    virtual void APPFRAME_STDCALL SetOnWebBrowserEvent(TProcWebBrowserEventEx handler) = 0;
    virtual void APPFRAME_STDCALL SetsUrl(const char* sUrl) = 0;
    virtual TFwBool APPFRAME_STDCALL ExecuteJavaScript(int32_t WebID, const char* sScript) = 0;

protected:
    ~IWebCoreControlInf() = default;
};

// Hook called for every main-window page event before the host's own handling; setting *Handled
// to non-zero takes the event over. Sender and aAppContext as in TProcWebBrowserEventEx.
using TOnMainBrowserEvent = void(APPFRAME_STDCALL*)(void* Sender, void* userContext, int32_t iEventType,
                                                    const char* sEventName, IAppContext* aAppContext,
                                                    TFwBool* Handled);

// Hook called when another instance asks this one to come forward; non-zero: dealt with.
// An object method: Code is called with Self first.
using TOnAppWakeUpFn = TFwBool(APPFRAME_STDCALL*)(void* self, int32_t iMessageID, TFwHandle CallerHD,
                                                  int32_t iFlag, TFwHandle iMainHD);
struct TOnAppWakeUp {
    TOnAppWakeUpFn Code;
    void* Self;
};

// The binding. Not counted: AddRef and Release answer 1 and never free it.
class IAppFramework : public IFwUnknown {
public:
    virtual TFwHandle APPFRAME_STDCALL GetMainHandle() = 0; // 1
    virtual int32_t APPFRAME_STDCALL GetMainWebID() = 0;
    virtual int32_t APPFRAME_STDCALL GetWebID(IWinControl* aWebCtrl) = 0;
    virtual ICallJSInf* APPFRAME_STDCALL CallJS() = 0;
    // 5: a web control made on aParentObj (its owner frees it); null on failure.
    virtual IWebCoreControlInf* APPFRAME_STDCALL GetWebControl(IWinControl* aParentObj, void* userContext,
                                                               TFwBool aUseIE, const char* sUrl,
                                                               TProcWebBrowserEventEx aEvent,
                                                               const char* sParams) = 0;
    virtual int32_t APPFRAME_STDCALL FormShowModal(void* userContext, TFwBool bUseIE, const char* sUrl,
                                                   TProcWebBrowserEventEx aWebBrowserEvent,
                                                   IAppContext* aAppContext) = 0;
    virtual TFwBool APPFRAME_STDCALL ExecuteJavaScript(int32_t WebID, const char* sScript) = 0;
    virtual TFwBool APPFRAME_STDCALL ExecuteJavaScriptCtrl(IWinControl* aWebCtrl, const char* sScript) = 0;
    virtual TFwBool APPFRAME_STDCALL Call(IWinControl* aWebCtrl, const char* Method, const TVarRecAbi* Args,
                                          int32_t argCount) = 0;
    virtual IRegAppContext* APPFRAME_STDCALL RegAppContext() = 0; // 10
    // 11: the parameter JSON; storage of the calling thread.
    virtual const char16_t* APPFRAME_STDCALL PackFunParams(const TVarRecAbi* Args, int32_t argCount) = 0;
    // 12: the value (ANSI) or empty text; storage of the calling thread.
    virtual const char* APPFRAME_STDCALL GetControlParams(const char* pCfgType, const char* pSession,
                                                          const char* pKey, const char* pDef) = 0;
    virtual TFwBool APPFRAME_STDCALL SetControlParams(const char* pCfgType, const char* pSession,
                                                      const char* pKey, const char* pValue) = 0;
    virtual IControlParamsInf* APPFRAME_STDCALL GetCallerParamInf() = 0; // borrowed
    virtual IAppContext* APPFRAME_STDCALL GetAppContext() = 0;           // 15: owned, Release it
    // 16: formats sMsg (ANSI) with the "%s"/"%d" rules; false when the format does not match its
    // arguments or the library cannot be reached.
    virtual TFwBool APPFRAME_STDCALL WriteLog(const char* sMsg, const TVarRecAbi* Args, int32_t argCount) = 0;
    virtual TFwBool APPFRAME_STDCALL UpdateApp(const char* pEntryNames, int32_t aInstallType) = 0;
    // 18: sRetData receives the answer bytes in storage of the calling thread (do not free it).
    virtual TFwBool APPFRAME_STDCALL UrlRequest(const TFwCountedString* sUrl, uint32_t iTimeOut,
                                                TFwCountedString* sRetData) = 0;
    virtual TFwHandle APPFRAME_STDCALL GetApplication() = 0; // the application window
    virtual void APPFRAME_STDCALL AppTerminate() = 0;        // 20
    virtual void APPFRAME_STDCALL SetOnMainBrowserEvent(TOnMainBrowserEvent aOnMainBrowserEvent) = 0;
    virtual void APPFRAME_STDCALL SetOnAppWakeUp(TOnAppWakeUp aOnAppWakeUp) = 0; // 22

protected:
    ~IAppFramework() = default;
};
