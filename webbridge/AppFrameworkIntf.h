#pragma once
// The host's framework binding as extension modules see it: IAppFramework (handed to a module at
// initialisation) and the interfaces reached through it. A module compiled elsewhere includes
// this header (and AppFrameworkContract.h / AppContextIntf.h) and calls by vtable slot only, so
// the declaration order below is binary contract: never reorder, insert or remove a method.
//
// Binary rules: webbridge/BinaryConventions.md, as for the library's own contract, and:
// - Every slot catches its own failures: nothing is ever thrown to the caller. A failure gives
//   false / 0 / nil / empty text and is written to the program's logs.
// - Managed results (interfaces, wide strings, counted strings, variants, method pointers) come
//   through the hidden last argument. Interfaces and wide strings handed out there belong to the
//   caller; a counted string handed out is a constant that stays valid until the same slot
//   answers again on the same thread.
// - Overloaded operations get distinct slot names (ExecuteJavaScriptCtrl, CallJsFunctionText,
//   ...) in declaration order.
// - Open argument lists are a pointer to the first TVarRecAbi and the index of the last.
// - Objects of the component runtime are not shared: a window control is a TWinControlRef (below),
//   the application object is the application window's handle.
#include "webbridge/AppFrameworkContract.h"

#include <cstddef>
#include <cstdint>

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

// A window control as a module passes it: one of
// - the control's window handle;
// - what the program handed out for one of its live web controls (IWebCoreControlInf.Instance,
//   the Sender of their page events);
// - a control object of the module's own component runtime, which marks the control's window
//   with a property holding the object ("ControlOfs" + instance + thread, "Delphi" + process id).
// The program never dereferences it: a value it cannot identify as one of these names no control.
// The window's class names the control's class ("TWebCoreControl", "TfrmSubBrowser").
using TWinControlRef = void*;

// The parsed caller parameters of one page call. Reference counted.
class ICallerParam : public IFwUnknown {
public:
    virtual void APPFRAME_STDCALL FunName(char16_t** result) = 0; // a wide string the caller frees
    virtual int32_t APPFRAME_STDCALL webId() = 0;
    virtual int32_t APPFRAME_STDCALL CallerID() = 0;
    virtual int32_t APPFRAME_STDCALL Count() = 0;
    // Outside 0..Count-1: -1 (and the range error is logged).
    virtual int32_t APPFRAME_STDCALL ParamType(int32_t idx) = 0;
    // A variant the caller owns and clears (a text holds a wide string). Outside 0..Count-1: empty
    // (and the range error is logged).
    virtual void APPFRAME_STDCALL ParamValue(int32_t idx, TPasVariant* result) = 0;

protected:
    ~ICallerParam() = default;
};

// Answers and registered-function calls addressed to pages. Not counted (lives with the binding).
class ICallJSInf : public IFwUnknown {
public:
    // Packs the values as parameter JSON and delivers it to caller iCallerNo of page WebID.
    virtual TPasBool APPFRAME_STDCALL CallJsFunction(int32_t WebID, int32_t iCallerNo,
                                                     const TVarRecAbi* arrParams, int32_t high) = 0;
    // Delivers an ANSI answer text as it is.
    virtual TPasBool APPFRAME_STDCALL CallJsFunctionText(int32_t WebID, int32_t iCallerNo,
                                                         const char* sRetParamData) = 0;
    virtual TPasBool APPFRAME_STDCALL CallJsFunctionParam(ICallerParam* CallerParam,
                                                          const TVarRecAbi* arrParams, int32_t high) = 0;
    virtual TPasBool APPFRAME_STDCALL CallJsFunctionContext(IAppContext* CallerParam,
                                                            const TVarRecAbi* arrParams, int32_t high) = 0;
    // A new record parsed from caller-parameter JSON (a wide string); nil on failure.
    virtual void APPFRAME_STDCALL getCallerParams(const char16_t* sParams, ICallerParam** result) = 0;
    virtual TPasBool APPFRAME_STDCALL CallRegisterFun(const char* sFunName, const TVarRecAbi* arrParams,
                                                      int32_t high) = 0;
    virtual TPasBool APPFRAME_STDCALL TranParamToJsCallerInf(const TVarRecAbi* Args, int32_t high,
                                                             IJsCallerInf* aParams) = 0;

protected:
    ~ICallJSInf() = default;
};

// The library's registry of named native objects. Not counted (lives with the binding).
class IRegAppContext : public IFwUnknown {
public:
    virtual TPasBool APPFRAME_STDCALL RegContext(const char* sContextName, void* pContent) = 0;
    virtual TPasBool APPFRAME_STDCALL UnRegContext(const char* sContextName, void* pContent) = 0;
    virtual void* APPFRAME_STDCALL GetContext(const char* sContextName) = 0;

protected:
    ~IRegAppContext() = default;
};

// A web control embedded in a window of the program. Not counted (its owner frees it).
class IWebCoreControlInf : public IFwUnknown {
public:
    virtual TWinControlRef APPFRAME_STDCALL Instance() = 0; // the control itself, in EAX
    virtual int32_t APPFRAME_STDCALL GetWebID() = 0;
    virtual void APPFRAME_STDCALL GetsUrl(char** result) = 0; // a constant counted string
    virtual void APPFRAME_STDCALL GetOnWebBrowserEvent(TProcWebBrowserEventEx* result) = 0;
    virtual void APPFRAME_STDCALL SetOnWebBrowserEvent(TProcWebBrowserEventEx handler) = 0;
    virtual void APPFRAME_STDCALL SetsUrl(const char* sUrl) = 0;
    virtual TPasBool APPFRAME_STDCALL ExecuteJavaScript(int32_t WebID, const char* sScript) = 0;

protected:
    ~IWebCoreControlInf() = default;
};

// Hook called for every main-window page event before the host's own handling; setting *Handled
// to non-zero takes the event over. A plain procedure; Sender and aAppContext as in
// TProcWebBrowserEventEx; Handled points to one byte.
using TOnMainBrowserEvent = void(APPFRAME_STDCALL*)(void* Sender, void* userContext, int32_t iEventType,
                                                    const char* sEventName, IAppContext* aAppContext,
                                                    uint8_t* Handled);

// Hook called when another instance asks this one to come forward; true: dealt with.
// An object method.
using TOnAppWakeUpFn = TPasBool(APPFRAME_STDCALL*)(void* self, int32_t iMessageID, TFwHandle CallerHD,
                                                   int32_t iFlag, TFwHandle iMainHD);
using TOnAppWakeUp = TPasMethod<TOnAppWakeUpFn>;

// The binding. Not counted: AddRef and Release answer 1 and never free it.
class IAppFramework : public IFwUnknown {
public:
    virtual TFwHandle APPFRAME_STDCALL GetMainHandle() = 0; // 1
    virtual int32_t APPFRAME_STDCALL GetMainWebID() = 0;
    virtual int32_t APPFRAME_STDCALL GetWebID(TWinControlRef aWebCtrl) = 0;
    virtual void APPFRAME_STDCALL CallJS(ICallJSInf** result) = 0;
    // 5: a web control made on aParentObj (its owner frees it); nil on failure.
    virtual void APPFRAME_STDCALL GetWebControl(TWinControlRef aParentObj, void* userContext, TPasBool aUseIE,
                                                const char* sUrl, TProcWebBrowserEventEx aEvent,
                                                const char* sParams, IWebCoreControlInf** result) = 0;
    virtual int32_t APPFRAME_STDCALL FormShowModal(void* userContext, TPasBool bUseIE, const char* sUrl,
                                                   TProcWebBrowserEventEx aWebBrowserEvent,
                                                   IAppContext* aAppContext) = 0;
    virtual TPasBool APPFRAME_STDCALL ExecuteJavaScript(int32_t WebID, const char* sScript) = 0;
    virtual TPasBool APPFRAME_STDCALL ExecuteJavaScriptCtrl(TWinControlRef aWebCtrl, const char* sScript) = 0;
    virtual TPasBool APPFRAME_STDCALL Call(TWinControlRef aWebCtrl, const char* Method,
                                           const TVarRecAbi* Args, int32_t high) = 0;
    virtual void APPFRAME_STDCALL RegAppContext(IRegAppContext** result) = 0; // 10
    // 11: the parameter JSON, a wide string the caller frees.
    virtual void APPFRAME_STDCALL PackFunParams(const TVarRecAbi* Args, int32_t high, char16_t** result) = 0;
    // 12: the value (ANSI) or empty text, a constant counted string.
    virtual void APPFRAME_STDCALL GetControlParams(const char* pCfgType, const char* pSession,
                                                   const char* pKey, const char* pDef, char** result) = 0;
    virtual TPasBool APPFRAME_STDCALL SetControlParams(const char* pCfgType, const char* pSession,
                                                       const char* pKey, const char* pValue) = 0;
    virtual void APPFRAME_STDCALL GetCallerParamInf(IControlParamsInf** result) = 0;
    virtual void APPFRAME_STDCALL GetAppContext(IAppContext** result) = 0; // 15: a new context
    // 16: formats sMsg (ANSI) with the "%s"/"%d" rules; a format that does not match its
    // arguments is logged locally instead.
    virtual void APPFRAME_STDCALL WriteLog(const char* sMsg, const TVarRecAbi* Args, int32_t high) = 0;
    virtual TPasBool APPFRAME_STDCALL UpdateApp(const char* pEntryNames, int32_t aInstallType) = 0;
    // 18: sUrl a counted string (its data pointer); sRetData the caller's counted-string variable,
    // which receives a constant.
    virtual TPasBool APPFRAME_STDCALL UrlRequest(const char* sUrl, uint32_t iTimeOut, char** sRetData) = 0;
    virtual TFwHandle APPFRAME_STDCALL GetApplication() = 0; // the application window
    virtual void APPFRAME_STDCALL AppTerminate() = 0;        // 20
    virtual void APPFRAME_STDCALL SetOnMainBrowserEvent(TOnMainBrowserEvent aOnMainBrowserEvent) = 0;
    virtual void APPFRAME_STDCALL SetOnAppWakeUp(TOnAppWakeUp aOnAppWakeUp) = 0; // 22

protected:
    ~IAppFramework() = default;
};

// An extension module's initialisation function, exported under the name the manifest gives:
// true when the module initialised.
using TModuleIniFun = TPasBool(APPFRAME_STDCALL*)(IAppFramework* aFramework);
