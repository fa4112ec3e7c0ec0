#include "host/SplashFrm.h"

#include "foundation/AppLog.h"
#include "foundation/GifImage.h"
#include "foundation/PngImage.h"
#include "foundation/TextCodec.h"
#include "host/HostConfig.h"
#include "host/HostFiles.h"

#include <exception>
#include <stdexcept>
#include <vector>

namespace {
constexpr UINT kMsgFormNotice = 1124; // taken and left alone, as the form declares

// A splash is a screenful at most: pictures and animations beyond these are refused as damaged
// rather than spending the process's address space on them (the picture is held three times).
TImageLimits SplashLimits() {
    TImageLimits limits;
    limits.FMaxSide = 8192;
    limits.FMaxPixels = 16ull * 1024 * 1024;
    limits.FMaxTotalBytes = 128ull * 1024 * 1024;
    return limits;
}

std::string ReadIniText(const std::string& iniPath, const wchar_t* key) {
    wchar_t buffer[1024] = {};
    GetPrivateProfileStringW(L"flash", key, L"", buffer, static_cast<DWORD>(std::size(buffer)),
                             Widen(iniPath).c_str());
    return Utf16ToUtf8(reinterpret_cast<const char16_t*>(buffer));
}

// A picture file decoded, or false with the decoder's (or the file system's) reason.
bool LoadPicture(const std::string& path, TBgraImage& image, std::string& error) {
    std::string bytes;
    if (!ReadFileBytes(path, bytes)) {
        error = "the file cannot be read";
        return false;
    }
    return DecodePng(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), image, error,
                     SplashLimits());
}

uint32_t ButtonFaceRgb() {
    const COLORREF c = GetSysColor(COLOR_BTNFACE);
    return (static_cast<uint32_t>(GetRValue(c)) << 16) | (static_cast<uint32_t>(GetGValue(c)) << 8) |
           GetBValue(c);
}
} // namespace

struct TfrmSplashFrm::TAnimation {
    TGifAnimation FGif;
    TGifPlayback FPlayback;
};

// The built-in picture from the executable's resources, decoded; empty when it is missing.
static TBgraImage BuiltInSplashPicture() {
    TBgraImage image;
    HRSRC resource = FindResourceW(nullptr, L"SPLASH_PNG", MAKEINTRESOURCEW(10)); // RT_RCDATA
    HGLOBAL loaded = resource ? LoadResource(nullptr, resource) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return image;
    std::string error;
    if (!DecodePng(static_cast<const uint8_t*>(data), SizeofResource(nullptr, resource), image, error))
        WriteAppLog("Splash: the built-in picture cannot be decoded: " + error);
    return image;
}

static bool IsOpaque(const TBgraImage& image) {
    for (size_t i = 3; i < image.FPixels.size(); i += 4)
        if (image.FPixels[i] != 0xFF) return false;
    return true;
}

// The form's colour shows through where the picture is transparent; an opaque picture is its own
// composition.
static TBgraImage OverFormColour(TBgraImage picture) {
    if (IsOpaque(picture)) return picture;
    TBgraImage canvas = SolidCanvas(picture.FWidth, picture.FHeight, ButtonFaceRgb());
    DrawOver(canvas, picture, 0, 0);
    return canvas;
}

// Asks the splash's thread to destroy the window and end.
constexpr UINT kMsgEndSplash = WM_APP + 1;

TfrmSplashFrm::TfrmSplashFrm(const std::string& programFolder)
    : FReady(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (!FReady) throw std::runtime_error("Splash: CreateEvent failed");
    FThread = std::thread([this, programFolder] { Run(programFolder); });
}

TfrmSplashFrm::~TfrmSplashFrm() {
    Close();
}

HWND TfrmSplashFrm::Handle() const {
    WaitForSingleObject(FReady.Get(), INFINITE);
    return FHandle;
}

void TfrmSplashFrm::Run(const std::string& programFolder) {
    try {
        Create(programFolder);
    } catch (const std::exception& e) {
        WriteAppLog(std::string("Splash: ") + e.what());
    } catch (...) {
    }
    SetEvent(FReady.Get());
    if (FHandle == nullptr) {
        FreePictures();
        return;
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    FreePictures();
}

void TfrmSplashFrm::Create(const std::string& programFolder) {
    static const ATOM windowClass = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &TfrmSplashFrm::StaticWndProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
        wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        wc.lpszClassName = kClassName;
        return RegisterClassExW(&wc);
    }();
    (void)windowClass;
    try {
        FormCreate(programFolder + "Image\\");
        if (FAnimation) {
            FScreen = FPicture;
            ShowFrame();
        }
    } catch (const std::exception& e) { // out of memory: a plain splash is still a splash
        WriteAppLog(std::string("Splash: ") + e.what());
        FreePictures();
    }
    if (FPicture.FPixels.empty()) {
        FAnimation.reset();
        FPicture = SolidCanvas(kSplashDesignWidth, kSplashDesignHeight, ButtonFaceRgb());
    }
    const int width = static_cast<int>(FPicture.FWidth), height = static_cast<int>(FPicture.FHeight);
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, kCaption, WS_POPUP, left, top, width, height, nullptr,
                    nullptr, GetModuleHandleW(nullptr), this);
    if (FHandle && FAnimation && FAnimation->FPlayback.DelayMs() > 0)
        SetTimer(FHandle, kAnimationTimerId, FAnimation->FPlayback.DelayMs(), nullptr);
}

void TfrmSplashFrm::FreePictures() {
    FAnimation.reset();
    FPicture = TBgraImage();
    FScreen = TBgraImage();
}

void TfrmSplashFrm::FormCreate(const std::string& imageFolder) {
    const std::string picturePath = imageFolder + "Flash.png";
    const bool branded = FileExistsUtf8(picturePath);
    TBgraImage picture;
    if (branded) {
        std::string error;
        if (!LoadPicture(picturePath, picture, error)) {
            WriteAppLog("Splash: \"" + picturePath + "\" cannot be loaded (" + error +
                        "); the built-in picture stays");
            picture = TBgraImage();
        }
    }
    if (picture.FPixels.empty()) picture = BuiltInSplashPicture();
    // The form takes the picture's size.
    if (!picture.FPixels.empty()) FPicture = OverFormColour(std::move(picture));
    // Only a branded splash carries an animation.
    const std::string iniPath = imageFolder + "config.ini";
    if (branded && !FPicture.FPixels.empty() && FileExistsUtf8(iniPath)) LoadAnimation(imageFolder, iniPath);
}

void TfrmSplashFrm::LoadAnimation(const std::string& imageFolder, const std::string& iniPath) {
    const std::string name = ReadIniText(iniPath, L"gifImage");
    if (name.empty()) return;
    const std::string path = imageFolder + name;
    if (!FileExistsUtf8(path)) return;
    std::string bytes, error;
    auto animation = std::make_unique<TAnimation>(TAnimation{{}, TGifPlayback({}, -1, 0)});
    if (!ReadFileBytes(path, bytes)) {
        error = "the file cannot be read";
    } else {
        DecodeGif(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), animation->FGif, error,
                  SplashLimits());
    }
    if (animation->FGif.FFrames.empty()) {
        WriteAppLog("Splash: \"" + path + "\" cannot be loaded (" + error + "); no animation");
        return;
    }
    const TGifAnimation& gif = animation->FGif;
    std::vector<uint32_t> delays;
    for (const TGifFrame& frame : gif.FFrames)
        delays.push_back(frame.FDelayMs);
    const int32_t speed = StrToIntDef(ReadIniText(iniPath, L"AnimationSpeed"), kSplashDefaultSpeed);
    animation->FPlayback = TGifPlayback(std::move(delays), gif.FLoopCount, speed);
    FGifPlace = SplashAnimationPlace(static_cast<int>(FPicture.FWidth), static_cast<int>(FPicture.FHeight),
                                     static_cast<int>(gif.FWidth), static_cast<int>(gif.FHeight),
                                     ReadIniText(iniPath, L"gifLeft"), ReadIniText(iniPath, L"gifTop"));
    FAnimation = std::move(animation);
}

// Draws the current frame into the back buffer over the picture and asks for its rectangle.
void TfrmSplashFrm::ShowFrame() {
    const TGifAnimation& gif = FAnimation->FGif;
    const int width = static_cast<int>(gif.FWidth), height = static_cast<int>(gif.FHeight);
    CopyRect(FScreen, FPicture, FGifPlace.FLeft, FGifPlace.FTop, width, height);
    DrawOver(FScreen, gif.FFrames[FAnimation->FPlayback.Frame()].FImage, FGifPlace.FLeft, FGifPlace.FTop);
    if (FHandle) {
        const RECT rect{FGifPlace.FLeft, FGifPlace.FTop, FGifPlace.FLeft + width, FGifPlace.FTop + height};
        InvalidateRect(FHandle, &rect, FALSE);
    }
}

void TfrmSplashFrm::OnTimer() {
    KillTimer(FHandle, kAnimationTimerId);
    if (!FAnimation || !FAnimation->FPlayback.Advance()) return;
    ShowFrame();
    const uint32_t delay = FAnimation->FPlayback.DelayMs();
    if (delay > 0) SetTimer(FHandle, kAnimationTimerId, delay, nullptr);
}

void TfrmSplashFrm::Show() {
    if (const HWND window = Handle()) ShowWindowAsync(window, SW_SHOWNOACTIVATE);
}

void TfrmSplashFrm::Close() {
    if (!FThread.joinable()) return;
    if (const HWND window = Handle()) PostMessageW(window, kMsgEndSplash, 0, 0);
    FThread.join();
    FHandle = nullptr;
}

void TfrmSplashFrm::Paint() {
    PAINTSTRUCT ps;
    const TBgraImage& shown = Shown();
    HDC dc = BeginPaint(FHandle, &ps);
    if (dc && !shown.FPixels.empty()) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = static_cast<LONG>(shown.FWidth);
        info.bmiHeader.biHeight = -static_cast<LONG>(shown.FHeight); // top-down rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        SetDIBitsToDevice(dc, 0, 0, shown.FWidth, shown.FHeight, 0, 0, 0, shown.FHeight, shown.FPixels.data(),
                          &info, DIB_RGB_COLORS);
    }
    EndPaint(FHandle, &ps);
}

void APPFRAME_STDCALL TfrmSplashFrm::OnFormEvent(void*, void*, void*, int32_t, const char*, IAppContext*) {}

LRESULT CALLBACK TfrmSplashFrm::StaticWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        static_cast<TfrmSplashFrm*>(create->lpCreateParams)->FHandle = window;
    }
    auto* self = reinterpret_cast<TfrmSplashFrm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    try {
        return self->WndProc(message, wParam, lParam);
    } catch (const std::exception& e) {
        WriteAppLog(std::string("Splash: ") + e.what());
    } catch (...) {
    }
    return 0;
}

LRESULT TfrmSplashFrm::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1; // the picture covers the whole window
    case WM_PAINT:
        Paint();
        return 0;
    case WM_TIMER:
        if (wParam == kAnimationTimerId) {
            OnTimer();
            return 0;
        }
        break;
    case kMsgFormNotice:
        return 0;
    case kMsgEndSplash:
        KillTimer(FHandle, kAnimationTimerId);
        DestroyWindow(FHandle);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(FHandle, GWLP_USERDATA, 0);
        PostQuitMessage(0);
        break;
    default:
        break;
    }
    return DefWindowProcW(FHandle, message, wParam, lParam);
}
