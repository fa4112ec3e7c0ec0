#pragma once
// The whole contract with the web framework library AppFramework.dll: where it is looked for,
// its exports (names and signatures), the event callback, the window messages its windows answer
// and the fixed buffer sizes. The call-context interfaces are in AppContextIntf.h.
// Everything here is binary contract on 32-bit Windows, by the rules of
// webbridge/BinaryConventions.md: exports are APPFRAME_STDCALL and exported undecorated; text is
// zero-terminated ANSI unless noted; Booleans are one byte (TPasBool); interface results come
// through the hidden last argument. No windows.h here: handles are pointer-sized unsigned integers
// (TFwHandle).
#include "webbridge/AppContextIntf.h"

#include <cstddef>
#include <cstdint>

using TFwHandle = uintptr_t; // HWND / HINSTANCE / HMODULE as an integer

// ---- Location ---------------------------------------------------------------------------------
// Candidates in search order; the first existing one is remembered for the process. When none
// exists the last is used but not remembered.
inline constexpr char kFrameworkLibName[] = "AppFramework.dll";
// 1: program folder (with trailing separator) + kFrameworkLibName
inline constexpr char kFrameworkLibCommonPath[] = "C:\\Corvane\\CommonFiles\\CefLib\\AppFramework.dll"; // 2
// 3: program folder + kFrameworkLibSubfolder + kFrameworkLibName (also the fallback folder of
//    LoadLibFunction for any library path)
inline constexpr char kFrameworkLibSubfolder[] = "CefLib\\";
inline constexpr char kFrameworkLibRootPath[] = "C:\\Corvane\\CefLib\\AppFramework.dll"; // 4

// Error text pieces (UTF-8 here; shown and logged as the program's own texts):
//   library not loadable:  path + kFwErrNotFound
//   export missing:        path + kFwErrOfFunction + exportName + kFwErrNotFound
inline constexpr char kFwErrNotFound[] = "未找到！";
inline constexpr char kFwErrOfFunction[] = "的函数";

// ---- Event callback ------------------------------------------------------------------------------
// The library calls this for every page event and page call of a form. It is an object method:
// a (code, data) pair passed by value - 8 bytes on the stack - and the library calls
// Code(Data, Sender, userContext, iEventType, sEventName, aAppContext). Data is whatever object the
// receiver wants back (for a plain function it may be null); userContext is the separate pointer
// given when the form was made. Sender is the library's component raising the event: opaque.
// aAppContext is borrowed for the duration of the call. Callbacks must not let exceptions out.
using TProcWebBrowserEventExFn = void(APPFRAME_STDCALL*)(void* self, void* Sender, void* userContext,
                                                         int32_t iEventType, const char* sEventName,
                                                         IAppContext* aAppContext);
using TProcWebBrowserEventEx = TPasMethod<TProcWebBrowserEventExFn>;
static_assert(sizeof(void*) != 4 || sizeof(TProcWebBrowserEventEx) == 8, "32-bit layout");

// Event types the host handles. Any type other than 2, 3 and 8 whose name holds a "." is a page
// call of an action; the library gives page calls type kFwEventPageCall, but receivers must not
// depend on that number.
inline constexpr int32_t kFwEventPageCall = 1;
inline constexpr int32_t kFwEventPopup = 2;      // a pop-up window is about to open ("URL", "Width", ...)
inline constexpr int32_t kFwEventPageLoaded = 3; // a page of the form finished loading
inline constexpr int32_t kFwEventIgnored = 8;
inline constexpr int32_t kFwEventNotify = 9;   // a named notification
inline constexpr int32_t kFwEventRequest = 10; // a named request answered with the return text

// ---- Exports --------------------------------------------------------------------------------------
// Names (bind with GetProcAddress) and signatures, arguments in contract order.
inline constexpr char kExpInitWebCore[] = "InitWebCore";
inline constexpr char kExpInitApplication[] = "InitApplication";
inline constexpr char kExpInitMainForm[] = "InitMainForm";
inline constexpr char kExpAppRun[] = "AppRun";
inline constexpr char kExpAppTerminate[] = "AppTerminate";
inline constexpr char kExpGetMainHandle[] = "GetMainHandle";
inline constexpr char kExpGetWebCoreForm[] = "GetWebCoreForm";
inline constexpr char kExpGetWebCoreFormEx[] = "GetWebCoreFormEx"; // alternate, same arguments
inline constexpr char kExpFormShowModal[] = "FormShowModal";
inline constexpr char kExpGetControlParams[] = "GetControlParams";
inline constexpr char kExpSetControlParams[] = "SetControlParams";
inline constexpr char kExpGetCallerParamInf[] = "GetCallerParamInf";
inline constexpr char kExpGetAppContext[] = "GetAppContext";
inline constexpr char kExpWriteLog[] = "WriteLog";
inline constexpr char kExpUpdateApp[] = "UpdateApp";
inline constexpr char kExpUrlRequest[] = "UrlRequest";
// Not one of the library's own exports: a replacement library may offer it to take back the
// counted strings it hands out; used only when present.
inline constexpr char kExpFreeCountedString[] = "FreeCountedString";
inline constexpr char kExpRegContext[] = "RegContext";
inline constexpr char kExpUnRegContext[] = "UnRegContext";
inline constexpr char kExpGetContext[] = "GetContext";
inline constexpr char kExpCallRegisterFun[] = "CallRegisterFun";
inline constexpr char kExpCallRegisterFunSim[] = "CallRegisterFunSim"; // alternate, same arguments

// appHD: application window or 0; AMainInstance: the program's main module. True on success.
using TInitWebCore = TPasBool(APPFRAME_STDCALL*)(TFwHandle appHD, TPasBool bIsMainForm,
                                                 TFwHandle AMainInstance, const char* sMainFestContent);
// Returns the handle that becomes the application window.
using TInitApplication = TFwHandle(APPFRAME_STDCALL*)(TFwHandle appHandle, TFwHandle aMainInstance);
// Returns the main form's window handle. userContext comes back in every event of the form.
using TInitMainForm = TFwHandle(APPFRAME_STDCALL*)(TPasBool bNeedShowMain, void* userContext,
                                                   TProcWebBrowserEventEx aWebBrowserEvent,
                                                   const char* sParams);
// Runs the message loop; returns when the main form has closed or AppTerminate was called.
using TAppRun = void(APPFRAME_STDCALL*)();
using TAppTerminate = void(APPFRAME_STDCALL*)();
using TGetMainHandle = TFwHandle(APPFRAME_STDCALL*)();
// Returns the new web form's window handle. iControlParams may be null.
using TGetWebCoreForm = TFwHandle(APPFRAME_STDCALL*)(TFwHandle hParentHD, void* userContext, TPasBool bUseIE,
                                                     const char* sUrl,
                                                     TProcWebBrowserEventEx aWebBrowserEvent,
                                                     IControlParamsInf* iControlParams);
using TGetWebCoreFormEx = TGetWebCoreForm;
// Shows a form modally; returns its modal result. aAppContext (may be null) carries the form's
// settings in its named values ("Width", "Height", ...) and is borrowed for the call.
using TFormShowModal = int32_t(APPFRAME_STDCALL*)(void* userContext, TPasBool bUseIE, const char* sUrl,
                                                  TProcWebBrowserEventEx aWebBrowserEvent,
                                                  IAppContext* aAppContext);
// pRetValue: a zeroed buffer of kControlParamsBufferSize bytes. True: the buffer holds the value
// (zero-terminated, at most kControlParamsBufferSize - 1 bytes). The caller never substitutes pDef;
// whether a missing value yields pDef is the library's business.
using TGetControlParams = TPasBool(APPFRAME_STDCALL*)(const char* pCfgType, const char* pSession,
                                                      const char* pKey, const char* pDef, char* pRetValue);
using TSetControlParams = TPasBool(APPFRAME_STDCALL*)(const char* pCfgType, const char* pSession,
                                                      const char* pKey, const char* pValue);
// Interface results through the hidden argument: *result is cleared by the caller and receives a
// reference the caller owns (Release it when done).
using TGetCallerParamInf = void(APPFRAME_STDCALL*)(IControlParamsInf** result);
// A new context.
using TGetAppContext = void(APPFRAME_STDCALL*)(IAppContext** result);
using TWriteLog = void(APPFRAME_STDCALL*)(const char* sMsg);
using TUpdateApp = TPasBool(APPFRAME_STDCALL*)(const char* pEntryNames, int32_t aInstallType);
// sUrl: a counted 8-bit string by value (its data pointer; we pass a constant); sRetData: the
// caller's counted-string variable (var), cleared before the call. The answer belongs to the
// library: read by its length, handed back with FreeCountedString when the library has it.
using TUrlRequest = TPasBool(APPFRAME_STDCALL*)(const char* sUrl, uint32_t iTimeOut, char** sRetData);
using TFreeCountedString = void(APPFRAME_STDCALL*)(char** s);
// Named native objects that pages and extension modules look up. pContent is stored unchanged.
using TRegContext = TPasBool(APPFRAME_STDCALL*)(const char* sContextName, void* pContent);
// True when the name was registered with that same pointer; the entry is then removed.
using TUnRegContext = TPasBool(APPFRAME_STDCALL*)(const char* sContextName, void* pContent);
using TGetContext = void*(APPFRAME_STDCALL*)(const char* sContextName); // null when unknown
// True when the page has registered aFunName and it was called with aParams' values.
using TCallRegisterFun = TPasBool(APPFRAME_STDCALL*)(const char* aFunName, IJsCallerInf* aParams);
using TCallRegisterFunSim = TCallRegisterFun;

// ---- Window messages ---------------------------------------------------------------------------
// "Page window" is the WebID; "web form" a handle from GetWebCoreForm; "main window" the handle
// from GetMainHandle (the main form). Results are tested against kFwMsgOk where noted.
inline constexpr int32_t kFwMsgOk = 100;

// Page window. wParam: const char* script; lParam: kFwRunScriptFlag. Result kFwMsgOk = run.
inline constexpr unsigned kFwMsgRunScript = 2025;
inline constexpr intptr_t kFwRunScriptFlag = 1;
// Page window. wParam: caller number; lParam: const char* answer text. Result kFwMsgOk = delivered.
inline constexpr unsigned kFwMsgAnswerCaller = 2029;
// Web form, posted. wParam: 1; lParam: window handle of the control that received the focus.
inline constexpr unsigned kFwMsgFocusForm = 2037;
// Web form, sub-browser or main window. wParam: 1; lParam: asking control's handle or 0.
// Result: the WebID (page window handle) of that form's page.
inline constexpr unsigned kFwMsgGetWebID = 2038;
// Web form. wParam = lParam = kFwShowNormal: show, result 0; = kFwShowModal: show modally,
// result the modal result once the form has closed.
inline constexpr unsigned kFwMsgShowForm = 2039;
inline constexpr uintptr_t kFwShowNormal = 1;
inline constexpr uintptr_t kFwShowModal = 2;
// Web form. (width, 0) sets the width, (0, height) the height. No result.
inline constexpr unsigned kFwMsgSizeForm = 2040;
// Web form. wParam: const char* URL; lParam: kFwNavigateFlag. Navigates; no result.
inline constexpr unsigned kFwMsgNavigate = 3030;
inline constexpr intptr_t kFwNavigateFlag = 10;
// Web form. wParam = lParam = 0. Result: the library's form object. The program does not share
// the library's component runtime, so the object is opaque (kept, never dereferenced); the
// program re-parents, shows, sizes and closes the form through the form's window.
inline constexpr unsigned kFwMsgGetFormObject = 6030;
// Main window. wParam: const char* script; lParam: char buffer of kScriptErrorBufferSize zeroed
// bytes. Result kFwMsgOk = ran; otherwise the buffer holds the zero-terminated error text.
inline constexpr unsigned kFwMsgRunMainScript = 6036;
// Main window. wParam 0; lParam: the closed form's window handle. No result. The same form may be
// reported twice (a web control and its form wrapper both report); the library tolerates that.
inline constexpr unsigned kFwMsgFormClosed = 3027;

inline constexpr size_t kControlParamsBufferSize = 5242880;
inline constexpr size_t kScriptErrorBufferSize = 102500;
