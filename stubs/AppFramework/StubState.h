#pragma once
// Shared state of the stand-in library (internal).
#include "StubControl.h"
#include "support/FakeAppContext.h"
#include "foundation/Json.h"
#include "foundation/ScopedWin.h"

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#define STUB_EXPORT extern "C" __declspec(dllexport)

struct TStubForm {
    HWND Form = nullptr;
    HWND Page = nullptr;
    TProcWebBrowserEventEx Event{nullptr, nullptr};
    void* UserContext = nullptr;
    std::string Url; // ANSI
    bool IsMain = false;
    int ModalDepth = 0; // >0 while a modal loop runs for it
    bool ModalDone = false;
    int32_t ModalResult = 2;
};

struct TStubState {
    CriticalSection Lock; // guards everything below; never held while calling out
    bool Loaded = false;
    std::map<std::tuple<std::string, std::string, std::string>, std::string> Params; // ANSI
    std::map<std::string, bool> Results;
    std::map<std::string, void*> Contexts;
    std::map<std::string, ULONGLONG> PageFunctions; // name -> tick from which it exists
    std::vector<std::unique_ptr<TStubForm>> Forms;  // creation order
    HWND MainForm = nullptr;
    HWND AppWindow = nullptr;
    HWND Player = nullptr;
    DWORD UiThread = 0;
    bool Resetting = false;
    std::vector<JsonRef> Steps;
    size_t NextStep = 0;
};

TStubState& Stub();
HINSTANCE StubInstance();
// Loads the parameter file once (again after StubReset cleared Loaded). Takes the lock.
void StubEnsureLoaded();
std::string StubEnv(const wchar_t* name); // UTF-8, "" when unset
std::string ReadUtf8File(const std::string& pathUtf8, bool& ok);
void Transcript(const char* kind, JsonRef fields = nullptr); // fields: object or null
std::string A2U(const char* ansi);                           // null -> ""
int64_t H(HWND h);                                           // handle as a transcript number
// A new context whose SetResult texts go to the transcript.
TFakeAppContext* NewStubContext(int32_t callerNo, int32_t webId, const std::string& funNameAnsi);
void StubClearForms(); // destroys every form and the player

// What a page event left: its result text and the context's named values (UTF-8).
struct TStubEventOutcome {
    bool Found = false; // the form exists
    std::string ResultUtf8;
    JsonRef Values;
};
// Raises an event of the form's page on the calling (user-interface) thread, as a page does.
// callerParams: caller-parameter JSON, "" for none; values: named values preset, or null.
TStubEventOutcome StubRaiseEvent(HWND form, int32_t type, const std::string& nameUtf8, int32_t callerNo,
                                 const std::string& callerParamsUtf8, const JsonRef& values);
// A pop-up form raising its events to the opener's callback; answers its page window.
HWND StubOpenPopupForm(HWND opener, const std::string& urlAnsi, int width, int height);
// Closes a form with that modal result (the main form ends the message loop).
void StubCloseForm(HWND form, int32_t result);
STUB_EXPORT void APPFRAME_STDCALL AppTerminate();
