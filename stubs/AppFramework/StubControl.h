#pragma once
// Test-only side of the stand-in AppFramework.dll (test equipment, never shipped). It honours the
// exports and window messages of webbridge/AppFrameworkContract.h with real windows and plays
// page activity from a scenario; everything pages "receive" is written to a transcript.
//
// Files and environment (read when used, so a test may change them between calls):
// - APPFRAME_STUB_PARAMS: control-parameter file; default "AppFramework.params.json" beside the
//   DLL. Read at first use and by StubReset. UTF-8 JSON, every member optional:
//     {"params": {"<cfgType>": {"<section>": {"<key>": "value", ...}}},
//      "pageFunctions": ["MessageNotify", ...],         // registered from the start
//      "results": {"InitWebCore": true, "UpdateApp": true,
//                  "GetControlParams": true}}   // false: answers false, buffer untouched
//   Non-text values are stored as their compact JSON text. SetControlParams writes the in-memory
//   store only. GetControlParams of a missing key writes pDef and answers true (false when pDef
//   is null). UrlRequest answers the value of type "StubUrls", section "answers", key = the URL
//   (false when there is none).
// - APPFRAME_STUB_TRANSCRIPT: file to which one UTF-8 JSON object per line is appended for every
//   answer and call the library receives, in order. Every line has "kind":
//     "script"          2025: webId, text, ok
//     "answer"          2029: webId, callerNo, text, ok (ok = caller number not 0)
//     "mainScript"      6036: text, ok (a script containing "throw" fails: the buffer gets
//                       "Uncaught " + script, cut to fit)
//     "callRegisterFun" name, found, params {"paramTypes":[..],"paramValues":[..]}
//     "result"          SetResult on any context: callerNo, webId, name, text
//     "eventDone"       after an event callback returned: type, name, callerNo, webId, result,
//                       values (the context's named values, typed)
//     "initWebCore" (appHD, isMainForm, mainFest), "initApplication", "initMainForm" (show,
//     params, form), "webForm" (form, parent, url, useIE), "navigate" (form, url), "show"
//     (form, modal), "size" (form, width, height: 0 = unchanged), "focus" (form, control),
//     "formClosed" (form, known), "webId" (2038: form, control, webId), "formObject" (6030: form),
//     "wheel" (a renderer window got WM_MOUSEWHEEL: renderer, delta), "formShowModal" (url, useIE, values,
//     result), "setControlParams" (cfgType, section, key, value), "updateApp" (entries, installType),
//     "appTerminate", "appRunEnd", "badStep" (step).
//   Texts are converted from the ANSI code page; handles are numbers.
// - APPFRAME_STUB_SCENARIO: scenario file that AppRun plays on its message loop. UTF-8 JSON,
//   {"steps": [step, ...]} or a bare array. A step is an object with "after" (milliseconds after
//   the previous step, default 0) and "do":
//     "event"        fire a page event: "form" ("main" default, "last" = newest web form,
//                    "modal" = innermost modal form), "type" (default 1 = page call), "name",
//                    "callerNo" (default 0), "paramTypes"/"paramValues" (as a page sends them),
//                    "values" (named values preset in the context, e.g. "URL" for a pop-up).
//                    WebID of the context is the form's page window; Sender the form's window.
//     "registerFun"  the page defines function "name", after "delay" ms (default 0).
//     "unregisterFun" the page drops function "name".
//     "closeForm"    close "form" ("last" default) with modal result "result" (default 2).
//     "close"        close the main form (AppRun then returns).
//     "terminate"    AppTerminate.
//     "setParam"     store "value" under "cfgType"/"section"/"key".
// - APPFRAME_PAGEHOST=1: page-host mode (PageHost.h; README, "Page-host mode"): forms are pages
//   of the system's browser. APPFRAME_PAGEHOST_MAIN names the main form's page below the program
//   folder (default "Forms/DemoMain.html"), APPFRAME_PAGEHOST_FILE the file the address is
//   written to (default "PageHost.url" beside the program), APPFRAME_PAGEHOST_PORT a fixed port
//   (default: one the system picks). The transcript gains "pageHostListening" (port),
//   "pageHostRefused" (status, method, path, why), "popupForm" (form, opener, url),
//   "pageHostMainPageGone" and "pageHostPageGone" (form: closed because its page went); scripts
//   (2025, 6036) then run in the page, answers (2029) and CallRegisterFun reach it.
// - WriteLog appends "YYYY-MM-DD HH:MM:SS.zzz " + text + CRLF to "AppFramework.log" beside the DLL.
//
// Window classes: forms "AppFwStubForm" (the form object of 6030 is the form's window), page
// windows "AppFwStubPage" (children of their form, filling it), each holding a renderer window
// "Chrome_RenderWidgetHostHWND" that fills it, application window "AppFwStubApp". A renderer
// paints its page in kStubPageColour under a 40-pixel band of kStubHeaderColour, with the page's
// address below the band.
#include "webbridge/AppFrameworkContract.h"

#include <cstdint>

inline constexpr uint32_t kStubPageColour = 0x00E6F6FA;   // COLORREF (0x00BBGGRR): a pale page
inline constexpr uint32_t kStubHeaderColour = 0x00804A1E; // a deep blue band

// Destroys every form, stops a scenario, clears contexts and page functions and reloads the
// control parameters. Call on the thread that made the forms.
using TStubReset = void(APPFRAME_STDCALL*)();
// Runs one scenario step (UTF-8 JSON object, "after" ignored) at once on the calling thread.
// False for an unknown step or one whose form does not exist.
using TStubRunStep = TPasBool(APPFRAME_STDCALL*)(const char* stepJsonUtf8);
// Plays a scenario (UTF-8 JSON text) on the calling thread's message loop; replaces one in play.
// Answers the number of steps, -1 when the text is not a scenario.
using TStubPlayScenario = int32_t(APPFRAME_STDCALL*)(const char* scenarioJsonUtf8);

inline constexpr char kExpStubReset[] = "StubReset";
inline constexpr char kExpStubRunStep[] = "StubRunStep";
inline constexpr char kExpStubPlayScenario[] = "StubPlayScenario";
