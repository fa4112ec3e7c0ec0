#pragma once
// TWebCoreControl: embeds one web form of the library inside a window of the program, and keeps
// focus, the mouse wheel and script calls working across the browser's process boundary.
//
// The program has no component runtime, so the control is a plain child window (window class
// "TWebCoreControl", white, no border, tab stop) that fills its parent's client area and follows
// its size while both live, and the component owner of the library's world becomes a window:
// - the owner is the parent window given at creation; none (0) raises "实例化TWebCoreControl时Owner
//   不能为nil";
// - the parent must be a window of a form, where a form is a top-level window of the calling
//   thread (not a child, not message-only): the parent itself or its root ancestor. Anything else
//   raises "实例化TWebCoreControl时，必须传入此控件所属窗口". The control lives on that form's thread.
// - the owner frees the control: destroying the parent (or the control's own window) destroys it.
//
// Each control installs its own thread message hook for the wheel redirect while it lives (so
// with two controls on a thread a wheel message is reposted once per control), and removes it
// when destroyed.
//
// The page is made once, on the first address; each address written navigates. Interface slots
// never throw; reference counting never frees the control. What the control hands out for
// itself (Instance, the Sender of page events) is the control's own pointer, which identifies it
// while it lives (webbridge/WinControlRef.h).
#include "webbridge/AppFrameworkIntf.h"

#include <windows.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

class TAppFramework;
class TAppForm;

// Message the control sends itself for focus work: wParam 1 activates the form's first focusable
// control, 2 brings the top-level window forward then posts 3, 3 focuses the window in lParam,
// anything else posts 2.
inline constexpr unsigned kMsgWebControlFocus = 1124;
// Window class of the browser's renderer windows, to which the mouse wheel is redirected.
inline constexpr char kRendererWindowClass[] = "Chrome_RenderWidgetHostHWND";

inline constexpr char kWebControlNoOwner[] = "实例化TWebCoreControl时Owner不能为nil";
inline constexpr char kWebControlNoForm[] = "实例化TWebCoreControl时，必须传入此控件所属窗口";

struct EWebCoreControlError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class TWebCoreControl final : public IWebCoreControlInf {
public:
    // A new control on aOwnerWindow. Raises EWebCoreControlError with the texts above; a control
    // that fails half-way is taken apart before the error leaves. The window owns the result.
    static TWebCoreControl* Create(TFwHandle aOwnerWindow, TAppFramework& framework);
    TWebCoreControl(const TWebCoreControl&) = delete;
    TWebCoreControl& operator=(const TWebCoreControl&) = delete;

    // Destroys the control's window and with it the control.
    void Free();

    TFwHandle Handle() const;
    // The page window, asked from the form each time (0 before the page exists).
    int32_t WebID();
    const std::string& sUrl() const { return FUrl; } // UTF-8
    void SetUrl(std::string_view url);               // makes the page once, then navigates
    // Runs a script in page window webId; when that fails, once more in the page window asked
    // afresh. True when the page ran it.
    bool ExecuteScript(int32_t webId, std::string_view script);
    TProcWebBrowserEventEx OnWebBrowserEvent() const { return FOnWebBrowserEvent; }
    const std::string& sRunParams() const { return FRunParams; }
    void SetsRunParams(std::string_view params) { FRunParams = std::string(params); }
    bool bUseIE() const { return FUseIE; }
    void SetbUseIE(bool useIE) { FUseIE = useIE; }
    void* UserContext() const { return FuserContext; }
    void SetUserContext(void* userContext) { FuserContext = userContext; }
    TAppForm* WebCoreForm() const { return FWebCoreForm.get(); }

    // IWebCoreControlInf
    TFwHResult APPFRAME_STDCALL QueryInterface(const TFwGuid& iid, void** object) override;
    uint32_t APPFRAME_STDCALL AddRef() override { return 1; }
    uint32_t APPFRAME_STDCALL Release() override { return 1; }
    TWinControlRef APPFRAME_STDCALL Instance() override;
    int32_t APPFRAME_STDCALL GetWebID() override;
    void APPFRAME_STDCALL GetsUrl(char** result) override;
    void APPFRAME_STDCALL GetOnWebBrowserEvent(TProcWebBrowserEventEx* result) override;
    void APPFRAME_STDCALL SetOnWebBrowserEvent(TProcWebBrowserEventEx handler) override;
    void APPFRAME_STDCALL SetsUrl(const char* sUrl) override;
    TPasBool APPFRAME_STDCALL ExecuteJavaScript(int32_t WebID, const char* sScript) override;

private:
    explicit TWebCoreControl(TAppFramework& framework);
    ~TWebCoreControl();
    void MakePage();
    void TearDown(); // the destroy steps; safe on a half-made control
    LRESULT WindowMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void FocusMessage(WPARAM wParam, LPARAM lParam);
    static void APPFRAME_STDCALL PageEvent(void* self, void* Sender, void* userContext, int32_t iEventType,
                                           const char* sEventName, IAppContext* aAppContext);
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                       DWORD_PTR data);
    static LRESULT CALLBACK WheelHook(int code, WPARAM wParam, LPARAM lParam);

    std::unique_ptr<TAppForm> FWebCoreForm;
    TProcWebBrowserEventEx FOnWebBrowserEvent{nullptr, nullptr};
    std::string FUrl; // UTF-8
    HHOOK FHook = nullptr;
    int32_t FCurWebID = 0;
    std::string FRunParams;
    bool FUseIE = false;
    void* FuserContext = nullptr;
    HWND FWindow = nullptr;
    HWND FOwnerForm = nullptr;
    HWND FParent = nullptr;      // subclassed for its size while both live
    bool FOwnedByWindow = false; // set once made: from then on the window frees the control
    bool FTornDown = false;
    TAppFramework& FFramework;
};

// Makes TAppFramework::IncWebControl / IAppFramework.GetWebControl create TWebCoreControl: the
// window the parent object names (WindowOfControl) is the owner window; a parent object that
// names none raises kWebControlNoForm.
void InstallWebCoreControl();
