// Decoding time of the splash's pictures: the built-in picture (host/res/Splash.png, 505 x 395)
// and a 30-frame 240 x 160 animation (256 colours, LZW at full strength, a moving disc over a
// gradient, every frame a full image). Built natively and for Win32 (run under Wine), so that
// both figures come from the same code. Prints the median of many decodes of each.
// usage: imagedecode_bench [PATH_OF_Splash.png]
#include "foundation/GifImage.h"
#include "foundation/PngImage.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#ifndef APPFRAME_SPLASH_PNG
#define APPFRAME_SPLASH_PNG ""
#endif

namespace {

// A standard GIF LZW coder (variable code width up to 12 bits, clear when the table is full).
std::string Lzw(const std::vector<uint8_t>& indices) {
    const unsigned clear = 256, end = 257;
    std::string out;
    uint32_t bits = 0;
    int count = 0, width = 9;
    auto put = [&](unsigned code) {
        bits |= code << count;
        count += width;
        while (count >= 8) {
            out += static_cast<char>(bits & 0xFF);
            bits >>= 8;
            count -= 8;
        }
    };
    std::map<uint32_t, unsigned> table;
    unsigned next = 258;
    put(clear);
    unsigned prefix = indices[0];
    for (std::size_t i = 1; i < indices.size(); ++i) {
        const uint32_t key = (prefix << 8) | indices[i];
        auto found = table.find(key);
        if (found != table.end()) {
            prefix = found->second;
            continue;
        }
        put(prefix);
        if (next < 4096) {
            table[key] = next++;
            if (next > (1u << width) && width < 12) ++width;
        } else {
            put(clear);
            table.clear();
            next = 258;
            width = 9;
        }
        prefix = indices[i];
    }
    put(prefix);
    put(end);
    if (count > 0) out += static_cast<char>(bits & 0xFF);
    return out;
}

std::string Animation() {
    const int w = 240, h = 160, frames = 30;
    std::string gif = "GIF89a";
    auto word = [&](int v) { gif += {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; };
    word(w);
    word(h);
    gif += {static_cast<char>(0xF7), 0, 0};
    for (int i = 0; i < 256; ++i)
        gif += {static_cast<char>(i), static_cast<char>(255 - i), static_cast<char>(i / 2)};
    gif += "\x21\xFF\x0BNETSCAPE2.0\x03\x01";
    word(0);
    gif += '\0';
    for (int f = 0; f < frames; ++f) {
        gif += "\x21\xF9\x04\x04";
        word(4);
        gif += {0, 0};
        gif += ',';
        word(0);
        word(0);
        word(w);
        word(h);
        gif += {0, 8};
        std::vector<uint8_t> pixels(w * h);
        const int cx = 40 + f * 5, cy = 80;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool disc = (x - cx) * (x - cx) + (y - cy) * (y - cy) < 30 * 30;
                pixels[y * w + x] = static_cast<uint8_t>(disc ? 250 - (x + y) % 7 : (x + y) * 255 / (w + h));
            }
        const std::string data = Lzw(pixels);
        for (std::size_t at = 0; at < data.size(); at += 255) {
            const std::string block = data.substr(at, 255);
            gif += static_cast<char>(block.size());
            gif += block;
        }
        gif += '\0';
    }
    gif += ';';
    return gif;
}

template <class F>
double MedianMs(int runs, F&& decode) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        decode();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : APPFRAME_SPLASH_PNG;
    std::ifstream file(path, std::ios::binary);
    const std::string png((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::string gif = Animation();
    std::string error;
    TBgraImage picture;
    TGifAnimation animation;
    if (!DecodePng(reinterpret_cast<const uint8_t*>(png.data()), png.size(), picture, error)) {
        std::printf("cannot decode %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    if (!DecodeGif(reinterpret_cast<const uint8_t*>(gif.data()), gif.size(), animation, error)) {
        std::printf("cannot decode the generated animation: %s\n", error.c_str());
        return 1;
    }
    const double pngMs = MedianMs(
        50, [&] { DecodePng(reinterpret_cast<const uint8_t*>(png.data()), png.size(), picture, error); });
    const double gifMs = MedianMs(
        20, [&] { DecodeGif(reinterpret_cast<const uint8_t*>(gif.data()), gif.size(), animation, error); });
    std::printf("built-in splash picture %ux%u (%zu bytes): median %.2f ms\n", picture.FWidth,
                picture.FHeight, png.size(), pngMs);
    std::printf("animation %ux%u, %zu frames (%zu bytes): median %.2f ms (%.3f ms a frame)\n",
                animation.FWidth, animation.FHeight, animation.FFrames.size(), gif.size(), gifMs,
                gifMs / animation.FFrames.size());
    return 0;
}
