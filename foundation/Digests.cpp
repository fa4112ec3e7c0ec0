#include "foundation/Crypto.h"
#include "foundation/TextCodec.h"

#include <cstring>

namespace {

inline std::uint32_t Rotl(std::uint32_t x, unsigned n) {
    return (x << n) | (x >> (32 - n));
}

// Feeds the message and its padding (0x80, zeros, 64-bit bit length) to compress() in 64-byte
// blocks; the length is little-endian for MD5 and big-endian for SHA-1.
template <typename TCompress>
void ForEachPaddedBlock(std::string_view bytes, bool bigEndianLength, TCompress compress) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    std::size_t whole = bytes.size() / 64 * 64;
    for (std::size_t offset = 0; offset < whole; offset += 64)
        compress(data + offset);
    std::uint8_t tail[128] = {};
    std::size_t rest = bytes.size() - whole;
    if (rest) std::memcpy(tail, data + whole, rest);
    tail[rest] = 0x80;
    std::size_t tailSize = rest < 56 ? 64 : 128;
    std::uint64_t bitLength = std::uint64_t(bytes.size()) * 8;
    for (int i = 0; i < 8; ++i) {
        std::size_t at = bigEndianLength ? tailSize - 1 - i : tailSize - 8 + i;
        tail[at] = static_cast<std::uint8_t>(bitLength >> (8 * i));
    }
    compress(tail);
    if (tailSize == 128) compress(tail + 64);
}

constexpr std::uint32_t kMd5Sines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr std::uint8_t kMd5Shifts[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

template <typename TMix>
inline void Md5Round(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d,
                     const std::uint32_t* m, int first, int step, int start, const std::uint8_t* shifts,
                     TMix mix) {
    for (int i = first; i < first + 16; ++i) {
        const int g = (start + step * i) % 16;
        const std::uint32_t rotated = Rotl(a + mix(b, c, d) + kMd5Sines[i] + m[g], shifts[i % 4]);
        a = d;
        d = c;
        c = b;
        b += rotated;
    }
}

void Md5Compress(std::uint32_t* state, const std::uint8_t* block) {
    std::uint32_t m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = std::uint32_t(block[4 * i]) | (std::uint32_t(block[4 * i + 1]) << 8) |
               (std::uint32_t(block[4 * i + 2]) << 16) | (std::uint32_t(block[4 * i + 3]) << 24);
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    using U = std::uint32_t;
    Md5Round(a, b, c, d, m, 0, 1, 0, kMd5Shifts[0], [](U x, U y, U z) { return z ^ (x & (y ^ z)); });
    Md5Round(a, b, c, d, m, 16, 5, 1, kMd5Shifts[1], [](U x, U y, U z) { return y ^ (z & (x ^ y)); });
    Md5Round(a, b, c, d, m, 32, 3, 5, kMd5Shifts[2], [](U x, U y, U z) { return x ^ y ^ z; });
    Md5Round(a, b, c, d, m, 48, 7, 0, kMd5Shifts[3], [](U x, U y, U z) { return y ^ (x | ~z); });
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

template <typename TMix>
inline void Sha1Round(std::uint32_t* v, const std::uint32_t* w, int first, std::uint32_t k, TMix mix) {
    std::uint32_t a = v[0], b = v[1], c = v[2], d = v[3], e = v[4];
    for (int i = first; i < first + 20; ++i) {
        const std::uint32_t temp = Rotl(a, 5) + mix(b, c, d) + e + k + w[i];
        e = d;
        d = c;
        c = Rotl(b, 30);
        b = a;
        a = temp;
    }
    v[0] = a;
    v[1] = b;
    v[2] = c;
    v[3] = d;
    v[4] = e;
}

void Sha1Compress(std::uint32_t* state, const std::uint8_t* block) {
    std::uint32_t w[80];
    for (int i = 0; i < 16; ++i)
        w[i] = (std::uint32_t(block[4 * i]) << 24) | (std::uint32_t(block[4 * i + 1]) << 16) |
               (std::uint32_t(block[4 * i + 2]) << 8) | block[4 * i + 3];
    for (int i = 16; i < 80; ++i)
        w[i] = Rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    std::uint32_t v[5] = {state[0], state[1], state[2], state[3], state[4]};
    using U = std::uint32_t;
    Sha1Round(v, w, 0, 0x5a827999, [](U b, U c, U d) { return d ^ (b & (c ^ d)); });
    Sha1Round(v, w, 20, 0x6ed9eba1, [](U b, U c, U d) { return b ^ c ^ d; });
    Sha1Round(v, w, 40, 0x8f1bbcdc, [](U b, U c, U d) { return (b & c) | (d & (b | c)); });
    Sha1Round(v, w, 60, 0xca62c1d6, [](U b, U c, U d) { return b ^ c ^ d; });
    for (int i = 0; i < 5; ++i)
        state[i] += v[i];
}

std::string ToHex(std::string_view bytes, const char* digits) {
    std::string hex(bytes.size() * 2, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        auto b = static_cast<std::uint8_t>(bytes[i]);
        hex[2 * i] = digits[b >> 4];
        hex[2 * i + 1] = digits[b & 0xf];
    }
    return hex;
}

template <std::size_t N>
std::string_view AsBytes(const std::array<std::uint8_t, N>& digest) {
    return {reinterpret_cast<const char*>(digest.data()), N};
}

} // namespace

std::string HexUpper(std::string_view bytes) {
    return ToHex(bytes, "0123456789ABCDEF");
}

std::string HexLower(std::string_view bytes) {
    return ToHex(bytes, "0123456789abcdef");
}

TMd5Digest Md5Digest(std::string_view bytes) {
    std::uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    ForEachPaddedBlock(bytes, false, [&](const std::uint8_t* block) { Md5Compress(state, block); });
    TMd5Digest digest;
    for (int i = 0; i < 16; ++i)
        digest[i] = static_cast<std::uint8_t>(state[i / 4] >> (8 * (i % 4)));
    return digest;
}

TSha1Digest Sha1Digest(std::string_view bytes) {
    std::uint32_t state[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};
    ForEachPaddedBlock(bytes, true, [&](const std::uint8_t* block) { Sha1Compress(state, block); });
    TSha1Digest digest;
    for (int i = 0; i < 20; ++i)
        digest[i] = static_cast<std::uint8_t>(state[i / 4] >> (24 - 8 * (i % 4)));
    return digest;
}

std::string Md5HexOfBytes(std::string_view bytes) {
    return HexLower(AsBytes(Md5Digest(bytes)));
}

std::string Md5Hex(std::string_view utf8Text) {
    return Md5HexOfBytes(Utf8ToAnsi(utf8Text));
}

std::string Sha1HexUpper(std::string_view bytes) {
    return HexUpper(AsBytes(Sha1Digest(bytes)));
}
