#include "support/Sha.h"

#include <cstring>

namespace {

inline std::uint32_t Rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
inline std::uint32_t Rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

inline std::uint32_t LoadBig32(const std::uint8_t* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

inline void StoreBig32(std::uint8_t* p, std::uint32_t v)
{
    p[0] = std::uint8_t(v >> 24);
    p[1] = std::uint8_t(v >> 16);
    p[2] = std::uint8_t(v >> 8);
    p[3] = std::uint8_t(v);
}

// Both hashes take 64-byte blocks and end with the same padding: a one bit,
// zeros, and the message's length in bits as a big-endian 64-bit number.
template <typename Compress>
void HashBlocks(const std::uint8_t* data, std::size_t size, Compress compress)
{
    const std::size_t whole = size / 64;
    for (std::size_t i = 0; i < whole; ++i) compress(data + i * 64);
    std::uint8_t tail[128] = {};
    const std::size_t rest = size % 64;
    if (rest) std::memcpy(tail, data + whole * 64, rest);
    tail[rest] = 0x80;
    const std::size_t tailBlocks = rest < 56 ? 1 : 2;
    const unsigned long long bits = static_cast<unsigned long long>(size) * 8;
    for (int i = 0; i < 8; ++i) tail[tailBlocks * 64 - 1 - i] = std::uint8_t(bits >> (8 * i));
    for (std::size_t i = 0; i < tailBlocks; ++i) compress(tail + i * 64);
}

constexpr std::uint32_t kSha256Rounds[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

} // namespace

Sha1Digest Sha1(const void* data, std::size_t size)
{
    std::uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    HashBlocks(static_cast<const std::uint8_t*>(data), size, [&h](const std::uint8_t* block) {
        std::uint32_t w[80];
        for (int i = 0; i < 16; ++i) w[i] = LoadBig32(block + 4 * i);
        for (int i = 16; i < 80; ++i) w[i] = Rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        auto step = [&](std::uint32_t f, std::uint32_t k, std::uint32_t word) {
            const std::uint32_t t = Rotl(a, 5) + f + e + k + word;
            e = d;
            d = c;
            c = Rotl(b, 30);
            b = a;
            a = t;
        };
        for (int i = 0; i < 20; ++i) step((b & c) | (~b & d), 0x5A827999, w[i]);
        for (int i = 20; i < 40; ++i) step(b ^ c ^ d, 0x6ED9EBA1, w[i]);
        for (int i = 40; i < 60; ++i) step((b & c) | (b & d) | (c & d), 0x8F1BBCDC, w[i]);
        for (int i = 60; i < 80; ++i) step(b ^ c ^ d, 0xCA62C1D6, w[i]);
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        h[4] += e;
    });
    Sha1Digest out;
    for (int i = 0; i < 5; ++i) StoreBig32(out.data() + 4 * i, h[i]);
    return out;
}

Sha256Digest Sha256(const void* data, std::size_t size)
{
    std::uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    HashBlocks(static_cast<const std::uint8_t*>(data), size, [&h](const std::uint8_t* block) {
        std::uint32_t w[64];
        for (int i = 0; i < 16; ++i) w[i] = LoadBig32(block + 4 * i);
        for (int i = 16; i < 64; ++i) {
            const std::uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const std::uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], k = h[7];
        for (int i = 0; i < 64; ++i) {
            const std::uint32_t t1 = k + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kSha256Rounds[i] + w[i];
            const std::uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            k = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        h[4] += e;
        h[5] += f;
        h[6] += g;
        h[7] += k;
    });
    Sha256Digest out;
    for (int i = 0; i < 8; ++i) StoreBig32(out.data() + 4 * i, h[i]);
    return out;
}
