// The client's windows as a person sees them: the program runs on a private X server with Wine's
// normal display driver, and the screen is read back and compared pixel by pixel. Every picture
// taken is also saved under the build folder's "screenshots\" for people to look at.
#include "foundation/PngImage.h"
#include "foundation/TextCodec.h"
#include "host/ClientRig.h"
#include "stubs/AppFramework/StubControl.h"
#include "support/WinTestEnv.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <zlib.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace clienttest;

namespace {

// ---- Pictures in and out -----------------------------------------------------------------------

struct TShot {
    int Width = 0, Height = 0;
    std::vector<uint8_t> Bgra; // top-down
    COLORREF At(int x, int y) const {
        if (x < 0 || y < 0 || x >= Width || y >= Height) return CLR_INVALID;
        const uint8_t* p = &Bgra[(static_cast<size_t>(y) * Width + x) * 4];
        return RGB(p[2], p[1], p[0]);
    }
};

TShot CaptureScreen() {
    TShot shot;
    shot.Width = GetSystemMetrics(SM_CXSCREEN);
    shot.Height = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = shot.Width;
    info.bmiHeader.biHeight = -shot.Height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, shot.Width, shot.Height, screen, 0, 0, SRCCOPY);
    GdiFlush();
    shot.Bgra.assign(static_cast<uint8_t*>(bits), static_cast<uint8_t*>(bits) + shot.Width * shot.Height * 4);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return shot;
}

void PutChunk(std::string& png, const char* type, const std::string& data) {
    const uint32_t n = static_cast<uint32_t>(data.size());
    png += {static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
            static_cast<char>(n)};
    const std::string body = std::string(type, 4) + data;
    png += body;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    png += {static_cast<char>(crc >> 24), static_cast<char>(crc >> 16), static_cast<char>(crc >> 8),
            static_cast<char>(crc)};
}

// An RGBA PNG of a top-down BGRA buffer.
std::string EncodePng(int width, int height, const std::vector<uint8_t>& bgra) {
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw += '\0';
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = &bgra[(static_cast<size_t>(y) * width + x) * 4];
            raw += {static_cast<char>(p[2]), static_cast<char>(p[1]), static_cast<char>(p[0]),
                    static_cast<char>(p[3])};
        }
    }
    std::string packed(compressBound(static_cast<uLong>(raw.size())), '\0');
    uLongf packedSize = static_cast<uLongf>(packed.size());
    compress2(reinterpret_cast<Bytef*>(&packed[0]), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
              static_cast<uLong>(raw.size()), 6);
    packed.resize(packedSize);
    std::string header(13, '\0');
    for (int i = 0; i < 4; ++i) {
        header[i] = static_cast<char>(static_cast<uint32_t>(width) >> (24 - 8 * i));
        header[4 + i] = static_cast<char>(static_cast<uint32_t>(height) >> (24 - 8 * i));
    }
    header[8] = 8;
    header[9] = 6; // RGBA
    std::string png = "\x89PNG\r\n\x1a\n";
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", packed);
    PutChunk(png, "IEND", "");
    return png;
}

void SaveShot(const TShot& shot, const wchar_t* name) {
    std::vector<uint8_t> opaque = shot.Bgra;
    for (size_t i = 3; i < opaque.size(); i += 4)
        opaque[i] = 255;
    const std::wstring folder = TestBuildFolder() + L"screenshots\\";
    CreateFolders(folder);
    WriteWholeFile(folder + name, EncodePng(shot.Width, shot.Height, opaque));
}

// A GIF of four-colour frames. The LZW codes stay 3 bits wide: a clear code goes out before the
// code table could grow.
std::string EncodeGif(int width, int height, const std::vector<std::vector<uint8_t>>& frames,
                      const uint8_t (&palette)[4][3], int delayCs, int transparentIndex) {
    std::string gif = "GIF89a";
    auto word = [&](int v) { gif += {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; };
    word(width);
    word(height);
    gif += {static_cast<char>(0x81), 0, 0}; // global table of 4 colours
    for (const auto& c : palette)
        gif += {static_cast<char>(c[0]), static_cast<char>(c[1]), static_cast<char>(c[2])};
    gif += "\x21\xFF\x0BNETSCAPE2.0\x03\x01";
    word(0); // loop forever
    gif += '\0';
    for (const auto& frame : frames) {
        gif += {0x21, static_cast<char>(0xF9), 4, static_cast<char>(transparentIndex >= 0 ? 0x09 : 0x08)};
        word(delayCs);
        gif += {static_cast<char>(transparentIndex >= 0 ? transparentIndex : 0), 0};
        gif += ',';
        word(0);
        word(0);
        word(width);
        word(height);
        gif += {0, 2};
        std::string data;
        uint32_t bits = 0;
        int count = 0;
        auto put = [&](unsigned code) {
            bits |= code << count;
            count += 3;
            while (count >= 8) {
                data += static_cast<char>(bits & 0xFF);
                bits >>= 8;
                count -= 8;
            }
        };
        for (size_t i = 0; i < frame.size(); ++i) {
            if (i % 2 == 0) put(4);
            put(frame[i]);
        }
        put(5);
        if (count > 0) data += static_cast<char>(bits & 0xFF);
        for (size_t at = 0; at < data.size(); at += 255) {
            const std::string block = data.substr(at, 255);
            gif += static_cast<char>(block.size());
            gif += block;
        }
        gif += '\0';
    }
    gif += ';';
    return gif;
}

bool Near(COLORREF a, COLORREF b) {
    return a != CLR_INVALID && std::abs(GetRValue(a) - GetRValue(b)) <= 2 &&
           std::abs(GetGValue(a) - GetGValue(b)) <= 2 && std::abs(GetBValue(a) - GetBValue(b)) <= 2;
}

// ---- The client ------------------------------------------------------------------------------

// A client whose splash stays up: no page ever loads and the time-out is a minute away.
std::unique_ptr<TClientProcess> StartWithSplash(const TClientFolder& folder, HWND& splash) {
    folder.SetParams(R"({"params":{"DyncConfig":{"DyncParams":{"splashWait":"60000"}}}})");
    folder.SetScenario(R"({"steps":[{"after":60000,"do":"close"}]})");
    auto client = folder.Start();
    splash = nullptr;
    EXPECT_TRUE(WaitUntil([&] {
        splash = FindProcessWindow(client->Pid(), L"TfrmSplashFrm");
        return splash && IsWindowVisible(splash);
    }));
    Sleep(300); // let the X server catch up with the window's first painting
    return client;
}

RECT ScreenRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

constexpr COLORREF kLeftColour = RGB(200, 40, 40);
constexpr COLORREF kRightColour = RGB(40, 160, 60);
constexpr uint8_t kGifPalette[4][3] = {{0, 0, 0}, {30, 60, 220}, {240, 220, 30}, {255, 255, 255}};
constexpr COLORREF kBlue = RGB(30, 60, 220);
constexpr COLORREF kYellow = RGB(240, 220, 30);

// A 400 x 300 picture: red left half, green right half, a transparent 20 x 20 corner.
std::string TestPicture() {
    std::vector<uint8_t> bgra(400 * 300 * 4);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) {
            uint8_t* p = &bgra[(y * 400 + x) * 4];
            const COLORREF c = x < 200 ? kLeftColour : kRightColour;
            p[0] = GetBValue(c);
            p[1] = GetGValue(c);
            p[2] = GetRValue(c);
            p[3] = (x < 20 && y < 20) ? 0 : 255;
        }
    return EncodePng(400, 300, bgra);
}

} // namespace

TEST(SplashOnScreen, BrandedPictureWithItsAnimationPlayingAtTheConfiguredPlace) {
    TClientFolder folder(L"splash-branded");
    folder.Write(L"Image\\Flash.png", TestPicture());
    // 60 x 40: a blue frame, then a yellow one whose top-left 10 x 10 is transparent; 20 hundredths
    // each at speed 100.
    std::vector<uint8_t> blue(60 * 40, 1), yellow(60 * 40, 2);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            yellow[y * 60 + x] = 0;
    folder.Write(L"Image\\spin.gif", EncodeGif(60, 40, {blue, yellow}, kGifPalette, 20, 0));
    folder.Write(L"Image\\config.ini",
                 "[flash]\r\ngifImage=spin.gif\r\nAnimationSpeed=100\r\ngifLeft=30\r\n");
    HWND splash = nullptr;
    auto client = StartWithSplash(folder, splash);
    ASSERT_TRUE(splash);

    // The form takes the picture's size and sits in the middle of the screen.
    const RECT r = ScreenRect(splash);
    EXPECT_EQ(r.right - r.left, 400);
    EXPECT_EQ(r.bottom - r.top, 300);
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 400) / 2);
    EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 300) / 2);

    // The animation: left edge from the configuration, top centred ((300 - 40) / 2).
    const int gx = r.left + 30, gy = r.top + 130;
    TShot first = CaptureScreen(), second;
    SaveShot(first, L"splash-branded-1.png");
    EXPECT_TRUE(Near(first.At(r.left + 100, r.top + 60), kLeftColour));
    EXPECT_TRUE(Near(first.At(r.left + 300, r.top + 60), kRightColour));
    EXPECT_TRUE(Near(first.At(r.left + 5, r.top + 5), GetSysColor(COLOR_BTNFACE))) << "transparent corner";
    EXPECT_TRUE(Near(first.At(gx - 2, gy + 20), kLeftColour)) << "left of the animation";
    EXPECT_TRUE(Near(first.At(gx + 59, gy + 45), kLeftColour)) << "below the animation";
    const COLORREF firstFrame = first.At(gx + 30, gy + 20);
    EXPECT_TRUE(Near(firstFrame, kBlue) || Near(firstFrame, kYellow));

    // A moment later the other frame shows there, and nowhere else did anything change.
    ASSERT_TRUE(WaitUntil(
        [&] {
            second = CaptureScreen();
            return !Near(second.At(gx + 30, gy + 20), firstFrame);
        },
        5000));
    SaveShot(second, L"splash-branded-2.png");
    const TShot& yellowShot = Near(firstFrame, kYellow) ? first : second;
    const TShot& blueShot = Near(firstFrame, kYellow) ? second : first;
    EXPECT_TRUE(Near(blueShot.At(gx + 30, gy + 20), kBlue));
    EXPECT_TRUE(Near(blueShot.At(gx + 5, gy + 5), kBlue));
    EXPECT_TRUE(Near(yellowShot.At(gx + 30, gy + 20), kYellow));
    EXPECT_TRUE(Near(yellowShot.At(gx + 5, gy + 5), kLeftColour)) << "the picture through the frame";
    for (int x = r.left; x < r.right; x += 7) {
        for (int y = r.top; y < r.bottom; y += 7) {
            const bool inAnimation = x >= gx && x < gx + 60 && y >= gy && y < gy + 40;
            if (!inAnimation) {
                ASSERT_EQ(first.At(x, y), second.At(x, y)) << x - r.left << "," << y - r.top;
            }
        }
    }
}

TEST(SplashOnScreen, BuiltInPictureWhenNoneIsGivenOrTheGivenFilesAreDamaged) {
    TBgraImage builtIn;
    std::string error;
    const std::string art = ReadWholeFile(Widen("Z:" + std::string(std::getenv("APPFRAME_SOURCE_DIR"))) +
                                          L"\\host\\res\\Splash.png");
    ASSERT_TRUE(DecodePng(reinterpret_cast<const uint8_t*>(art.data()), art.size(), builtIn, error)) << error;
    auto expectBuiltIn = [&](const TShot& shot, const RECT& r) {
        EXPECT_EQ(r.right - r.left, static_cast<LONG>(builtIn.FWidth));
        EXPECT_EQ(r.bottom - r.top, static_cast<LONG>(builtIn.FHeight));
        for (int y = 3; y < 395; y += 31)
            for (int x = 5; x < 505; x += 37) {
                const uint8_t* p = &builtIn.FPixels[(y * builtIn.FWidth + x) * 4];
                ASSERT_TRUE(Near(shot.At(r.left + x, r.top + y), RGB(p[2], p[1], p[0]))) << x << "," << y;
            }
    };

    // No picture of its own; then a picture far wider than any screen (refused before it takes
    // the memory) and a damaged animation, which keep the built-in picture, leave the animation
    // out and say why in the daily log.
    for (const bool damaged : {false, true}) {
        TClientFolder folder(damaged ? L"splash-damaged" : L"splash-builtin");
        if (damaged) {
            folder.Write(L"Image\\Flash.png", EncodePng(9000, 2, std::vector<uint8_t>(9000 * 2 * 4, 0x80)));
            folder.Write(L"Image\\spin.gif", "GIF89a\x10");
            folder.Write(L"Image\\config.ini", "[flash]\r\ngifImage=spin.gif\r\n");
        }
        HWND splash = nullptr;
        auto client = StartWithSplash(folder, splash);
        ASSERT_TRUE(splash);
        const TShot shot = CaptureScreen();
        SaveShot(shot, damaged ? L"splash-damaged.png" : L"splash-builtin.png");
        expectBuiltIn(shot, ScreenRect(splash));
        const std::string log = folder.DailyLog();
        EXPECT_EQ(log.find("Flash.png\" cannot be loaded (PNG:") != std::string::npos, damaged) << log;
        EXPECT_EQ(log.find("spin.gif\" cannot be loaded") != std::string::npos, damaged) << log;
    }
}

TEST(ModuleWindowOnScreen, ShowsItsEmbeddedPage) {
    TClientFolder folder(L"module-page");
    folder.Write(L"MainFest.cfg", R"({"AppID":")" + folder.AppId() +
                                      R"(","extendModule":{"Modules":{"web":"ModWeb.ModuleInit"}}})");
    folder.CopyFromProgram(L"SampleModule.dll", L"ModWeb.dll");
    folder.Write(L"ModWeb.ini", "[module]\r\nwebControl=1\r\nwebUrl=http://module/page\r\n");
    HWND splash = nullptr;
    auto client = StartWithSplash(folder, splash);
    HWND module = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        module = FindProcessWindow(client->Pid(), L"SampleModuleWindow");
        return module && IsWindowVisible(module);
    }));
    Sleep(300);
    // The page fills the module window's client area: header band on top, the page below. Only
    // the part left of the splash is looked at.
    POINT origin{0, 0};
    ClientToScreen(module, &origin);
    const TShot shot = CaptureScreen();
    SaveShot(shot, L"module-window.png");
    EXPECT_TRUE(Near(shot.At(origin.x + 10, origin.y + 10), kStubHeaderColour));
    EXPECT_TRUE(Near(shot.At(origin.x + 10, origin.y + 200), kStubPageColour));
    EXPECT_TRUE(Near(shot.At(origin.x + 300, origin.y + 400), kStubPageColour));
}
