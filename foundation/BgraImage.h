#pragma once
// The picture the image decoders produce, and the limits every decoder works within.
//
// Pixels are 32-bit BGRA (bytes in the order blue, green, red, alpha, as a Windows DIB section
// of 32 bits per pixel holds them), rows top-down, no padding: the stride is FWidth * 4. Alpha is
// straight, not premultiplied, so that a picture can be compared or recomposed without loss;
// PremultiplyAlpha converts a picture in place for drawing with per-pixel alpha blending.
#include <cstddef>
#include <cstdint>
#include <vector>

struct TBgraImage {
    uint32_t FWidth = 0;
    uint32_t FHeight = 0;
    std::vector<uint8_t> FPixels; // FWidth * FHeight * 4 bytes
};

// A file declaring more than this is refused before anything of its size is allocated.
struct TImageLimits {
    uint32_t FMaxSide = 16384;                      // width and height each
    uint64_t FMaxPixels = 64ull * 1024 * 1024;      // width * height (256 MiB of BGRA)
    uint64_t FMaxTotalBytes = 256ull * 1024 * 1024; // all decoded frames of an animation together
};

inline void PremultiplyAlpha(std::vector<uint8_t>& bgra) {
    for (std::size_t i = 0; i + 3 < bgra.size(); i += 4) {
        const unsigned a = bgra[i + 3];
        if (a == 255) continue;
        for (std::size_t c = 0; c < 3; ++c)
            bgra[i + c] = static_cast<uint8_t>((bgra[i + c] * a + 127) / 255);
    }
}
