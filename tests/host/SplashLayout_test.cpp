#include "host/SplashLayout.h"

#include <gtest/gtest.h>

TEST(SplashLayout, AnimationPlaceCentresUnlessAnEdgeIsGivenRoundingTowardZero) {
    const TSplashPlace centred = SplashAnimationPlace(505, 395, 240, 160, "", "");
    EXPECT_EQ(centred.FLeft, 132); // 265 / 2
    EXPECT_EQ(centred.FTop, 117);  // 235 / 2
    const TSplashPlace leftOnly = SplashAnimationPlace(505, 395, 240, 160, "10", "");
    EXPECT_EQ(leftOnly.FLeft, 10);
    EXPECT_EQ(leftOnly.FTop, 117);
    const TSplashPlace wider = SplashAnimationPlace(95, 100, 100, 40, "x", " -5");
    EXPECT_EQ(wider.FLeft, -2); // -5 / 2, not -3
    EXPECT_EQ(wider.FTop, -5);
}

TEST(SplashLayout, SpeedIsAPercentageOfTheFilesTiming) {
    EXPECT_EQ(SplashFrameDelayMs(500, 250), 200u);
    EXPECT_EQ(SplashFrameDelayMs(500, 100), 500u);
    EXPECT_EQ(SplashFrameDelayMs(500, 50), 1000u);
    EXPECT_EQ(SplashFrameDelayMs(500, 0), 500u);
    EXPECT_EQ(SplashFrameDelayMs(500, -7), 500u);
    EXPECT_EQ(SplashFrameDelayMs(0, 100), 100u); // no delay in the file
    EXPECT_EQ(SplashFrameDelayMs(10, 250), 40u); // too short to be meant
    EXPECT_EQ(SplashFrameDelayMs(20, 1000000), 10u);
    EXPECT_EQ(SplashFrameDelayMs(655350, 1), 65535000u);
}

TEST(SplashLayout, PlaybackHonoursTheLoopCountAndStopsOnTheLastFrame) {
    auto frames = [](TGifPlayback p) {
        std::vector<std::size_t> seen{p.Frame()};
        while (seen.size() < 20 && p.Advance())
            seen.push_back(p.Frame());
        EXPECT_FALSE(seen.size() < 20 && p.Advance());
        return seen;
    };
    EXPECT_EQ(frames(TGifPlayback({100, 100, 100}, -1, 100)), (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(frames(TGifPlayback({100, 100}, 2, 100)), (std::vector<std::size_t>{0, 1, 0, 1, 0, 1}));
    EXPECT_EQ(frames(TGifPlayback({100, 100}, 0, 100)).size(), 20u); // forever
    TGifPlayback still({100}, 0, 100);
    EXPECT_EQ(still.DelayMs(), 0u); // a single picture needs no timer
    EXPECT_FALSE(still.Advance());
}

TEST(SplashLayout, DrawingOverBlendsClipsAndKeepsTheCanvasOpaque) {
    TBgraImage canvas = SolidCanvas(4, 2, 0x102030);
    TBgraImage picture;
    picture.FWidth = 3;
    picture.FHeight = 1;
    picture.FPixels = {255, 255, 255, 255, 0, 0, 0, 0, 200, 100, 0, 128};
    DrawOver(canvas, picture, 2, 1);  // the third pixel falls off the right edge
    DrawOver(canvas, picture, -2, 0); // only the third pixel lands, at (0, 0)
    const std::vector<uint8_t> expected = {
        124,  66,   8,    255, // half of (0, 100, 200) over (0x10, 0x20, 0x30)
        0x30, 0x20, 0x10, 255,  0x30, 0x20, 0x10, 255, 0x30, 0x20, 0x10, 255,  0x30, 0x20,
        0x10, 255,  0x30, 0x20, 0x10, 255,  255,  255, 255,  255,  0x30, 0x20, 0x10, 255};
    EXPECT_EQ(canvas.FPixels, expected);
}
