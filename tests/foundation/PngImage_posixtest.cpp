// The PNG decoder against libpng: pictures written by libpng in every colour type, bit depth and
// interlace method, with and without transparency, decoded by both; hand-made malformed files; and
// mutated files (CRCs mended, so the damage reaches the decoder) under the sanitizers.
#include "foundation/PngImage.h"

#include "LargestAllocation.h"
#include "support/Mutations.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using TBytes = std::vector<uint8_t>;

struct TPngSpec {
    uint32_t FWidth = 1;
    uint32_t FHeight = 1;
    int FColourType = 0;
    int FDepth = 8;
    bool FInterlaced = false;
    bool FTransparency = false; // tRNS: palette alpha, or a key colour that some pixels have
    unsigned FPaletteSize = 0;
};

int Channels(int colourType) {
    return colourType == 2 ? 3 : colourType == 4 ? 2 : colourType == 6 ? 4 : 1;
}

void Silent(png_structp, png_const_charp) {}
void Fail(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void Append(png_structp png, png_bytep data, png_size_t size) {
    auto* out = static_cast<TBytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}
void Flush(png_structp) {}

struct TSource {
    const TBytes* FData;
    std::size_t FPos;
};
void Consume(png_structp png, png_bytep data, png_size_t size) {
    auto* src = static_cast<TSource*>(png_get_io_ptr(png));
    if (src->FData->size() - src->FPos < size) png_error(png, "read past the end");
    std::memcpy(data, src->FData->data() + src->FPos, size);
    src->FPos += size;
}

void PutSample(TBytes& row, std::size_t index, int depth, unsigned v) {
    if (depth == 16) {
        row[index * 2] = static_cast<uint8_t>(v >> 8);
        row[index * 2 + 1] = static_cast<uint8_t>(v);
    } else if (depth == 8) {
        row[index] = static_cast<uint8_t>(v);
    } else {
        const std::size_t bit = index * depth;
        row[bit / 8] |= static_cast<uint8_t>(v << (8 - depth - bit % 8));
    }
}

// Random pixels in libpng's row format; rows, palette and key are kept for the writer.
struct TPngData {
    std::vector<TBytes> FRows;
    std::vector<png_color> FPalette;
    TBytes FPaletteAlpha;
    png_color_16 FKey{};
};

TPngData RandomPixels(const TPngSpec& s, std::mt19937& rng) {
    TPngData d;
    const unsigned maxv = (1u << s.FDepth) - 1;
    const int channels = Channels(s.FColourType);
    if (s.FColourType == 3) {
        for (unsigned i = 0; i < s.FPaletteSize; ++i)
            d.FPalette.push_back({uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
        if (s.FTransparency)
            for (unsigned i = 0; i < s.FPaletteSize / 2 + 1; ++i)
                d.FPaletteAlpha.push_back(uint8_t(rng()));
    }
    unsigned key[3] = {unsigned(rng()) & maxv, unsigned(rng()) & maxv, unsigned(rng()) & maxv};
    d.FKey.gray = d.FKey.red = static_cast<png_uint_16>(key[0]);
    d.FKey.green = static_cast<png_uint_16>(key[1]);
    d.FKey.blue = static_cast<png_uint_16>(key[2]);
    const std::size_t rowBytes = (std::size_t(s.FWidth) * channels * s.FDepth + 7) / 8;
    for (uint32_t y = 0; y < s.FHeight; ++y) {
        TBytes row(rowBytes, 0);
        for (uint32_t x = 0; x < s.FWidth; ++x) {
            const bool keyed = s.FTransparency && rng() % 4 == 0;
            for (int c = 0; c < channels; ++c) {
                unsigned v = s.FColourType == 3 ? unsigned(rng()) % s.FPaletteSize : unsigned(rng()) & maxv;
                // Near the key in one channel only, so a key compared by fewer bits would show.
                if (keyed) v = key[c] ^ (rng() % 3 == 0 && s.FDepth > 1 ? 1u : 0u);
                PutSample(row, std::size_t(x) * channels + c, s.FDepth, v);
            }
        }
        d.FRows.push_back(std::move(row));
    }
    return d;
}

TBytes WriteWithLibpng(const TPngSpec& s, TPngData& d, int level) {
    TBytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Silent);
    png_infop info = png_create_info_struct(png);
    std::vector<png_bytep> rows;
    for (auto& r : d.FRows)
        rows.push_back(r.data());
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        ADD_FAILURE() << "libpng could not write the picture";
        return {};
    }
    png_set_write_fn(png, &out, Append, Flush);
    png_set_IHDR(png, info, s.FWidth, s.FHeight, s.FDepth, s.FColourType,
                 s.FInterlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (s.FColourType == 3) png_set_PLTE(png, info, d.FPalette.data(), int(d.FPalette.size()));
    if (s.FTransparency) {
        if (s.FColourType == 3)
            png_set_tRNS(png, info, d.FPaletteAlpha.data(), int(d.FPaletteAlpha.size()), nullptr);
        else
            png_set_tRNS(png, info, nullptr, 0, &d.FKey);
    }
    png_text text{};
    text.compression = PNG_TEXT_COMPRESSION_zTXt;
    text.key = const_cast<char*>("Comment");
    text.text = const_cast<char*>("ancillary chunks are skipped");
    png_set_text(png, info, &text, 1);
    png_set_filter(png, 0, PNG_ALL_FILTERS);
    png_set_compression_level(png, level);
    png_set_compression_buffer_size(png, 97); // many small IDAT chunks
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// libpng's reading with the transformations that give straight BGRA at 8 bits.
bool ReadWithLibpng(const TBytes& file, TBgraImage& image, std::vector<png_bytep>& rows) {
    TSource src{&file, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Silent);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &src, Consume);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    image.FWidth = png_get_image_width(png, info);
    image.FHeight = png_get_image_height(png, info);
    if (png_get_rowbytes(png, info) != image.FWidth * 4) png_error(png, "unexpected row size");
    image.FPixels.assign(std::size_t(image.FWidth) * image.FHeight * 4, 0);
    rows.clear();
    for (uint32_t y = 0; y < image.FHeight; ++y)
        rows.push_back(image.FPixels.data() + std::size_t(y) * image.FWidth * 4);
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

bool LibpngReads(const TBytes& file, TBgraImage& image) {
    std::vector<png_bytep> rows;
    return ReadWithLibpng(file, image, rows);
}

std::vector<TPngSpec> EveryFormat() {
    struct {
        int FType;
        std::vector<int> FDepths;
    } const kFormats[] = {{0, {1, 2, 4, 8, 16}}, {2, {8, 16}}, {3, {1, 2, 4, 8}}, {4, {8, 16}}, {6, {8, 16}}};
    // 1x1 and 3x2 leave Adam7 passes empty; 37x21 fills every pass with ragged row ends.
    const uint32_t kSizes[][2] = {{1, 1}, {3, 2}, {9, 1}, {37, 21}};
    std::vector<TPngSpec> specs;
    for (const auto& f : kFormats)
        for (int depth : f.FDepths)
            for (bool interlaced : {false, true})
                for (bool transparency : {false, true}) {
                    if (transparency && (f.FType == 4 || f.FType == 6)) continue;
                    for (const auto& size : kSizes) {
                        TPngSpec s;
                        s.FWidth = size[0];
                        s.FHeight = size[1];
                        s.FColourType = f.FType;
                        s.FDepth = depth;
                        s.FInterlaced = interlaced;
                        s.FTransparency = transparency;
                        // A palette smaller than the depth allows, as most files have.
                        s.FPaletteSize = f.FType == 3 ? (1u << depth) - (depth > 1 ? 1 : 0) : 0;
                        specs.push_back(s);
                    }
                }
    return specs;
}

std::string Describe(const TPngSpec& s) {
    return "colour type " + std::to_string(s.FColourType) + ", depth " + std::to_string(s.FDepth) + ", " +
           std::to_string(s.FWidth) + "x" + std::to_string(s.FHeight) + (s.FInterlaced ? ", Adam7" : "") +
           (s.FTransparency ? ", tRNS" : "");
}

TEST(PngDecoder, MatchesLibpngOnEveryColourTypeDepthInterlaceAndTransparency) {
    std::mt19937 rng(20261208);
    int level = 0;
    for (const TPngSpec& s : EveryFormat()) {
        SCOPED_TRACE(Describe(s));
        TPngData d = RandomPixels(s, rng);
        const TBytes file = WriteWithLibpng(s, d, level++ % 10);
        TBgraImage expected, got;
        ASSERT_TRUE(LibpngReads(file, expected));
        std::string error;
        ASSERT_TRUE(DecodePng(file.data(), file.size(), got, error)) << error;
        EXPECT_EQ(got.FWidth, s.FWidth);
        EXPECT_EQ(got.FHeight, s.FHeight);
        ASSERT_EQ(got.FPixels.size(), expected.FPixels.size());
        for (std::size_t i = 0; i < got.FPixels.size(); ++i)
            ASSERT_EQ(got.FPixels[i], expected.FPixels[i]) << "byte " << i << " (pixel " << i / 4 << ")";
    }
}

// Hand-made files: a 2x2 RGBA picture and variations of it, each chunk with a correct CRC.
void PutBe32(TBytes& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8)
        out.push_back(static_cast<uint8_t>(v >> s));
}

TBytes Chunk(const std::string& type, const TBytes& body) {
    // Byte by byte: GCC 12's stringop checks misread the range inserts here at -O3.
    TBytes out;
    out.reserve(12 + body.size());
    PutBe32(out, static_cast<uint32_t>(body.size()));
    for (const char c : type)
        out.push_back(static_cast<uint8_t>(c));
    for (const uint8_t byte : body)
        out.push_back(byte);
    PutBe32(out, static_cast<uint32_t>(crc32(0, out.data() + 4, static_cast<uInt>(body.size() + 4))));
    return out;
}

TBytes Header(uint32_t w, uint32_t h, uint8_t depth, uint8_t type, uint8_t interlace = 0) {
    TBytes b;
    PutBe32(b, w);
    PutBe32(b, h);
    b.insert(b.end(), {depth, type, 0, 0, interlace});
    return b;
}

TBytes Deflate(const TBytes& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    TBytes out(size);
    compress(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
    out.resize(size);
    return out;
}

TBytes File(const std::vector<TBytes>& chunks) {
    TBytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (const auto& c : chunks)
        out.insert(out.end(), c.begin(), c.end());
    return out;
}

const TBytes kRgbaRows = {0, 1, 2, 3, 4, 5, 6, 7, 8, /*row 2, Paeth:*/ 4, 9, 10, 11, 12, 13, 14, 15, 16};

TEST(PngDecoder, RefusesMalformedFilesWithAReason) {
    const TBytes ihdr = Chunk("IHDR", Header(2, 2, 8, 6));
    const TBytes idat = Chunk("IDAT", Deflate(kRgbaRows));
    const TBytes iend = Chunk("IEND", {});
    const TBytes good = File({ihdr, idat, iend});
    TBgraImage image;
    std::string error;
    ASSERT_TRUE(DecodePng(good.data(), good.size(), image, error)) << error;
    // Row 2 is Paeth-filtered: its first pixel adds the one above, its second the one on its left.
    EXPECT_EQ(image.FPixels, (TBytes{3, 2, 1, 4, 7, 6, 5, 8, 14, 12, 10, 16, 29, 26, 23, 32}));

    TBytes badCrc = good;
    badCrc[8 + 25 + 10] ^= 1; // inside IDAT's data
    TBytes rows3 = kRgbaRows;
    rows3.insert(rows3.end(), kRgbaRows.begin(), kRgbaRows.begin() + 9);
    TBytes badFilter = kRgbaRows;
    badFilter[9] = 5;
    TBytes brokenZlib = Deflate(kRgbaRows);
    brokenZlib[2] ^= 0xFF;
    const TBytes palette = Chunk("PLTE", {1, 2, 3, 4, 5, 6});
    const TBytes idat1 = Chunk("IDAT", Deflate({0, 0x10, 0, 0x01}));
    const struct {
        const char* FName;
        TBytes FFile;
        const char* FReason;
    } kCases[] = {
        {"signature", TBytes(good.begin() + 1, good.end()), "signature"},
        {"CRC", badCrc, "CRC mismatch in chunk IDAT"},
        {"no IEND", File({ihdr, idat}), "ends before IEND"},
        {"first chunk", File({idat, ihdr, iend}), "first chunk"},
        {"colour type and depth", File({Chunk("IHDR", Header(2, 2, 4, 6)), idat, iend}), "bit depth 4"},
        {"interlace method", File({Chunk("IHDR", Header(2, 2, 8, 6, 2)), idat, iend}), "interlace"},
        {"over the side limit", File({Chunk("IHDR", Header(16385, 1, 8, 6)), idat, iend}), "larger than"},
        {"more data than rows", File({ihdr, Chunk("IDAT", Deflate(rows3)), iend}), "more image data"},
        {"fewer rows",
         File({ihdr, Chunk("IDAT", Deflate(TBytes(kRgbaRows.begin(), kRgbaRows.begin() + 9))), iend}),
         "ends before the picture"},
        {"filter", File({ihdr, Chunk("IDAT", Deflate(badFilter)), iend}), "row filter 5"},
        {"zlib", File({ihdr, Chunk("IDAT", brokenZlib), iend}), "corrupt image data"},
        {"split IDAT", File({ihdr, Chunk("IDAT", {}), Chunk("tEXt", {'a', 0}), idat, iend}),
         "not consecutive"},
        {"unknown critical", File({ihdr, Chunk("ABCD", {}), idat, iend}), "critical chunk ABCD"},
        {"palette missing", File({Chunk("IHDR", Header(2, 2, 4, 3)), idat1, iend}), "without PLTE"},
        {"palette in grey", File({Chunk("IHDR", Header(2, 2, 4, 0)), palette, idat1, iend}), "grey"},
        {"palette too long",
         File({Chunk("IHDR", Header(2, 2, 1, 3)), Chunk("PLTE", TBytes(9, 0)), idat1, iend}), "PLTE"},
        {"tRNS longer than palette",
         File({Chunk("IHDR", Header(2, 2, 4, 3)), palette, Chunk("tRNS", {1, 2, 3}), idat1, iend}), "tRNS"},
        {"tRNS with alpha", File({ihdr, Chunk("tRNS", {0, 1}), idat, iend}), "tRNS"},
        {"no image data", File({ihdr, iend}), "no image data"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.FName);
        EXPECT_FALSE(DecodePng(c.FFile.data(), c.FFile.size(), image, error));
        EXPECT_NE(error.find(c.FReason), std::string::npos) << error;
        EXPECT_TRUE(image.FPixels.empty());
    }
    // Cut anywhere, the file is refused.
    for (std::size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(DecodePng(good.data(), n, image, error)) << n;
}

TEST(PngDecoder, ASmallFileDeclaringAHugePictureAllocatesNothingOfItsSize) {
    // 16384 x 16384 is within the side limit; 16384 x 4096 within the pixel limit as well. A few
    // bytes of data cannot inflate to it, so the picture is never allocated.
    const TBytes file = File({Chunk("IHDR", Header(16384, 4096, 16, 6)),
                              Chunk("IDAT", Deflate(TBytes(1000, 0))), Chunk("IEND", {})});
    TBgraImage image;
    std::string error;
    TLargestAllocation largest;
    EXPECT_FALSE(DecodePng(file.data(), file.size(), image, error));
    EXPECT_NE(error.find("too short"), std::string::npos) << error;
    EXPECT_LT(largest.Bytes(), 64u * 1024);

    // Declared within the limits and backed by enough data: decoded, with the picture and two rows.
    const TBytes zeros(std::size_t(1 + 2000 * 3) * 300, 0);
    const TBytes big =
        File({Chunk("IHDR", Header(2000, 300, 8, 2)), Chunk("IDAT", Deflate(zeros)), Chunk("IEND", {})});
    largest.Reset();
    ASSERT_TRUE(DecodePng(big.data(), big.size(), image, error)) << error;
    EXPECT_EQ(largest.Bytes(), 2000u * 300 * 4);
}

// One CRC mended after a mutation, so the damage gets past the CRC check.
void MendCrcs(TBytes& file) {
    std::size_t pos = 8;
    while (file.size() >= pos + 12) {
        const uint32_t length = (uint32_t(file[pos]) << 24) | (uint32_t(file[pos + 1]) << 16) |
                                (uint32_t(file[pos + 2]) << 8) | file[pos + 3];
        if (length > file.size() - pos - 12) return;
        const uint32_t crc = static_cast<uint32_t>(crc32(0, file.data() + pos + 4, length + 4));
        for (int i = 0; i < 4; ++i)
            file[pos + 8 + length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
        pos += 12 + length;
    }
}

TEST(PngDecoder, MutatedAndTruncatedFilesNeverCrashOrOverAllocate) {
    std::mt19937 rng(7);
    std::vector<TBytes> seeds;
    for (const TPngSpec& s : EveryFormat()) {
        if (s.FWidth != 37) continue;
        TPngData d = RandomPixels(s, rng);
        seeds.push_back(WriteWithLibpng(s, d, 6));
    }
    TImageLimits limits;
    limits.FMaxSide = 256;
    limits.FMaxPixels = 128 * 128;
    int accepted = 0;
    for (int round = 0; round < 4000; ++round) {
        TBytes file = seeds[rng() % seeds.size()];
        MutateBytes(file, rng, 0x89);
        if (rng() % 4 != 0) MendCrcs(file);
        TBgraImage image;
        std::string error;
        TLargestAllocation largest;
        const bool ok = DecodePng(file.data(), file.size(), image, error, limits);
        EXPECT_LE(largest.Bytes(), limits.FMaxPixels * 4 + file.size() * 2 + 64 * 1024) << round;
        if (!ok) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        // What we accept, libpng reads the same way.
        ++accepted;
        TBgraImage expected;
        ASSERT_TRUE(LibpngReads(file, expected)) << "round " << round;
        ASSERT_EQ(image.FPixels, expected.FPixels) << "round " << round;
    }
    EXPECT_GT(accepted, 50); // the mended CRCs let damage through to the pixels, not only refusals
}

} // namespace
