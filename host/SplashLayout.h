#pragma once
// What the splash shows and how its animation runs, apart from any window.
#include "foundation/BgraImage.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// The splash's design size, kept when no picture file replaces the built-in one.
constexpr int kSplashDesignWidth = 505;
constexpr int kSplashDesignHeight = 395;
constexpr int32_t kSplashDefaultSpeed = 250;

// The animation's place: centred in the splash unless the configuration gives an edge. Each
// division rounds toward zero, so an animation wider than the picture gets a negative left edge
// (width 100 in 95 gives -2).
struct TSplashPlace {
    int FLeft = 0;
    int FTop = 0;
};
TSplashPlace SplashAnimationPlace(int formWidth, int formHeight, int gifWidth, int gifHeight,
                                  std::string_view leftText, std::string_view topText);

// How long a frame stays on screen. The speed value is a percentage of the file's own timing:
// 100 plays the file as its author timed it, 250 (the default) 2.5 times as fast, 50 at half
// speed; zero or a negative value means 100. Frames whose file delay is under 20 ms (including
// none) count as 100 ms, as browsers show them. No frame stays less than 10 ms.
uint32_t SplashFrameDelayMs(uint32_t fileDelayMs, int32_t speed);

// Which frame shows, honouring the file's loop count (0: forever; N: N repeats after the first
// showing; -1: once). After the last showing the last frame stays.
class TGifPlayback {
public:
    TGifPlayback(std::vector<uint32_t> fileDelaysMs, int loopCount, int32_t speed);

    std::size_t Frame() const { return FFrame; }
    // How long the current frame stays before Advance; 0 when it stays for good.
    uint32_t DelayMs() const;
    // Moves to the next frame; false (and nothing changes) when the animation has ended.
    bool Advance();

private:
    std::vector<uint32_t> FDelays;
    int FLoopCount;
    int32_t FSpeed;
    std::size_t FFrame = 0;
    int FLoopsDone = 0;
};

// An opaque canvas of one colour (0x00RRGGBB).
TBgraImage SolidCanvas(uint32_t width, uint32_t height, uint32_t rgb);
// Draws `picture` (straight alpha) over the opaque `canvas` with its top-left corner at (left,
// top); parts outside the canvas are clipped. The canvas stays opaque.
void DrawOver(TBgraImage& canvas, const TBgraImage& picture, int left, int top);
// Copies the rectangle (left, top, width, height) of `from` into `to` (same size), clipped.
void CopyRect(TBgraImage& to, const TBgraImage& from, int left, int top, int width, int height);
