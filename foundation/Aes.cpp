#include "foundation/Crypto.h"

#include <cstring>

namespace {

constexpr std::uint8_t XTime(std::uint8_t x) {
    return static_cast<std::uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1b : 0));
}

constexpr std::uint8_t GfMul(std::uint8_t a, std::uint8_t b) {
    std::uint8_t product = 0;
    while (b) {
        if (b & 1) product ^= a;
        a = XTime(a);
        b >>= 1;
    }
    return product;
}

constexpr std::uint8_t Rotl8(std::uint8_t x, int n) {
    return static_cast<std::uint8_t>((x << n) | (x >> (8 - n)));
}

constexpr std::uint32_t Rotr32(std::uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

constexpr std::uint32_t Word(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
    return (std::uint32_t(b0) << 24) | (std::uint32_t(b1) << 16) | (std::uint32_t(b2) << 8) | b3;
}

// The S-box and the round tables that fold SubBytes, ShiftRows' byte choice and (Inv)MixColumns
// into four lookups per column, all built at compile time so no thread ever initialises them.
struct TAesTables {
    std::uint8_t Sbox[256];
    std::uint8_t InvSbox[256];
    std::uint32_t Te[4][256];
    std::uint32_t Td[4][256];
};

constexpr TAesTables MakeAesTables() {
    TAesTables t{};
    // Multiplicative inverses through powers of the generator 3.
    std::uint8_t expTable[256] = {};
    std::uint8_t logTable[256] = {};
    std::uint8_t x = 1;
    for (int i = 0; i < 255; ++i) {
        expTable[i] = x;
        logTable[x] = static_cast<std::uint8_t>(i);
        x = static_cast<std::uint8_t>(x ^ XTime(x));
    }
    for (int v = 0; v < 256; ++v) {
        std::uint8_t inverse = v == 0 ? 0 : expTable[(255 - logTable[v]) % 255];
        std::uint8_t s = static_cast<std::uint8_t>(inverse ^ Rotl8(inverse, 1) ^ Rotl8(inverse, 2) ^
                                                   Rotl8(inverse, 3) ^ Rotl8(inverse, 4) ^ 0x63);
        t.Sbox[v] = s;
        t.InvSbox[s] = static_cast<std::uint8_t>(v);
    }
    for (int v = 0; v < 256; ++v) {
        std::uint8_t s = t.Sbox[v];
        std::uint32_t e = Word(GfMul(s, 2), s, s, GfMul(s, 3));
        std::uint8_t d = t.InvSbox[v];
        std::uint32_t dw = Word(GfMul(d, 14), GfMul(d, 9), GfMul(d, 13), GfMul(d, 11));
        t.Te[0][v] = e;
        t.Td[0][v] = dw;
        for (int r = 1; r < 4; ++r) {
            t.Te[r][v] = Rotr32(e, 8 * r);
            t.Td[r][v] = Rotr32(dw, 8 * r);
        }
    }
    return t;
}

constexpr TAesTables kAes = MakeAesTables();

inline std::uint32_t Load32(const std::uint8_t* p) {
    return Word(p[0], p[1], p[2], p[3]);
}

inline void Store32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

inline std::uint32_t SubWord(std::uint32_t w) {
    return Word(kAes.Sbox[w >> 24], kAes.Sbox[(w >> 16) & 0xff], kAes.Sbox[(w >> 8) & 0xff],
                kAes.Sbox[w & 0xff]);
}

void ExpandKey(const std::uint8_t* key16, std::uint32_t* rk) {
    static constexpr std::uint8_t kRcon[10] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x1b, 0x36};
    for (int i = 0; i < 4; ++i)
        rk[i] = Load32(key16 + 4 * i);
    for (int i = 4; i < 44; ++i) {
        std::uint32_t temp = rk[i - 1];
        if (i % 4 == 0) temp = SubWord((temp << 8) | (temp >> 24)) ^ (std::uint32_t(kRcon[i / 4 - 1]) << 24);
        rk[i] = rk[i - 4] ^ temp;
    }
}

} // namespace

TAes128Encryptor::TAes128Encryptor(const std::uint8_t* key16) {
    ExpandKey(key16, FRoundKeys);
}

void TAes128Encryptor::EncryptBlock(const std::uint8_t* in, std::uint8_t* out) const {
    const std::uint32_t* rk = FRoundKeys;
    const auto& te = kAes.Te;
    std::uint32_t s0 = Load32(in) ^ rk[0];
    std::uint32_t s1 = Load32(in + 4) ^ rk[1];
    std::uint32_t s2 = Load32(in + 8) ^ rk[2];
    std::uint32_t s3 = Load32(in + 12) ^ rk[3];
    for (int round = 1; round < 10; ++round) {
        rk += 4;
        std::uint32_t t0 =
            te[0][s0 >> 24] ^ te[1][(s1 >> 16) & 0xff] ^ te[2][(s2 >> 8) & 0xff] ^ te[3][s3 & 0xff] ^ rk[0];
        std::uint32_t t1 =
            te[0][s1 >> 24] ^ te[1][(s2 >> 16) & 0xff] ^ te[2][(s3 >> 8) & 0xff] ^ te[3][s0 & 0xff] ^ rk[1];
        std::uint32_t t2 =
            te[0][s2 >> 24] ^ te[1][(s3 >> 16) & 0xff] ^ te[2][(s0 >> 8) & 0xff] ^ te[3][s1 & 0xff] ^ rk[2];
        std::uint32_t t3 =
            te[0][s3 >> 24] ^ te[1][(s0 >> 16) & 0xff] ^ te[2][(s1 >> 8) & 0xff] ^ te[3][s2 & 0xff] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    rk += 4;
    const std::uint8_t* sb = kAes.Sbox;
    Store32(out, Word(sb[s0 >> 24], sb[(s1 >> 16) & 0xff], sb[(s2 >> 8) & 0xff], sb[s3 & 0xff]) ^ rk[0]);
    Store32(out + 4, Word(sb[s1 >> 24], sb[(s2 >> 16) & 0xff], sb[(s3 >> 8) & 0xff], sb[s0 & 0xff]) ^ rk[1]);
    Store32(out + 8, Word(sb[s2 >> 24], sb[(s3 >> 16) & 0xff], sb[(s0 >> 8) & 0xff], sb[s1 & 0xff]) ^ rk[2]);
    Store32(out + 12, Word(sb[s3 >> 24], sb[(s0 >> 16) & 0xff], sb[(s1 >> 8) & 0xff], sb[s2 & 0xff]) ^ rk[3]);
}

TAes128Decryptor::TAes128Decryptor(const std::uint8_t* key16) {
    // Equivalent inverse cipher: round keys in reverse order, the inner ones passed through
    // InvMixColumns (Td of Sbox cancels the table's inverse S-box).
    std::uint32_t enc[44];
    ExpandKey(key16, enc);
    for (int round = 0; round <= 10; ++round)
        std::memcpy(FRoundKeys + 4 * round, enc + 4 * (10 - round), 4 * sizeof(std::uint32_t));
    const auto& td = kAes.Td;
    const std::uint8_t* sb = kAes.Sbox;
    for (int i = 4; i < 40; ++i) {
        std::uint32_t w = FRoundKeys[i];
        FRoundKeys[i] = td[0][sb[w >> 24]] ^ td[1][sb[(w >> 16) & 0xff]] ^ td[2][sb[(w >> 8) & 0xff]] ^
                        td[3][sb[w & 0xff]];
    }
}

void TAes128Decryptor::DecryptBlock(const std::uint8_t* in, std::uint8_t* out) const {
    const std::uint32_t* rk = FRoundKeys;
    const auto& td = kAes.Td;
    std::uint32_t s0 = Load32(in) ^ rk[0];
    std::uint32_t s1 = Load32(in + 4) ^ rk[1];
    std::uint32_t s2 = Load32(in + 8) ^ rk[2];
    std::uint32_t s3 = Load32(in + 12) ^ rk[3];
    for (int round = 1; round < 10; ++round) {
        rk += 4;
        std::uint32_t t0 =
            td[0][s0 >> 24] ^ td[1][(s3 >> 16) & 0xff] ^ td[2][(s2 >> 8) & 0xff] ^ td[3][s1 & 0xff] ^ rk[0];
        std::uint32_t t1 =
            td[0][s1 >> 24] ^ td[1][(s0 >> 16) & 0xff] ^ td[2][(s3 >> 8) & 0xff] ^ td[3][s2 & 0xff] ^ rk[1];
        std::uint32_t t2 =
            td[0][s2 >> 24] ^ td[1][(s1 >> 16) & 0xff] ^ td[2][(s0 >> 8) & 0xff] ^ td[3][s3 & 0xff] ^ rk[2];
        std::uint32_t t3 =
            td[0][s3 >> 24] ^ td[1][(s2 >> 16) & 0xff] ^ td[2][(s1 >> 8) & 0xff] ^ td[3][s0 & 0xff] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    rk += 4;
    const std::uint8_t* isb = kAes.InvSbox;
    Store32(out, Word(isb[s0 >> 24], isb[(s3 >> 16) & 0xff], isb[(s2 >> 8) & 0xff], isb[s1 & 0xff]) ^ rk[0]);
    Store32(out + 4,
            Word(isb[s1 >> 24], isb[(s0 >> 16) & 0xff], isb[(s3 >> 8) & 0xff], isb[s2 & 0xff]) ^ rk[1]);
    Store32(out + 8,
            Word(isb[s2 >> 24], isb[(s1 >> 16) & 0xff], isb[(s0 >> 8) & 0xff], isb[s3 & 0xff]) ^ rk[2]);
    Store32(out + 12,
            Word(isb[s3 >> 24], isb[(s2 >> 16) & 0xff], isb[(s1 >> 8) & 0xff], isb[s0 & 0xff]) ^ rk[3]);
}
