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
#include <thread>

class TfrmSplashFrm final : public ISplashForm {
public:
    static constexpr wchar_t kClassName[] = L"TfrmSplashFrm";
    static constexpr wchar_t kCaption[] = L"frmSplashFrm";
    static constexpr UINT kAnimationTimerId = 1;

    // Starts the splash: the picture is read and the window made, hidden, on the splash's own
    // thread, with what the program folder's "Image\" holds, while start-up goes on.
    explicit TfrmSplashFrm(const std::string& programFolder);
    ~TfrmSplashFrm() override;
    TfrmSplashFrm(const TfrmSplashFrm&) = delete;
    TfrmSplashFrm& operator=(const TfrmSplashFrm&) = delete;

    // Shows the window once it is made; it paints and animates on its own thread.
    void Show();
    // Destroys the window and ends its thread, freeing its pictures; the splash never shows again.
    void Close() override;

    HWND Handle() const; // once the window is made (null when it could not be)

    // The form's framework event handler: the splash takes no page events.
    static void APPFRAME_STDCALL OnFormEvent(void* self, void* Sender, void* userContext, int32_t iEventType,
                                             const char* sEventName, IAppContext* aCallerParamInf);

private:
    struct TAnimation;

    // On the splash's thread.
    void Run(const std::string& programFolder);
    void Create(const std::string& programFolder);
    void FormCreate(const std::string& imageFolder);
    void LoadAnimation(const std::string& imageFolder, const std::string& iniPath);
    void ShowFrame();
    void OnTimer();
    void Paint();
    void FreePictures();
    const TBgraImage& Shown() const { return FAnimation ? FScreen : FPicture; }
    static LRESULT CALLBACK StaticWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam);

    HWND FHandle = nullptr; // written by the splash's thread before FReady is set
    UniqueHandle FReady;    // set once the window is made, or could not be
    std::thread FThread;
    // The splash's thread only.
    TBgraImage FPicture; // what img1 shows over the form's colour, composed once
    TBgraImage FScreen;  // with an animation: the back buffer, the picture with the frame
    TSplashPlace FGifPlace;
    std::unique_ptr<TAnimation> FAnimation;
};
