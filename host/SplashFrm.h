#pragma once
// The splash form (Win32 build only): a borderless window centred on the screen, in the system's
// button-face colour, showing the built-in picture or the program folder's "Image\Flash.png" and,
// when "Image\config.ini" names one in section "flash", an animated GIF laid over it.
//
// A damaged picture or animation never keeps the client from starting: the picture falls back to
// the built-in one and the animation is left out, with the decoder's reason in the daily log.
// The animation's frame timing uses the window's timer; its speed value is described at
// SplashFrameDelayMs (host/SplashLayout.h).
#include "foundation/BgraImage.h"
#include "foundation/ScopedWin.h"
#include "host/SplashForm.h"
#include "host/SplashLayout.h"
#include "webbridge/AppFrameworkContract.h"

#include <windows.h>

#include <memory>
#include <string>

class TfrmSplashFrm final : public ISplashForm {
public:
    static constexpr wchar_t kClassName[] = L"TfrmSplashFrm";
    static constexpr wchar_t kCaption[] = L"frmSplashFrm";
    static constexpr UINT kAnimationTimerId = 1;

    // Creates the window, hidden, with what the program folder's "Image\" holds.
    explicit TfrmSplashFrm(const std::string& programFolder);
    ~TfrmSplashFrm() override;
    TfrmSplashFrm(const TfrmSplashFrm&) = delete;
    TfrmSplashFrm& operator=(const TfrmSplashFrm&) = delete;

    void Show();
    // Closes and destroys the window; the splash never shows again.
    void Close() override;

    HWND Handle() const { return FHandle; }

    // The form's framework event handler: the splash takes no page events.
    static void APPFRAME_STDCALL OnFormEvent(void* self, void* Sender, void* userContext, int32_t iEventType,
                                             const char* sEventName, IAppContext* aCallerParamInf);

private:
    struct TAnimation;

    void FormCreate(const std::string& imageFolder);
    void LoadAnimation(const std::string& imageFolder, const std::string& iniPath);
    void ShowFrame();
    void OnTimer();
    void Paint();
    static LRESULT CALLBACK StaticWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam);

    HWND FHandle = nullptr;
    TBgraImage FPicture; // what img1 shows over the form's colour, composed once
    TBgraImage FScreen;  // what the window shows: the picture, or the back buffer with the frame
    TSplashPlace FGifPlace;
    std::unique_ptr<TAnimation> FAnimation;
};
