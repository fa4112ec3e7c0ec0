#include "foundation/GifImage.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr unsigned kMaxCodes = 4096;

uint16_t ReadLe16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

class TReader {
public:
    TReader(const uint8_t* data, std::size_t size) : FData(data), FSize(size) {}
    bool Has(std::size_t n) const { return FSize - FPos >= n; }
    const uint8_t* Take(std::size_t n) {
        const uint8_t* p = FData + FPos;
        FPos += n;
        return p;
    }
    uint8_t Byte() { return FData[FPos++]; }
    uint8_t Peek() const { return FData[FPos]; }

    // Reads a run of sub-blocks up to its terminator; the data goes to `out` unless it is null.
    bool SubBlocks(std::vector<uint8_t>* out) {
        for (;;) {
            if (!Has(1)) return false;
            const std::size_t n = Byte();
            if (n == 0) return true;
            if (!Has(n)) return false;
            const uint8_t* p = Take(n);
            if (out) out->insert(out->end(), p, p + n);
        }
    }

private:
    const uint8_t* FData;
    std::size_t FSize;
    std::size_t FPos = 0;
};

struct TPalette {
    uint8_t FRgb[256][3];
    unsigned FCount = 0;
};

bool ReadPalette(TReader& in, unsigned packed, TPalette& palette) {
    palette.FCount = 2u << (packed & 7);
    if (!in.Has(palette.FCount * 3)) return false;
    std::memcpy(palette.FRgb, in.Take(palette.FCount * 3), palette.FCount * 3);
    return true;
}

struct TControl {
    unsigned FDisposal = 0;
    uint32_t FDelayMs = 0;
    bool FTransparent = false;
    unsigned FTransparentIndex = 0;
};

// Where one image's pixels go: the stream order of rows, clipping to the canvas.
class TImageSink {
public:
    TImageSink(TBgraImage& canvas, int left, int top, uint32_t width, uint32_t height, bool interlaced,
               const TPalette& palette, const TControl& control)
        : FCanvas(canvas), FLeft(left), FTop(top), FWidth(width), FHeight(height), FInterlaced(interlaced),
          FPalette(palette), FControl(control) {}

    bool Done() const { return FRowCount >= FHeight; }

    // False for a colour index beyond the palette.
    bool Put(unsigned index) {
        if (index >= FPalette.FCount) return false;
        if (!(FControl.FTransparent && index == FControl.FTransparentIndex)) {
            const int64_t x = int64_t(FLeft) + FX, y = int64_t(FTop) + FRow;
            if (x >= 0 && y >= 0 && x < FCanvas.FWidth && y < FCanvas.FHeight) {
                uint8_t* px = FCanvas.FPixels.data() + (std::size_t(y) * FCanvas.FWidth + std::size_t(x)) * 4;
                px[0] = FPalette.FRgb[index][2];
                px[1] = FPalette.FRgb[index][1];
                px[2] = FPalette.FRgb[index][0];
                px[3] = 255;
            }
        }
        if (++FX == FWidth) {
            FX = 0;
            ++FRowCount;
            NextRow();
        }
        return true;
    }

private:
    void NextRow() {
        if (!FInterlaced) {
            ++FRow;
            return;
        }
        static const uint32_t kStart[4] = {0, 4, 2, 1};
        static const uint32_t kStep[4] = {8, 8, 4, 2};
        FRow += kStep[FPass];
        while (FRow >= FHeight && FPass < 3) {
            ++FPass;
            FRow = kStart[FPass];
        }
    }

    TBgraImage& FCanvas;
    int FLeft, FTop;
    uint32_t FWidth, FHeight;
    bool FInterlaced;
    const TPalette& FPalette;
    const TControl& FControl;
    uint32_t FX = 0, FRow = 0, FRowCount = 0;
    unsigned FPass = 0;
};

bool DecodeLzw(const std::vector<uint8_t>& data, unsigned minCodeSize, TImageSink& sink, std::string& error) {
    if (sink.Done()) return true;
    uint16_t prefix[kMaxCodes];
    uint8_t suffix[kMaxCodes];
    uint8_t first[kMaxCodes];
    uint8_t stack[kMaxCodes];
    const unsigned clear = 1u << minCodeSize, end = clear + 1;
    for (unsigned i = 0; i < clear; ++i) {
        prefix[i] = 0;
        suffix[i] = first[i] = static_cast<uint8_t>(i);
    }
    unsigned codeSize = minCodeSize + 1, next = clear + 2;
    int prev = -1;
    uint32_t bits = 0;
    unsigned bitCount = 0;
    std::size_t pos = 0;
    for (;;) {
        while (bitCount < codeSize && pos < data.size()) {
            bits |= uint32_t(data[pos++]) << bitCount;
            bitCount += 8;
        }
        if (bitCount < codeSize) {
            error = "GIF: image data ends before the image is complete";
            return false;
        }
        const unsigned code = bits & ((1u << codeSize) - 1);
        bits >>= codeSize;
        bitCount -= codeSize;
        if (code == clear) {
            codeSize = minCodeSize + 1;
            next = clear + 2;
            prev = -1;
            continue;
        }
        if (code == end) {
            error = "GIF: image data ends before the image is complete";
            return false;
        }
        unsigned depth = 0;
        if (prev < 0) {
            if (code >= clear) {
                error = "GIF: invalid LZW code";
                return false;
            }
            stack[depth++] = static_cast<uint8_t>(code);
        } else {
            unsigned c = code;
            uint8_t tail = 0;
            bool repeat = false;
            if (code == next && next < kMaxCodes) {
                c = static_cast<unsigned>(prev);
                tail = first[prev];
                repeat = true;
            } else if (code > next || code == next) {
                error = "GIF: invalid LZW code";
                return false;
            }
            const uint8_t head = first[c];
            if (repeat) stack[depth++] = tail;
            while (c >= clear) {
                stack[depth++] = suffix[c];
                c = prefix[c];
            }
            stack[depth++] = static_cast<uint8_t>(c);
            if (next < kMaxCodes) {
                prefix[next] = static_cast<uint16_t>(prev);
                suffix[next] = head;
                first[next] = first[prev];
                ++next;
                if (next == (1u << codeSize) && codeSize < 12) ++codeSize;
            }
        }
        while (depth > 0) {
            if (!sink.Put(stack[--depth])) {
                error = "GIF: colour index beyond the palette";
                return false;
            }
            if (sink.Done()) return true;
        }
        prev = static_cast<int>(code);
    }
}

bool DecodeGifChecked(const uint8_t* data, std::size_t size, TGifAnimation& anim, std::string& error,
                      const TImageLimits& limits) {
    TReader in(data, size);
    if (!in.Has(13) || (std::memcmp(data, "GIF87a", 6) != 0 && std::memcmp(data, "GIF89a", 6) != 0)) {
        error = "GIF: not a GIF file (bad signature)";
        return false;
    }
    in.Take(6);
    const uint8_t* screen = in.Take(7);
    anim.FWidth = ReadLe16(screen);
    anim.FHeight = ReadLe16(screen + 2);
    if (anim.FWidth == 0 || anim.FHeight == 0 || anim.FWidth > limits.FMaxSide ||
        anim.FHeight > limits.FMaxSide || uint64_t(anim.FWidth) * anim.FHeight > limits.FMaxPixels) {
        error = "GIF: invalid or too large logical screen of " + std::to_string(anim.FWidth) + " x " +
                std::to_string(anim.FHeight);
        return false;
    }
    TPalette global;
    if ((screen[4] & 0x80) && !ReadPalette(in, screen[4], global)) {
        error = "GIF: file ends inside the global palette";
        return false;
    }
    const uint64_t frameBytes = uint64_t(anim.FWidth) * anim.FHeight * 4;
    TBgraImage canvas;
    TBgraImage saved;
    TControl control;
    std::vector<uint8_t> lzw;
    uint64_t imagePixels = 0;
    const std::string truncated = "GIF: file ends before the trailer";
    for (;;) {
        if (!in.Has(1)) {
            error = truncated;
            return false;
        }
        const uint8_t kind = in.Byte();
        if (kind == 0x3B) break;
        if (kind == 0x21) {
            if (!in.Has(1)) {
                error = truncated;
                return false;
            }
            const uint8_t label = in.Byte();
            if (label == 0xF9 && in.Has(1) && in.Peek() != 4) {
                error = "GIF: graphic control extension of the wrong size";
                return false;
            }
            std::vector<uint8_t> body;
            if (!in.SubBlocks(&body)) {
                error = truncated;
                return false;
            }
            if (label == 0xF9) {
                control.FDisposal = (body[0] >> 2) & 7;
                control.FTransparent = body[0] & 1;
                control.FDelayMs = uint32_t(ReadLe16(&body[1])) * 10;
                control.FTransparentIndex = body[3];
            } else if (label == 0xFF && body.size() >= 14 &&
                       (std::memcmp(body.data(), "NETSCAPE2.0", 11) == 0 ||
                        std::memcmp(body.data(), "ANIMEXTS1.0", 11) == 0) &&
                       body[11] == 1) {
                // The sub-blocks are joined: 11 bytes of name, then the 3-byte loop sub-block.
                anim.FLoopCount = ReadLe16(&body[12]);
            }
            continue;
        }
        if (kind != 0x2C) {
            error = "GIF: unknown block " + std::to_string(kind);
            return false;
        }
        if (!in.Has(9)) {
            error = truncated;
            return false;
        }
        const uint8_t* desc = in.Take(9);
        const int left = ReadLe16(desc), top = ReadLe16(desc + 2);
        const uint32_t width = ReadLe16(desc + 4), height = ReadLe16(desc + 6);
        TPalette local;
        if ((desc[8] & 0x80) && !ReadPalette(in, desc[8], local)) {
            error = "GIF: file ends inside a local palette";
            return false;
        }
        const TPalette* palette = (desc[8] & 0x80) ? &local : (screen[4] & 0x80) ? &global : nullptr;
        if (!palette) {
            error = "GIF: an image has no palette";
            return false;
        }
        // Pixels outside the screen are decoded as well: their count is bounded like the frames'.
        imagePixels += uint64_t(width) * height;
        if (uint64_t(width) * height > limits.FMaxPixels) {
            error = "GIF: image larger than allowed";
            return false;
        }
        if (imagePixels * 4 > limits.FMaxTotalBytes) {
            error = "GIF: the frames together are larger than allowed";
            return false;
        }
        if (!in.Has(1)) {
            error = truncated;
            return false;
        }
        const unsigned minCodeSize = in.Byte();
        if (minCodeSize < 1 || minCodeSize > 8) {
            error = "GIF: invalid LZW code size " + std::to_string(minCodeSize);
            return false;
        }
        lzw.clear();
        if (!in.SubBlocks(&lzw)) {
            error = truncated;
            return false;
        }
        if ((anim.FFrames.size() + 1) * frameBytes > limits.FMaxTotalBytes) {
            error = "GIF: the frames together are larger than allowed";
            return false;
        }
        if (canvas.FPixels.empty()) {
            canvas.FWidth = anim.FWidth;
            canvas.FHeight = anim.FHeight;
            canvas.FPixels.assign(std::size_t(frameBytes), 0);
        }
        if (control.FDisposal == 3) saved = canvas;
        TImageSink sink(canvas, left, top, width, height, (desc[8] & 0x40) != 0, *palette, control);
        if (!DecodeLzw(lzw, minCodeSize, sink, error)) return false;
        TGifFrame frame;
        frame.FImage = canvas;
        frame.FDelayMs = control.FDelayMs;
        frame.FDisposal = control.FDisposal;
        anim.FFrames.push_back(std::move(frame));
        if (control.FDisposal == 2) {
            const uint32_t x0 = std::min<uint32_t>(uint32_t(left), anim.FWidth),
                           x1 = uint32_t(std::min<uint64_t>(uint64_t(left) + width, anim.FWidth));
            const uint32_t y0 = std::min<uint32_t>(uint32_t(top), anim.FHeight),
                           y1 = uint32_t(std::min<uint64_t>(uint64_t(top) + height, anim.FHeight));
            for (uint32_t y = y0; y < y1; ++y)
                std::memset(canvas.FPixels.data() + (std::size_t(y) * anim.FWidth + x0) * 4, 0,
                            std::size_t(x1 - x0) * 4);
        } else if (control.FDisposal == 3) {
            canvas = std::move(saved);
            saved = TBgraImage();
        }
        control = TControl();
    }
    if (anim.FFrames.empty()) {
        error = "GIF: no image in the file";
        return false;
    }
    return true;
}

} // namespace

bool DecodeGif(const uint8_t* data, std::size_t size, TGifAnimation& animation, std::string& error,
               const TImageLimits& limits) {
    animation = TGifAnimation();
    error.clear();
    bool ok = false;
    try {
        ok = DecodeGifChecked(data, size, animation, error, limits);
    } catch (const std::bad_alloc&) {
        error = "GIF: out of memory";
    }
    if (!ok) animation = TGifAnimation();
    return ok;
}
