#include "host/SplashLayout.h"

#include "host/HostConfig.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

TSplashPlace SplashAnimationPlace(int formWidth, int formHeight, int gifWidth, int gifHeight,
                                  std::string_view leftText, std::string_view topText) {
    const int centredLeft = (formWidth - gifWidth) / 2; // rounds toward zero
    const int centredTop = (formHeight - gifHeight) / 2;
    TSplashPlace place;
    place.FLeft = StrToIntDef(leftText, centredLeft);
    place.FTop = StrToIntDef(topText, centredTop);
    return place;
}

uint32_t SplashFrameDelayMs(uint32_t fileDelayMs, int32_t speed) {
    const uint64_t base = fileDelayMs < 20 ? 100 : fileDelayMs;
    const uint64_t percent = speed > 0 ? static_cast<uint64_t>(speed) : 100;
    const uint64_t shown = std::max<uint64_t>(10, base * 100 / percent);
    return static_cast<uint32_t>(std::min<uint64_t>(shown, std::numeric_limits<uint32_t>::max()));
}

TGifPlayback::TGifPlayback(std::vector<uint32_t> fileDelaysMs, int loopCount, int32_t speed)
    : FDelays(std::move(fileDelaysMs)), FLoopCount(loopCount), FSpeed(speed) {}

uint32_t TGifPlayback::DelayMs() const {
    if (FDelays.size() < 2) return 0;
    const bool lastShowing = FLoopCount != 0 && FLoopsDone >= std::max(FLoopCount, 0);
    if (lastShowing && FFrame + 1 == FDelays.size()) return 0;
    return SplashFrameDelayMs(FDelays[FFrame], FSpeed);
}

bool TGifPlayback::Advance() {
    if (DelayMs() == 0) return false;
    if (++FFrame == FDelays.size()) {
        FFrame = 0;
        if (FLoopsDone < std::numeric_limits<int>::max()) ++FLoopsDone;
    }
    return true;
}

TBgraImage SolidCanvas(uint32_t width, uint32_t height, uint32_t rgb) {
    TBgraImage canvas;
    canvas.FWidth = width;
    canvas.FHeight = height;
    canvas.FPixels.resize(static_cast<std::size_t>(width) * height * 4);
    const uint8_t pixel[4] = {static_cast<uint8_t>(rgb), static_cast<uint8_t>(rgb >> 8),
                              static_cast<uint8_t>(rgb >> 16), 255};
    for (std::size_t i = 0; i < canvas.FPixels.size(); i += 4)
        std::memcpy(&canvas.FPixels[i], pixel, 4);
    return canvas;
}

namespace {
// The part of a width x height rectangle at (left, top) that lies on the canvas, as canvas
// coordinates; empty when none does.
struct TClip {
    int X0, Y0, X1, Y1;
    bool Empty() const { return X0 >= X1 || Y0 >= Y1; }
};
TClip ClipTo(const TBgraImage& canvas, int left, int top, int width, int height) {
    const int64_t x1 = std::min<int64_t>(static_cast<int64_t>(left) + width, canvas.FWidth);
    const int64_t y1 = std::min<int64_t>(static_cast<int64_t>(top) + height, canvas.FHeight);
    return {std::max(left, 0), std::max(top, 0), static_cast<int>(std::max<int64_t>(x1, 0)),
            static_cast<int>(std::max<int64_t>(y1, 0))};
}
} // namespace

void DrawOver(TBgraImage& canvas, const TBgraImage& picture, int left, int top) {
    const TClip clip =
        ClipTo(canvas, left, top, static_cast<int>(picture.FWidth), static_cast<int>(picture.FHeight));
    if (clip.Empty()) return;
    for (int y = clip.Y0; y < clip.Y1; ++y) {
        uint8_t* to = &canvas.FPixels[(static_cast<std::size_t>(y) * canvas.FWidth + clip.X0) * 4];
        const uint8_t* from =
            &picture.FPixels[(static_cast<std::size_t>(y - top) * picture.FWidth + (clip.X0 - left)) * 4];
        for (int x = clip.X0; x < clip.X1; ++x, to += 4, from += 4) {
            const unsigned a = from[3];
            if (a == 0) continue;
            if (a == 255) {
                std::memcpy(to, from, 3);
                continue;
            }
            for (int c = 0; c < 3; ++c)
                to[c] = static_cast<uint8_t>((from[c] * a + to[c] * (255 - a) + 127) / 255);
        }
    }
}

void CopyRect(TBgraImage& to, const TBgraImage& from, int left, int top, int width, int height) {
    const TClip clip = ClipTo(to, left, top, width, height);
    if (clip.Empty() || from.FWidth != to.FWidth || from.FHeight != to.FHeight) return;
    for (int y = clip.Y0; y < clip.Y1; ++y) {
        const std::size_t at = (static_cast<std::size_t>(y) * to.FWidth + clip.X0) * 4;
        std::memcpy(&to.FPixels[at], &from.FPixels[at], static_cast<std::size_t>(clip.X1 - clip.X0) * 4);
    }
}
