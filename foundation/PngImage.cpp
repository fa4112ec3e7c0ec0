#include "foundation/PngImage.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// Deflate's best case is 258 bytes from a code of one bit or so: about 1032 to 1. A picture needing
// more filtered bytes than this allows from the compressed data present cannot be complete.
constexpr uint64_t kMaxInflateRatio = 1040;
constexpr uint64_t kInflateSlack = 4096;

constexpr unsigned kAdamX0[7] = {0, 4, 0, 2, 0, 1, 0};
constexpr unsigned kAdamY0[7] = {0, 0, 4, 0, 2, 0, 1};
constexpr unsigned kAdamDx[7] = {8, 8, 4, 4, 2, 2, 1};
constexpr unsigned kAdamDy[7] = {8, 8, 8, 4, 4, 2, 2};

uint32_t ReadBe32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

uint16_t ReadBe16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

struct TSpan {
    const uint8_t* FData;
    std::size_t FSize;
};

struct THeader {
    uint32_t FWidth = 0;
    uint32_t FHeight = 0;
    unsigned FDepth = 0;
    unsigned FColourType = 0;
    bool FInterlaced = false;
    unsigned Channels() const {
        switch (FColourType) {
        case 2:
            return 3;
        case 4:
            return 2;
        case 6:
            return 4;
        default:
            return 1;
        }
    }
    std::size_t RowBytes(uint32_t width) const {
        return static_cast<std::size_t>((uint64_t(width) * Channels() * FDepth + 7) / 8);
    }
};

bool ValidDepth(unsigned colourType, unsigned depth) {
    switch (colourType) {
    case 0:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6:
        return depth == 8 || depth == 16;
    default:
        return false;
    }
}

// Inflates the IDAT spans in order, exactly as many bytes as asked each time.
class TInflater {
public:
    explicit TInflater(const std::vector<TSpan>& spans) : FSpans(spans) {
        std::memset(&FStream, 0, sizeof FStream);
        FReady = inflateInit(&FStream) == Z_OK;
    }
    ~TInflater() {
        if (FReady) inflateEnd(&FStream);
    }
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;

    bool Read(uint8_t* dst, std::size_t size, std::string& error) {
        if (!FReady) return Fail("PNG: cannot start zlib", error);
        FStream.next_out = dst;
        FStream.avail_out = static_cast<uInt>(size);
        while (FStream.avail_out > 0) {
            if (FEnded) return Fail("PNG: image data ends before the picture is complete", error);
            if (!Feed()) return Fail("PNG: image data ends before the picture is complete", error);
            const int rc = inflate(&FStream, Z_NO_FLUSH);
            if (rc == Z_STREAM_END) {
                FEnded = true;
            } else if (rc != Z_OK && !(rc == Z_BUF_ERROR && FStream.avail_in == 0)) {
                return Fail(std::string("PNG: corrupt image data (") + (FStream.msg ? FStream.msg : "zlib") +
                                ")",
                            error);
            }
        }
        return true;
    }

    // After the last row: the stream must end there, with nothing left over.
    bool Finish(std::string& error) {
        uint8_t extra = 0;
        while (!FEnded) {
            if (!Feed()) return Fail("PNG: image data is not properly ended", error);
            FStream.next_out = &extra;
            FStream.avail_out = 1;
            const int rc = inflate(&FStream, Z_NO_FLUSH);
            if (FStream.avail_out == 0) return Fail("PNG: more image data than the picture holds", error);
            if (rc == Z_STREAM_END) {
                FEnded = true;
            } else if (rc != Z_OK && !(rc == Z_BUF_ERROR && FStream.avail_in == 0)) {
                return Fail(std::string("PNG: corrupt image data (") + (FStream.msg ? FStream.msg : "zlib") +
                                ")",
                            error);
            }
        }
        return true;
    }

private:
    static bool Fail(const std::string& text, std::string& error) {
        error = text;
        return false;
    }
    // Makes input available; false when every span is used up.
    bool Feed() {
        while (FStream.avail_in == 0) {
            if (FNext == FSpans.size()) return false;
            const TSpan& s = FSpans[FNext++];
            FStream.next_in = const_cast<Bytef*>(s.FData);
            FStream.avail_in = static_cast<uInt>(s.FSize);
        }
        return true;
    }

    const std::vector<TSpan>& FSpans;
    std::size_t FNext = 0;
    z_stream FStream;
    bool FReady = false;
    bool FEnded = false;
};

uint8_t Paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
    if (pb <= pc) return static_cast<uint8_t>(b);
    return static_cast<uint8_t>(c);
}

bool Unfilter(unsigned filter, uint8_t* row, const uint8_t* prev, std::size_t size, std::size_t bpp) {
    switch (filter) {
    case 0:
        break;
    case 1:
        for (std::size_t i = bpp; i < size; ++i)
            row[i] = static_cast<uint8_t>(row[i] + row[i - bpp]);
        break;
    case 2:
        for (std::size_t i = 0; i < size; ++i)
            row[i] = static_cast<uint8_t>(row[i] + prev[i]);
        break;
    case 3:
        for (std::size_t i = 0; i < size; ++i) {
            const unsigned left = i >= bpp ? row[i - bpp] : 0;
            row[i] = static_cast<uint8_t>(row[i] + ((left + prev[i]) >> 1));
        }
        break;
    case 4:
        for (std::size_t i = 0; i < size; ++i) {
            const int left = i >= bpp ? row[i - bpp] : 0;
            const int upLeft = i >= bpp ? prev[i - bpp] : 0;
            row[i] = static_cast<uint8_t>(row[i] + Paeth(left, prev[i], upLeft));
        }
        break;
    default:
        return false;
    }
    return true;
}

struct TTransparency {
    bool FKey = false;          // grey or truecolour key present
    uint16_t FKeyValue[3] = {}; // grey, or red/green/blue, at the picture's bit depth
    uint8_t FPaletteAlpha[256];
    TTransparency() { std::memset(FPaletteAlpha, 255, sizeof FPaletteAlpha); }
};

// Sample `index` of a row of samples of `depth` bits.
unsigned Sample(const uint8_t* row, std::size_t index, unsigned depth) {
    switch (depth) {
    case 16:
        return ReadBe16(row + index * 2);
    case 8:
        return row[index];
    default: {
        const std::size_t bit = index * depth;
        const unsigned shift = 8 - depth - static_cast<unsigned>(bit % 8);
        return (row[bit / 8] >> shift) & ((1u << depth) - 1);
    }
    }
}

uint8_t To8(unsigned v, unsigned depth) {
    if (depth == 16) return static_cast<uint8_t>(v >> 8);
    if (depth == 8) return static_cast<uint8_t>(v);
    return static_cast<uint8_t>(v * 255 / ((1u << depth) - 1));
}

void ExpandRow(const THeader& h, const uint8_t* row, uint32_t count, const uint8_t (*palette)[3],
               const TTransparency& trns, uint8_t* out, std::size_t outStep) {
    const unsigned d = h.FDepth;
    for (uint32_t x = 0; x < count; ++x, out += outStep) {
        uint8_t r, g, b, a = 255;
        switch (h.FColourType) {
        case 0: {
            const unsigned v = Sample(row, x, d);
            r = g = b = To8(v, d);
            if (trns.FKey && v == trns.FKeyValue[0]) a = 0;
            break;
        }
        case 2: {
            const unsigned vr = Sample(row, x * 3, d), vg = Sample(row, x * 3 + 1, d),
                           vb = Sample(row, x * 3 + 2, d);
            r = To8(vr, d);
            g = To8(vg, d);
            b = To8(vb, d);
            if (trns.FKey && vr == trns.FKeyValue[0] && vg == trns.FKeyValue[1] && vb == trns.FKeyValue[2])
                a = 0;
            break;
        }
        case 3: {
            const unsigned i = Sample(row, x, d);
            r = palette[i][0];
            g = palette[i][1];
            b = palette[i][2];
            a = trns.FPaletteAlpha[i];
            break;
        }
        case 4:
            r = g = b = To8(Sample(row, x * 2, d), d);
            a = To8(Sample(row, x * 2 + 1, d), d);
            break;
        default:
            r = To8(Sample(row, x * 4, d), d);
            g = To8(Sample(row, x * 4 + 1, d), d);
            b = To8(Sample(row, x * 4 + 2, d), d);
            a = To8(Sample(row, x * 4 + 3, d), d);
            break;
        }
        out[0] = b;
        out[1] = g;
        out[2] = r;
        out[3] = a;
    }
}

std::string ChunkName(const uint8_t* type) {
    std::string name;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>(type[i]);
        name += ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) ? c : '?';
    }
    return name;
}

bool DecodePngChecked(const uint8_t* data, std::size_t size, TBgraImage& image, std::string& error,
                      const TImageLimits& limits) {
    if (size < 8 || std::memcmp(data, kSignature, 8) != 0) {
        error = "PNG: not a PNG file (bad signature)";
        return false;
    }
    THeader h;
    bool haveHeader = false, havePalette = false, haveTrns = false, haveEnd = false;
    bool idatDone = false; // an IDAT run has been followed by another chunk
    unsigned paletteCount = 0;
    uint8_t palette[256][3] = {};
    TTransparency trns;
    std::vector<TSpan> idat;
    uint64_t idatBytes = 0;

    std::size_t pos = 8;
    while (!haveEnd) {
        if (size - pos < 12) {
            error = "PNG: file ends before IEND";
            return false;
        }
        const uint32_t length = ReadBe32(data + pos);
        const uint8_t* type = data + pos + 4;
        if (length > 0x7FFFFFFFu || length > size - pos - 12) {
            error = "PNG: chunk " + ChunkName(type) + " runs past the end of the file";
            return false;
        }
        for (int i = 0; i < 4; ++i) {
            const uint8_t c = type[i];
            if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) {
                error = "PNG: invalid chunk type";
                return false;
            }
        }
        const uint8_t* body = type + 4;
        const uint32_t crc = static_cast<uint32_t>(crc32(0L, type, static_cast<uInt>(length + 4)));
        if (crc != ReadBe32(body + length)) {
            error = "PNG: CRC mismatch in chunk " + ChunkName(type);
            return false;
        }
        pos += 12 + static_cast<std::size_t>(length);
        const std::string name = ChunkName(type);
        if (!haveHeader && name != "IHDR") {
            error = "PNG: the first chunk is not IHDR";
            return false;
        }
        if (!idat.empty() && name != "IDAT") idatDone = true;

        if (name == "IHDR") {
            if (haveHeader) {
                error = "PNG: more than one IHDR";
                return false;
            }
            if (length != 13) {
                error = "PNG: IHDR has the wrong length";
                return false;
            }
            haveHeader = true;
            h.FWidth = ReadBe32(body);
            h.FHeight = ReadBe32(body + 4);
            h.FDepth = body[8];
            h.FColourType = body[9];
            if (h.FWidth == 0 || h.FHeight == 0 || h.FWidth > 0x7FFFFFFFu || h.FHeight > 0x7FFFFFFFu) {
                error = "PNG: invalid picture size";
                return false;
            }
            if (!ValidDepth(h.FColourType, h.FDepth)) {
                error = "PNG: invalid colour type " + std::to_string(h.FColourType) + " with bit depth " +
                        std::to_string(h.FDepth);
                return false;
            }
            if (body[10] != 0 || body[11] != 0 || body[12] > 1) {
                error = "PNG: unknown compression, filter or interlace method";
                return false;
            }
            h.FInterlaced = body[12] == 1;
            if (h.FWidth > limits.FMaxSide || h.FHeight > limits.FMaxSide ||
                uint64_t(h.FWidth) * h.FHeight > limits.FMaxPixels) {
                error = "PNG: picture of " + std::to_string(h.FWidth) + " x " + std::to_string(h.FHeight) +
                        " is larger than allowed";
                return false;
            }
        } else if (name == "PLTE") {
            if (havePalette || !idat.empty() || haveTrns) {
                error = "PNG: PLTE repeated or out of place";
                return false;
            }
            if (h.FColourType == 0 || h.FColourType == 4) {
                error = "PNG: PLTE in a grey picture";
                return false;
            }
            if (length == 0 || length % 3 != 0 || length / 3 > 256 ||
                (h.FColourType == 3 && length / 3 > (1u << h.FDepth))) {
                error = "PNG: PLTE has an invalid length";
                return false;
            }
            havePalette = true;
            paletteCount = length / 3;
            std::memcpy(palette, body, length);
        } else if (name == "tRNS") {
            if (haveTrns || !idat.empty()) {
                error = "PNG: tRNS repeated or out of place";
                return false;
            }
            haveTrns = true;
            if (h.FColourType == 3) {
                if (!havePalette || length > paletteCount) {
                    error = "PNG: tRNS before PLTE or longer than the palette";
                    return false;
                }
                std::memcpy(trns.FPaletteAlpha, body, length);
            } else if (h.FColourType == 0 || h.FColourType == 2) {
                const unsigned n = h.FColourType == 0 ? 1 : 3;
                if (length != n * 2) {
                    error = "PNG: tRNS has the wrong length";
                    return false;
                }
                trns.FKey = true;
                for (unsigned i = 0; i < n; ++i)
                    trns.FKeyValue[i] = ReadBe16(body + i * 2);
            } else {
                error = "PNG: tRNS in a picture with an alpha channel";
                return false;
            }
        } else if (name == "IDAT") {
            if (idatDone) {
                error = "PNG: IDAT chunks are not consecutive";
                return false;
            }
            if (h.FColourType == 3 && !havePalette) {
                error = "PNG: palette picture without PLTE";
                return false;
            }
            if (length > 0) idat.push_back({body, length});
            idatBytes += length;
            if (idat.empty()) idat.push_back({body, 0});
        } else if (name == "IEND") {
            haveEnd = true;
        } else if (!(type[0] & 0x20)) {
            error = "PNG: unknown critical chunk " + name;
            return false;
        }
    }
    if (idat.empty()) {
        error = "PNG: no image data";
        return false;
    }

    const unsigned passes = h.FInterlaced ? 7 : 1;
    uint64_t rawSize = 0;
    std::size_t maxRow = 0;
    uint32_t passW[7], passH[7];
    for (unsigned p = 0; p < passes; ++p) {
        const unsigned x0 = h.FInterlaced ? kAdamX0[p] : 0, y0 = h.FInterlaced ? kAdamY0[p] : 0;
        const unsigned dx = h.FInterlaced ? kAdamDx[p] : 1, dy = h.FInterlaced ? kAdamDy[p] : 1;
        passW[p] = h.FWidth > x0 ? (h.FWidth - x0 + dx - 1) / dx : 0;
        passH[p] = h.FHeight > y0 ? (h.FHeight - y0 + dy - 1) / dy : 0;
        if (passW[p] == 0 || passH[p] == 0) continue;
        const std::size_t rowBytes = h.RowBytes(passW[p]);
        maxRow = std::max(maxRow, rowBytes);
        rawSize += uint64_t(passH[p]) * (1 + rowBytes);
    }
    if (rawSize > idatBytes * kMaxInflateRatio + kInflateSlack) {
        error = "PNG: image data is far too short for the declared size";
        return false;
    }

    const std::size_t bpp = std::max<std::size_t>(1, h.Channels() * h.FDepth / 8);
    std::vector<uint8_t> prev(maxRow + 1), cur(maxRow + 1);
    image.FWidth = h.FWidth;
    image.FHeight = h.FHeight;
    image.FPixels.assign(std::size_t(h.FWidth) * h.FHeight * 4, 0);
    (void)paletteCount; // indices beyond the palette read its zero-filled tail, alpha from tRNS
    TInflater inflater(idat);
    for (unsigned p = 0; p < passes; ++p) {
        if (passW[p] == 0 || passH[p] == 0) continue;
        const unsigned x0 = h.FInterlaced ? kAdamX0[p] : 0, y0 = h.FInterlaced ? kAdamY0[p] : 0;
        const unsigned dx = h.FInterlaced ? kAdamDx[p] : 1, dy = h.FInterlaced ? kAdamDy[p] : 1;
        const std::size_t rowBytes = h.RowBytes(passW[p]);
        std::fill(prev.begin(), prev.end(), 0);
        for (uint32_t j = 0; j < passH[p]; ++j) {
            if (!inflater.Read(cur.data(), rowBytes + 1, error)) return false;
            if (!Unfilter(cur[0], cur.data() + 1, prev.data() + 1, rowBytes, bpp)) {
                error = "PNG: unknown row filter " + std::to_string(cur[0]);
                return false;
            }
            const std::size_t y = y0 + std::size_t(j) * dy;
            uint8_t* out = image.FPixels.data() + (y * h.FWidth + x0) * 4;
            ExpandRow(h, cur.data() + 1, passW[p], palette, trns, out, std::size_t(dx) * 4);
            std::swap(prev, cur);
        }
    }
    return inflater.Finish(error);
}

} // namespace

bool DecodePng(const uint8_t* data, std::size_t size, TBgraImage& image, std::string& error,
               const TImageLimits& limits) {
    image = TBgraImage();
    error.clear();
    bool ok = false;
    try {
        ok = DecodePngChecked(data, size, image, error, limits);
    } catch (const std::bad_alloc&) {
        error = "PNG: out of memory";
    }
    if (!ok) image = TBgraImage();
    return ok;
}
