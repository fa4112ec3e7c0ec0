// The GIF decoder against giflib: random animations written by giflib (every disposal method,
// transparency, global and local palettes of 1 to 8 bits, interlaced frames, frames reaching past
// the screen, loop counts), read back by giflib and composed frame by frame as a player shows them;
// an LZW stream that keeps 12-bit codes after its table is full; malformed files; mutated files.
#include "foundation/GifImage.h"

#include "LargestAllocation.h"
#include "support/Mutations.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using TBytes = std::vector<uint8_t>;

struct TFrameSpec {
    int FLeft = 0, FTop = 0, FWidth = 1, FHeight = 1;
    int FLocalBits = 0; // 0: the global palette
    bool FInterlaced = false;
    bool FControl = false; // a graphic control extension precedes the image
    int FDisposal = 0;
    int FDelay = 0;
    int FTransparent = -1;
};

struct TAnimSpec {
    int FWidth = 1, FHeight = 1;
    int FGlobalBits = 0; // 0: none
    int FLoop = -1;      // -1: no NETSCAPE2.0 block
    std::vector<TFrameSpec> FFrames;
};

int Write(GifFileType* gif, const GifByteType* data, int size) {
    auto* out = static_cast<TBytes*>(gif->UserData);
    out->insert(out->end(), data, data + size);
    return size;
}

struct TSource {
    const TBytes* FData;
    std::size_t FPos;
};
int Read(GifFileType* gif, GifByteType* data, int size) {
    auto* src = static_cast<TSource*>(gif->UserData);
    const std::size_t n = std::min<std::size_t>(std::size_t(size), src->FData->size() - src->FPos);
    std::memcpy(data, src->FData->data() + src->FPos, n);
    src->FPos += n;
    return static_cast<int>(n);
}

ColorMapObject* RandomMap(int bits, std::mt19937& rng) {
    std::vector<GifColorType> colours(std::size_t(1) << bits);
    for (auto& c : colours)
        c = {uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
    return GifMakeMapObject(1 << bits, colours.data());
}

TBytes WriteWithGiflib(const TAnimSpec& s, std::mt19937& rng) {
    TBytes out;
    int err = 0;
    GifFileType* gif = EGifOpen(&out, Write, &err);
    bool gif89 = s.FLoop >= 0;
    for (const auto& f : s.FFrames)
        gif89 = gif89 || f.FControl;
    EGifSetGifVersion(gif, gif89);
    ColorMapObject* global = s.FGlobalBits ? RandomMap(s.FGlobalBits, rng) : nullptr;
    EXPECT_EQ(EGifPutScreenDesc(gif, s.FWidth, s.FHeight, 8, 0, global), GIF_OK);
    if (s.FLoop >= 0) {
        const GifByteType loop[3] = {1, uint8_t(s.FLoop & 0xFF), uint8_t(s.FLoop >> 8)};
        EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
        EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0");
        EGifPutExtensionBlock(gif, 3, loop);
        EGifPutExtensionTrailer(gif);
    }
    for (const auto& f : s.FFrames) {
        if (f.FControl) {
            GraphicsControlBlock gcb{f.FDisposal, false, f.FDelay, f.FTransparent};
            GifByteType ext[4];
            const std::size_t n = EGifGCBToExtension(&gcb, ext);
            EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(n), ext);
        }
        ColorMapObject* local = f.FLocalBits ? RandomMap(f.FLocalBits, rng) : nullptr;
        const int colours = 1 << (f.FLocalBits ? f.FLocalBits : s.FGlobalBits);
        EXPECT_EQ(EGifPutImageDesc(gif, f.FLeft, f.FTop, f.FWidth, f.FHeight, f.FInterlaced, local), GIF_OK);
        std::vector<TBytes> rows(std::size_t(f.FHeight), TBytes(std::size_t(f.FWidth)));
        for (auto& row : rows)
            for (auto& px : row)
                px = (f.FTransparent >= 0 && rng() % 3 == 0) ? uint8_t(f.FTransparent)
                                                             : uint8_t(rng() % colours);
        std::vector<int> order;
        if (f.FInterlaced) {
            const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
            for (int p = 0; p < 4; ++p)
                for (int y = start[p]; y < f.FHeight; y += step[p])
                    order.push_back(y);
        } else {
            for (int y = 0; y < f.FHeight; ++y)
                order.push_back(y);
        }
        for (int y : order)
            EXPECT_EQ(EGifPutLine(gif, rows[std::size_t(y)].data(), f.FWidth), GIF_OK);
        GifFreeMapObject(local);
        // giflib keeps its own copy of a local palette and never frees it.
        GifFreeMapObject(gif->Image.ColorMap);
        gif->Image.ColorMap = nullptr;
    }
    EXPECT_EQ(EGifCloseFile(gif, &err), GIF_OK);
    GifFreeMapObject(global);
    return out;
}

// giflib reads the file; the frames are composed here the way a player shows them.
bool ComposeWithGiflib(const TBytes& file, TGifAnimation& anim) {
    TSource src{&file, 0};
    int err = 0;
    GifFileType* gif = DGifOpen(&src, Read, &err);
    if (!gif) return false;
    if (DGifSlurp(gif) != GIF_OK || gif->ImageCount == 0) {
        DGifCloseFile(gif, &err);
        return false;
    }
    anim = TGifAnimation();
    anim.FWidth = uint32_t(gif->SWidth);
    anim.FHeight = uint32_t(gif->SHeight);
    TBytes canvas(std::size_t(anim.FWidth) * anim.FHeight * 4, 0);
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& img = gif->SavedImages[i];
        for (int e = 0; e + 1 < img.ExtensionBlockCount; ++e) {
            const ExtensionBlock& b = img.ExtensionBlocks[e];
            const ExtensionBlock& next = img.ExtensionBlocks[e + 1];
            if (b.Function == APPLICATION_EXT_FUNC_CODE && b.ByteCount == 11 &&
                std::memcmp(b.Bytes, "NETSCAPE2.0", 11) == 0 && next.ByteCount >= 3 && next.Bytes[0] == 1)
                anim.FLoopCount = next.Bytes[1] | (next.Bytes[2] << 8);
        }
        GraphicsControlBlock gcb{0, false, 0, NO_TRANSPARENT_COLOR};
        DGifSavedExtensionToGCB(gif, i, &gcb);
        const ColorMapObject* map = img.ImageDesc.ColorMap ? img.ImageDesc.ColorMap : gif->SColorMap;
        if (!map) {
            DGifCloseFile(gif, &err);
            return false;
        }
        const TBytes before = canvas;
        const GifImageDesc& d = img.ImageDesc;
        for (int y = 0; y < d.Height; ++y)
            for (int x = 0; x < d.Width; ++x) {
                const int index = img.RasterBits[y * d.Width + x];
                const long cx = long(d.Left) + x, cy = long(d.Top) + y;
                if (index == gcb.TransparentColor || cx >= long(anim.FWidth) || cy >= long(anim.FHeight))
                    continue;
                if (index >= map->ColorCount) {
                    DGifCloseFile(gif, &err);
                    return false;
                }
                uint8_t* px = &canvas[(std::size_t(cy) * anim.FWidth + std::size_t(cx)) * 4];
                const GifColorType& c = map->Colors[index];
                px[0] = c.Blue;
                px[1] = c.Green;
                px[2] = c.Red;
                px[3] = 255;
            }
        TGifFrame frame;
        frame.FImage.FWidth = anim.FWidth;
        frame.FImage.FHeight = anim.FHeight;
        frame.FImage.FPixels = canvas;
        frame.FDelayMs = uint32_t(gcb.DelayTime) * 10;
        frame.FDisposal = unsigned(gcb.DisposalMode);
        anim.FFrames.push_back(frame);
        if (gcb.DisposalMode == DISPOSE_BACKGROUND) {
            for (int y = d.Top; y < d.Top + d.Height && y < int(anim.FHeight); ++y)
                for (int x = d.Left; x < d.Left + d.Width && x < int(anim.FWidth); ++x)
                    std::memset(&canvas[(std::size_t(y) * anim.FWidth + std::size_t(x)) * 4], 0, 4);
        } else if (gcb.DisposalMode == DISPOSE_PREVIOUS) {
            canvas = before;
        }
    }
    DGifCloseFile(gif, &err);
    return true;
}

void ExpectSame(const TGifAnimation& got, const TGifAnimation& expected) {
    EXPECT_EQ(got.FWidth, expected.FWidth);
    EXPECT_EQ(got.FHeight, expected.FHeight);
    EXPECT_EQ(got.FLoopCount, expected.FLoopCount);
    ASSERT_EQ(got.FFrames.size(), expected.FFrames.size());
    for (std::size_t i = 0; i < got.FFrames.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        EXPECT_EQ(got.FFrames[i].FDelayMs, expected.FFrames[i].FDelayMs);
        EXPECT_EQ(got.FFrames[i].FDisposal, expected.FFrames[i].FDisposal);
        EXPECT_EQ(got.FFrames[i].FImage.FWidth, expected.FWidth);
        ASSERT_TRUE(got.FFrames[i].FImage.FPixels == expected.FFrames[i].FImage.FPixels);
    }
}

TAnimSpec RandomAnimation(std::mt19937& rng) {
    TAnimSpec s;
    s.FWidth = 1 + int(rng() % 48);
    s.FHeight = 1 + int(rng() % 48);
    s.FGlobalBits = rng() % 4 == 0 ? 0 : 1 + int(rng() % 8);
    s.FLoop = rng() % 3 == 0 ? -1 : rng() % 2 ? 0 : int(rng() % 70000 & 0xFFFF);
    const int frames = 1 + int(rng() % 6);
    for (int i = 0; i < frames; ++i) {
        TFrameSpec f;
        // Mostly inside the screen, sometimes reaching past its right or bottom edge.
        f.FLeft = int(rng() % uint32_t(s.FWidth));
        f.FTop = int(rng() % uint32_t(s.FHeight));
        f.FWidth = 1 + int(rng() % uint32_t(s.FWidth - f.FLeft + (rng() % 4 == 0 ? 8 : 0)));
        f.FHeight = 1 + int(rng() % uint32_t(s.FHeight - f.FTop + (rng() % 4 == 0 ? 8 : 0)));
        f.FLocalBits = (s.FGlobalBits == 0 || rng() % 3 == 0) ? 1 + int(rng() % 8) : 0;
        f.FInterlaced = rng() % 3 == 0;
        f.FControl = rng() % 5 != 0;
        f.FDisposal = int(rng() % 4);
        f.FDelay = int(rng() % 300);
        const int colours = 1 << (f.FLocalBits ? f.FLocalBits : s.FGlobalBits);
        f.FTransparent = rng() % 3 == 0 ? -1 : int(rng() % uint32_t(colours));
        s.FFrames.push_back(f);
    }
    return s;
}

TEST(GifDecoder, ComposesEveryFrameAsGiflibReadsIt) {
    std::mt19937 rng(1208);
    int disposals[4] = {}, interlaced = 0, transparent = 0, local = 0, clipped = 0;
    for (int n = 0; n < 300; ++n) {
        SCOPED_TRACE("animation " + std::to_string(n));
        const TAnimSpec s = RandomAnimation(rng);
        for (const auto& f : s.FFrames) {
            if (f.FControl) ++disposals[f.FDisposal];
            interlaced += f.FInterlaced;
            transparent += f.FControl && f.FTransparent >= 0;
            local += f.FLocalBits != 0;
            clipped += f.FLeft + f.FWidth > s.FWidth || f.FTop + f.FHeight > s.FHeight;
        }
        const TBytes file = WriteWithGiflib(s, rng);
        TGifAnimation expected, got;
        ASSERT_TRUE(ComposeWithGiflib(file, expected));
        std::string error;
        ASSERT_TRUE(DecodeGif(file.data(), file.size(), got, error)) << error;
        ExpectSame(got, expected);
        if (HasFatalFailure()) return;
    }
    for (int d : disposals)
        EXPECT_GT(d, 20);
    EXPECT_GT(interlaced, 50);
    EXPECT_GT(transparent, 50);
    EXPECT_GT(local, 50);
    EXPECT_GT(clipped, 20);
}

// LZW codes packed least significant bit first.
class TBitWriter {
public:
    void Put(unsigned code, unsigned bits) {
        FAcc |= uint32_t(code) << FCount;
        FCount += bits;
        while (FCount >= 8) {
            FBytes.push_back(uint8_t(FAcc));
            FAcc >>= 8;
            FCount -= 8;
        }
    }
    TBytes Finish() {
        if (FCount) FBytes.push_back(uint8_t(FAcc));
        return FBytes;
    }

private:
    TBytes FBytes;
    uint32_t FAcc = 0;
    unsigned FCount = 0;
};

// An 8-bit LZW encoder that never sends a clear code after the first: once the table is full,
// it goes on with 12-bit codes and no new entries, as some encoders do.
TBytes LzwWithoutClears(const TBytes& pixels) {
    TBitWriter out;
    std::map<std::pair<int, uint8_t>, int> table;
    unsigned next = 258, size = 9;
    out.Put(256, size);
    int current = pixels[0];
    for (std::size_t i = 1; i < pixels.size(); ++i) {
        const auto it = table.find({current, pixels[i]});
        if (it != table.end()) {
            current = it->second;
            continue;
        }
        out.Put(unsigned(current), size);
        if (next < 4096) {
            table[{current, pixels[i]}] = int(next++);
            if (next > (1u << size) && size < 12) ++size;
        }
        current = pixels[i];
    }
    out.Put(unsigned(current), size);
    out.Put(257, size);
    return out.Finish();
}

TBytes GifFile(int width, int height, int globalBits, uint8_t codeSize, const TBytes& lzw,
               const TBytes& before = {}) {
    TBytes f = {'G',
                'I',
                'F',
                '8',
                '9',
                'a',
                uint8_t(width),
                uint8_t(width >> 8),
                uint8_t(height),
                uint8_t(height >> 8),
                uint8_t(globalBits ? 0x80 | (globalBits - 1) : 0),
                0,
                0};
    for (int i = 0; i < (globalBits ? 3 << globalBits : 0); ++i)
        f.push_back(uint8_t(i * 7));
    f.insert(f.end(), before.begin(), before.end());
    f.insert(f.end(), {0x2C, 0, 0, 0, 0, uint8_t(width), uint8_t(width >> 8), uint8_t(height),
                       uint8_t(height >> 8), 0, codeSize});
    for (std::size_t i = 0; i < lzw.size(); i += 255) {
        const std::size_t n = std::min<std::size_t>(255, lzw.size() - i);
        f.push_back(uint8_t(n));
        f.insert(f.end(), lzw.begin() + long(i), lzw.begin() + long(i + n));
    }
    f.insert(f.end(), {0, 0x3B});
    return f;
}

TEST(GifDecoder, KeepsTwelveBitCodesOnceTheTableIsFull) {
    std::mt19937 rng(99);
    TBytes pixels(300 * 200);
    for (auto& p : pixels)
        p = uint8_t(rng() % 5 == 0 ? rng() : rng() % 4); // repeats grow long table entries
    const TBytes file = GifFile(300, 200, 8, 8, LzwWithoutClears(pixels));
    TGifAnimation expected, got;
    ASSERT_TRUE(ComposeWithGiflib(file, expected));
    std::string error;
    ASSERT_TRUE(DecodeGif(file.data(), file.size(), got, error)) << error;
    ExpectSame(got, expected);
    EXPECT_EQ(got.FFrames[0].FImage.FPixels[0], uint8_t((3 * pixels[0] + 2) * 7)); // blue of the first colour
}

TEST(GifDecoder, RefusesMalformedFilesWithAReason) {
    // 2 x 2 with a 2-colour palette, min code size 2: clear(4) 0 1 0 1 end(5). Codes are 3 bits
    // wide until the third code after the clear fills the table to 8 entries, then 4.
    const auto codes = [](std::vector<unsigned> list) {
        TBitWriter w;
        for (std::size_t i = 0; i < list.size(); ++i)
            w.Put(list[i], i < 4 ? 3 : 4);
        return w.Finish();
    };
    const TBytes good = GifFile(2, 2, 1, 2, codes({4, 0, 1, 0, 1, 5}));
    TGifAnimation anim;
    std::string error;
    ASSERT_TRUE(DecodeGif(good.data(), good.size(), anim, error)) << error;
    EXPECT_EQ(anim.FLoopCount, -1);

    TBytes badSignature = good;
    badSignature[4] = '8';
    TBytes unknownBlock = good;
    unknownBlock.insert(unknownBlock.begin() + 13 + 6, 0x99);
    TImageLimits tight;
    tight.FMaxTotalBytes = 2 * 2 * 4 * 2; // two frames of 2 x 2
    TBytes threeFrames = good;
    threeFrames.pop_back();
    for (int i = 0; i < 2; ++i)
        threeFrames.insert(threeFrames.end(), good.begin() + 13 + 6, good.end() - 1);
    threeFrames.push_back(0x3B);
    const struct {
        const char* FName;
        TBytes FFile;
        const char* FReason;
        TImageLimits FLimits;
    } kCases[] = {
        {"signature", badSignature, "signature", {}},
        {"no palette", GifFile(2, 2, 0, 2, codes({4, 0, 1, 0, 1, 5})), "no palette", {}},
        {"index beyond the palette",
         GifFile(2, 2, 1, 2, codes({4, 0, 3, 0, 1, 5})),
         "beyond the palette",
         {}},
        {"first code not a colour", GifFile(2, 2, 1, 2, codes({4, 6, 0, 1, 5})), "invalid LZW code", {}},
        {"code past the table", GifFile(2, 2, 1, 2, codes({4, 0, 7, 5})), "invalid LZW code", {}},
        {"end code early", GifFile(2, 2, 1, 2, codes({4, 0, 1, 5})), "ends before the image is complete", {}},
        {"data runs out", GifFile(2, 2, 1, 2, codes({4, 0})), "ends before the image is complete", {}},
        {"code size", GifFile(2, 2, 1, 9, codes({4, 0, 1, 0, 1, 5})), "code size 9", {}},
        {"empty screen", GifFile(0, 2, 1, 2, codes({4, 0, 1, 0, 1, 5})), "logical screen", {}},
        {"screen over the limit", GifFile(16385, 1, 1, 2, codes({4, 0, 1, 0, 1, 5})), "logical screen", {}},
        {"unknown block", unknownBlock, "unknown block 153", {}},
        {"frames over the limit", threeFrames, "frames together", tight},
        {"no image", TBytes(good.begin(), good.begin() + 13 + 6), "ends before the trailer", {}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.FName);
        EXPECT_FALSE(DecodeGif(c.FFile.data(), c.FFile.size(), anim, error, c.FLimits));
        EXPECT_NE(error.find(c.FReason), std::string::npos) << error;
        EXPECT_TRUE(anim.FFrames.empty());
    }
    TBytes noImage(good.begin(), good.begin() + 13 + 6);
    noImage.push_back(0x3B);
    EXPECT_FALSE(DecodeGif(noImage.data(), noImage.size(), anim, error));
    EXPECT_NE(error.find("no image"), std::string::npos) << error;
    for (std::size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(DecodeGif(good.data(), n, anim, error)) << n;
    ASSERT_TRUE(DecodeGif(threeFrames.data(), threeFrames.size(), anim, error)) << error;
    EXPECT_EQ(anim.FFrames.size(), 3u);
}

TEST(GifDecoder, MutatedAndTruncatedFilesNeverCrashOrOverAllocate) {
    std::mt19937 rng(5);
    std::vector<TBytes> seeds;
    for (int n = 0; n < 40; ++n)
        seeds.push_back(WriteWithGiflib(RandomAnimation(rng), rng));
    TImageLimits limits;
    limits.FMaxSide = 128;
    limits.FMaxPixels = 64 * 64;
    limits.FMaxTotalBytes = 64 * 64 * 4 * 8;
    int accepted = 0;
    for (int round = 0; round < 4000; ++round) {
        TBytes file = seeds[rng() % seeds.size()];
        MutateBytes(file, rng, 'G');
        TGifAnimation anim;
        std::string error;
        TLargestAllocation largest;
        const bool ok = DecodeGif(file.data(), file.size(), anim, error, limits);
        EXPECT_LE(largest.Bytes(), limits.FMaxPixels * 4 + file.size() * 2 + 64 * 1024) << round;
        if (!ok) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        ++accepted;
        TGifAnimation expected;
        ASSERT_TRUE(ComposeWithGiflib(file, expected)) << "round " << round;
        ExpectSame(anim, expected);
        if (HasFatalFailure()) {
            ADD_FAILURE() << "round " << round;
            return;
        }
    }
    EXPECT_GT(accepted, 50);
}

} // namespace
