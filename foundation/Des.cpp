#include "foundation/Crypto.h"

namespace {

// Bit numbers count from 1 at the most significant bit, as the standard's tables do.
constexpr std::uint8_t kInitialPerm[64] = {58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
                                           62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
                                           57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
                                           61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

constexpr std::uint8_t kRoundPerm[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                                         2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

constexpr std::uint8_t kKeyPerm1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
                                        10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
                                        63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
                                        14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

constexpr std::uint8_t kKeyPerm2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
                                        26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
                                        51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr std::uint8_t kKeyShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

constexpr std::uint8_t kSboxes[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8, 3, 10, 6, 12, 5,  9,  0,  7,  0,  15, 7,  4,  14, 2,
     13, 1,  10, 6, 12, 11, 9,  5, 3, 8,  4, 1,  14, 8,  13, 6,  2,  11, 15, 12, 9,  7,
     3,  10, 5,  0, 15, 12, 8,  2, 4, 9,  1, 7,  5,  11, 3,  14, 10, 0,  6,  13},
    {15, 1,  8,  14, 6,  11, 3,  4, 9,  7,  2, 13, 12, 0,  5,  10, 3,  13, 4,  7, 15, 2,
     8,  14, 12, 0,  1,  10, 6,  9, 11, 5,  0, 14, 7,  11, 10, 4,  13, 1,  5,  8, 12, 6,
     9,  3,  2,  15, 13, 8,  10, 1, 3,  15, 4, 2,  11, 6,  7,  12, 0,  5,  14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7, 11, 4,  2,  8,  13, 7, 0,  9, 3, 4,
     6,  10, 2,  8,  5, 14, 12, 11, 15, 1,  13, 6, 4,  9,  8,  15, 3,  0, 11, 1, 2, 12,
     5,  10, 14, 7,  1, 10, 13, 0,  6,  9,  8,  7, 4,  15, 14, 3,  11, 5, 2,  12},
    {7, 13, 14, 3, 0, 6,  9, 10, 1,  2, 8,  5, 11, 12, 4,  15, 13, 8,  11, 5, 6, 15,
     0, 3,  4,  7, 2, 12, 1, 10, 14, 9, 10, 6, 9,  0,  12, 11, 7,  13, 15, 1, 3, 14,
     5, 2,  8,  4, 3, 15, 0, 6,  10, 1, 13, 8, 9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4, 1,  7,  10, 11, 6, 8, 5,  3, 15, 13, 0,  14, 9,  14, 11, 2,  12, 4,  7,
     13, 1,  5, 0,  15, 10, 3,  9, 8, 6,  4, 2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,
     6,  3,  0, 14, 11, 8,  12, 7, 1, 14, 2, 13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9,  2,  6, 8,  0, 13, 3,  4,  14, 7,  5, 11, 10, 15, 4, 2, 7, 12,
     9,  5,  6,  1,  13, 14, 0, 11, 3, 8,  9,  14, 15, 5,  2, 8,  12, 3,  7, 0, 4, 10,
     1,  13, 11, 6,  4,  3,  2, 12, 9, 5,  15, 10, 11, 14, 1, 7,  6,  0,  8, 13},
    {4, 11, 2,  14, 15, 0,  8,  13, 3, 12, 9,  7, 5,  10, 6,  1,  13, 0,  11, 7,  4, 9,
     1, 10, 14, 3,  5,  12, 2,  15, 8, 6,  1,  4, 11, 13, 12, 3,  7,  14, 10, 15, 6, 8,
     0, 5,  9,  2,  6,  11, 13, 8,  1, 4,  10, 7, 9,  5,  0,  15, 14, 2,  3,  12},
    {13, 2, 8,  4, 6, 15, 11, 1,  10, 9,  3, 14, 5,  0,  12, 7,  1,  15, 13, 8, 10, 3,
     7,  4, 12, 5, 6, 11, 0,  14, 9,  2,  7, 11, 4,  1,  9,  12, 14, 2,  0,  6, 10, 13,
     15, 3, 5,  8, 2, 1,  14, 7,  4,  10, 8, 13, 15, 12, 9,  0,  3,  5,  6,  11}};

// Permutations and S-boxes folded into lookup tables at compile time: a 64-bit permutation is
// eight byte lookups, a round's S-boxes plus the P permutation eight lookups, and each round key
// eight lookups from the rotated halves.
struct TDesTables {
    std::uint64_t Initial[8][256];
    std::uint64_t Final[8][256];
    std::uint32_t Sp[8][64];
    std::uint64_t KeyPerm1[8][256]; // 64-bit key -> 56 bits C|D
    std::uint64_t KeyPerm2[8][128]; // seven-bit slices of C|D -> 48-bit round key
};

constexpr TDesTables MakeDesTables() {
    TDesTables t{};
    std::uint8_t finalPerm[64] = {};
    for (int i = 0; i < 64; ++i)
        finalPerm[kInitialPerm[i] - 1] = static_cast<std::uint8_t>(i + 1);
    for (int byteIndex = 0; byteIndex < 8; ++byteIndex) {
        for (int value = 0; value < 256; ++value) {
            std::uint64_t initial = 0;
            std::uint64_t finalBits = 0;
            std::uint64_t key56 = 0;
            for (int out = 0; out < 64; ++out) {
                int source = kInitialPerm[out] - 1;
                if (source / 8 == byteIndex && ((value >> (7 - source % 8)) & 1))
                    initial |= std::uint64_t(1) << (63 - out);
                source = finalPerm[out] - 1;
                if (source / 8 == byteIndex && ((value >> (7 - source % 8)) & 1))
                    finalBits |= std::uint64_t(1) << (63 - out);
            }
            for (int out = 0; out < 56; ++out) {
                int source = kKeyPerm1[out] - 1;
                if (source / 8 == byteIndex && ((value >> (7 - source % 8)) & 1))
                    key56 |= std::uint64_t(1) << (55 - out);
            }
            t.Initial[byteIndex][value] = initial;
            t.Final[byteIndex][value] = finalBits;
            t.KeyPerm1[byteIndex][value] = key56;
        }
    }
    for (int slice = 0; slice < 8; ++slice) {
        for (int value = 0; value < 128; ++value) {
            std::uint64_t key48 = 0;
            for (int out = 0; out < 48; ++out) {
                int source = kKeyPerm2[out] - 1;
                if (source / 7 == slice && ((value >> (6 - source % 7)) & 1))
                    key48 |= std::uint64_t(1) << (47 - out);
            }
            t.KeyPerm2[slice][value] = key48;
        }
    }
    for (int box = 0; box < 8; ++box) {
        for (int value = 0; value < 64; ++value) {
            int row = ((value >> 4) & 2) | (value & 1);
            int column = (value >> 1) & 0xf;
            std::uint32_t sOut = std::uint32_t(kSboxes[box][row * 16 + column]) << (28 - 4 * box);
            std::uint32_t permuted = 0;
            for (int out = 0; out < 32; ++out) {
                int source = kRoundPerm[out] - 1;
                if ((sOut >> (31 - source)) & 1) permuted |= std::uint32_t(1) << (31 - out);
            }
            t.Sp[box][value] = permuted;
        }
    }
    return t;
}

constexpr TDesTables kDes = MakeDesTables();

inline std::uint64_t Permute(const std::uint64_t (&table)[8][256], std::uint64_t block) {
    std::uint64_t result = 0;
    for (int i = 0; i < 8; ++i)
        result |= table[i][(block >> (56 - 8 * i)) & 0xff];
    return result;
}

inline std::uint32_t Rotr(std::uint32_t x, unsigned n) {
    return n == 0 ? x : (x >> n) | (x << (32 - n));
}

inline std::uint32_t RoundFunction(std::uint32_t right, const std::uint8_t* subkey) {
    // The expansion's six-bit groups are overlapping windows of the rotated half.
    std::uint32_t result = 0;
    for (int box = 0; box < 8; ++box)
        result |= kDes.Sp[box][(Rotr(right, (27 - 4 * box) & 31) & 0x3f) ^ subkey[box]];
    return result;
}

} // namespace

TDesEncryptor::TDesEncryptor(const std::uint8_t* key8) {
    std::uint64_t key = 0;
    for (int i = 0; i < 8; ++i)
        key = (key << 8) | key8[i];
    std::uint64_t cd = Permute(kDes.KeyPerm1, key);
    std::uint32_t c = static_cast<std::uint32_t>(cd >> 28) & 0xfffffff;
    std::uint32_t d = static_cast<std::uint32_t>(cd) & 0xfffffff;
    for (int round = 0; round < 16; ++round) {
        unsigned shift = kKeyShifts[round];
        c = ((c << shift) | (c >> (28 - shift))) & 0xfffffff;
        d = ((d << shift) | (d >> (28 - shift))) & 0xfffffff;
        std::uint64_t joined = (std::uint64_t(c) << 28) | d;
        std::uint64_t subkey = 0;
        for (int slice = 0; slice < 8; ++slice)
            subkey |= kDes.KeyPerm2[slice][(joined >> (49 - 7 * slice)) & 0x7f];
        for (int box = 0; box < 8; ++box)
            FSubkeys[round][box] = static_cast<std::uint8_t>((subkey >> (42 - 6 * box)) & 0x3f);
    }
}

void TDesEncryptor::EncryptBlock(const std::uint8_t* in, std::uint8_t* out) const {
    std::uint64_t block = 0;
    for (int i = 0; i < 8; ++i)
        block = (block << 8) | in[i];
    block = Permute(kDes.Initial, block);
    std::uint32_t left = static_cast<std::uint32_t>(block >> 32);
    std::uint32_t right = static_cast<std::uint32_t>(block);
    for (int round = 0; round < 16; ++round) {
        std::uint32_t next = left ^ RoundFunction(right, FSubkeys[round]);
        left = right;
        right = next;
    }
    block = Permute(kDes.Final, (std::uint64_t(right) << 32) | left);
    for (int i = 7; i >= 0; --i) {
        out[i] = static_cast<std::uint8_t>(block);
        block >>= 8;
    }
}
