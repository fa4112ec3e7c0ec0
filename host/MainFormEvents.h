#pragma once
// The host context's three streams of input (Win32 build only): the page events of the main
// window and of the modal log-in form, the registered message by which instances and sibling
// programs talk to each other through the application window, and the messages sent to the
// context's own window (log-in hand-over, internal requests). Everything runs on the
// user-interface thread.
#include "host/HostMessages.h"
#include "host/QeltContext.h"
#include "host/StartTimes.h"
#include "webbridge/AppFrameworkIntf.h"
#include "webbridge/WebBrowserEvent.h"

#include <windows.h>

#include <string>

// What the handlers need of the framework and the process beyond the host context and its
// dispatch port. The program's is DefaultMainWindowServices(); tests give their own.
class IMainWindowServices {
public:
    virtual ~IMainWindowServices() = default;
    virtual TOnMainBrowserEvent MainBrowserHook() = 0;
    virtual TOnAppWakeUp WakeUpHook() = 0;
    virtual int32_t FormShowModal(void* userContext, bool bUseIE, const std::string& sUrl,
                                  TProcWebBrowserEventEx aWebBrowserEvent, IAppContext* aAppContext) = 0;
    virtual bool ExecuteJavaScript(int32_t webId, const std::string& script) = 0;
    virtual void ShowMessage(const std::string& text) = 0;
    virtual uint32_t TickCount() = 0;
    // Milliseconds since 1970-01-01 00:00:00 of the local wall clock.
    virtual int64_t LocalWallClockMs() = 0;
    // Ends the process (exit code 0xFFFFFFFF); false when the system refused.
    virtual bool TerminateSelf() = 0;
    // When the process may not end: ask the message loop to end instead.
    virtual void RequestAppTermination() = 0;
};
IMainWindowServices& DefaultMainWindowServices();

// The page address of the log-in form, under the program's folder.
inline constexpr char kLoginFormPage[] = "Forms\\MainForm1.html";

class TMainFormEvents final : public TWebBrowserEventSink {
public:
    TMainFormEvents(TQeltContext& context, IMainWindowServices& services, TStartTimes& times);
    ~TMainFormEvents() override;
    TMainFormEvents(const TMainFormEvents&) = delete;
    TMainFormEvents& operator=(const TMainFormEvents&) = delete;

    // Takes over the context's window messages and the registered message. Call once, before
    // InitProgram can let other instances' messages in.
    void Install();

    void OnMainFormEvent(void* Sender, void* userContext, int32_t iEventType, const std::string& sEventName,
                         IAppContext* aCallerParamInf);
    void OnLoginFormEvent(void* Sender, void* userContext, int32_t iEventType, const std::string& sEventName,
                          IAppContext* aCallerParamInf);
    // The callbacks to give the framework for the main window and the log-in form.
    TProcWebBrowserEventEx MainFormCallback() { return Callback(); }
    TProcWebBrowserEventEx LoginFormCallback() { return FLoginSink.Callback(); }

    // The registered message on the application window (word: code, long: a window).
    void AppWndProc(WPARAM code, LPARAM lParam);
    LRESULT OnCopyData(const COPYDATASTRUCT* data);
    LRESULT OnUpdateLoginUser(WPARAM wParam, LPARAM lParam);
    LRESULT OnAnswerCaller(WPARAM wParam);
    void OnInitMessageCentre();
    void ShowLoginForm();
    std::string AppKeyAnswer();

private:
    class TLoginSink final : public TWebBrowserEventSink {
    public:
        explicit TLoginSink(TMainFormEvents& owner) : FOwner(owner) {}
        void OnWebBrowserEvent(void* Sender, void* userContext, int32_t iEventType,
                               const std::string& sEventName, IAppContext* aAppContext) override {
            FOwner.OnLoginFormEvent(Sender, userContext, iEventType, sEventName, aAppContext);
        }

    private:
        TMainFormEvents& FOwner;
    };

    void OnWebBrowserEvent(void* Sender, void* userContext, int32_t iEventType, const std::string& sEventName,
                           IAppContext* aAppContext) override {
        OnMainFormEvent(Sender, userContext, iEventType, sEventName, aAppContext);
    }
    // True when the hook took the event over.
    bool CallMainBrowserHook(void* Sender, void* userContext, int32_t iEventType,
                             const std::string& sEventName, IAppContext* aCallerParamInf);
    void OnPopup(IAppContext* aCallerParamInf);
    void OnPageLoaded();
    void RunMainPageCall(const std::string& sEventName, IAppContext* aCallerParamInf);
    void Log(const std::string& line);

    TQeltContext& FContext;
    IMainWindowServices& FServices;
    TStartTimes& FTimes;
    TLoginSink FLoginSink{*this};
};

// Brings a window of this process to the front; true when it is the foreground window after.
bool ForceForegroundWindow(HWND window);
