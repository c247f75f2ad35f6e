#include "support/Sha.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define MW_SHA_EXTENSIONS 1
#endif

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

// The digest of a state of N words: each word big-endian, in order.
template <std::size_t N>
std::array<std::uint8_t, 4 * N> DigestOf(const std::uint32_t (&h)[N])
{
    std::array<std::uint8_t, 4 * N> out;
    for (std::size_t i = 0; i < N; ++i) StoreBig32(out.data() + 4 * i, h[i]);
    return out;
}

// The end of a block: its working variables added into the state.
template <std::size_t N>
void AddInto(std::uint32_t (&h)[N], const std::uint32_t (&working)[N])
{
    for (std::size_t i = 0; i < N; ++i) h[i] += working[i];
}

// Both hashes take 64-byte blocks and end with the same padding: a one bit,
// zeros, and the message's length in bits as a big-endian 64-bit number.
// `compress(blocks, count)` takes runs of whole blocks.
template <typename Compress>
void HashBlocks(const std::uint8_t* data, std::size_t size, Compress compress)
{
    const std::size_t whole = size / 64;
    if (whole) compress(data, whole);
    std::uint8_t tail[128] = {};
    const std::size_t rest = size % 64;
    if (rest) std::memcpy(tail, data + whole * 64, rest);
    tail[rest] = 0x80;
    const std::size_t tailBlocks = rest < 56 ? 1 : 2;
    const unsigned long long bits = static_cast<unsigned long long>(size) * 8;
    for (int i = 0; i < 8; ++i) tail[tailBlocks * 64 - 1 - i] = std::uint8_t(bits >> (8 * i));
    compress(tail, tailBlocks);
}

// One block at a time, for the portable hashes.
template <typename Compress>
auto EachBlock(Compress compress)
{
    return [compress](const std::uint8_t* blocks, std::size_t count) mutable {
        for (std::size_t i = 0; i < count; ++i) compress(blocks + 64 * i);
    };
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

Sha1Digest Sha1Portable(const void* data, std::size_t size)
{
    std::uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    HashBlocks(static_cast<const std::uint8_t*>(data), size, EachBlock([&h](const std::uint8_t* block) {
        // The message schedule kept as a ring of sixteen words, the rounds
        // written out five at a time so that the variables never move.
        std::uint32_t w[16];
        for (int i = 0; i < 16; ++i) w[i] = LoadBig32(block + 4 * i);
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        auto word = [&w](int i) {
            if (i < 16) return w[i];
            const std::uint32_t next = Rotl(w[(i + 13) & 15] ^ w[(i + 8) & 15] ^ w[(i + 2) & 15] ^ w[i & 15], 1);
            w[i & 15] = next;
            return next;
        };
#define MW_SHA1_ROUND(f, k, v, u, x, y, z, i)                                                                           \
    z += Rotl(v, 5) + (f) + (k) + word(i);                                                                             \
    u = Rotl(u, 30);
#define MW_SHA1_FIVE(F, k, i)                                                                                          \
    MW_SHA1_ROUND(F(b, c, d), k, a, b, c, d, e, i)                                                                     \
    MW_SHA1_ROUND(F(a, b, c), k, e, a, b, c, d, i + 1)                                                                 \
    MW_SHA1_ROUND(F(e, a, b), k, d, e, a, b, c, i + 2)                                                                 \
    MW_SHA1_ROUND(F(d, e, a), k, c, d, e, a, b, i + 3)                                                                 \
    MW_SHA1_ROUND(F(c, d, e), k, b, c, d, e, a, i + 4)
#define MW_SHA1_CHOOSE(x, y, z) (((x) & (y)) | (~(x) & (z)))
#define MW_SHA1_PARITY(x, y, z) ((x) ^ (y) ^ (z))
#define MW_SHA1_MAJORITY(x, y, z) (((x) & (y)) | ((x) & (z)) | ((y) & (z)))
        for (int i = 0; i < 20; i += 5) { MW_SHA1_FIVE(MW_SHA1_CHOOSE, 0x5A827999u, i) }
        for (int i = 20; i < 40; i += 5) { MW_SHA1_FIVE(MW_SHA1_PARITY, 0x6ED9EBA1u, i) }
        for (int i = 40; i < 60; i += 5) { MW_SHA1_FIVE(MW_SHA1_MAJORITY, 0x8F1BBCDCu, i) }
        for (int i = 60; i < 80; i += 5) { MW_SHA1_FIVE(MW_SHA1_PARITY, 0xCA62C1D6u, i) }
#undef MW_SHA1_ROUND
#undef MW_SHA1_FIVE
#undef MW_SHA1_CHOOSE
#undef MW_SHA1_PARITY
#undef MW_SHA1_MAJORITY
        AddInto(h, {a, b, c, d, e});
    }));
    return DigestOf(h);
}

Sha256Digest Sha256(const void* data, std::size_t size)
{
    std::uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    HashBlocks(static_cast<const std::uint8_t*>(data), size, EachBlock([&h](const std::uint8_t* block) {
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
        AddInto(h, {a, b, c, d, e, f, g, k});
    }));
    return DigestOf(h);
}

#ifdef MW_SHA_EXTENSIONS
namespace {

// True when the processor has the SHA extensions (and the SSE levels they come with).
bool HasShaExtensions()
{
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_SSSE3) || !(c & bit_SSE4_1)) return false;
    return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_SHA);
}

#define MW_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

// Four rounds with the function of round 20 * F on, then the next four
// rounds' E (from these rounds' A) with the message words that follow.
template <int F>
MW_SHA_TARGET inline void FourRounds(__m128i& abcd, __m128i& e, const __m128i& next)
{
    const __m128i before = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, F);
    e = _mm_sha1nexte_epu32(before, next);
}

// The words of group `g` (rounds 4g to 4g + 3) from the sixteen before them.
MW_SHA_TARGET inline __m128i Schedule(const __m128i (&m)[4], int g)
{
    const __m128i partial = _mm_xor_si128(_mm_sha1msg1_epu32(m[(g + 0) & 3], m[(g + 1) & 3]), m[(g + 2) & 3]);
    return _mm_sha1msg2_epu32(partial, m[(g + 3) & 3]);
}

// The words of group `g`: loaded for the first four, scheduled from the four groups before for the others.
MW_SHA_TARGET inline const __m128i& Words(__m128i (&m)[4], int g)
{
    if (g >= 4) m[g & 3] = Schedule(m, g);
    return m[g & 3];
}

// Compresses `count` blocks into the state `h`.
MW_SHA_TARGET void Sha1BlocksExtensions(std::uint32_t* h, const std::uint8_t* blocks, std::size_t count)
{
    // A in the high lane of ABCD, E in the high lane of its own register;
    // message words big-endian, the first in the high lane.
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h)), 0x1B);
    __m128i eState = _mm_set_epi32(static_cast<int>(h[4]), 0, 0, 0);
    const __m128i reverse = _mm_set_epi64x(0x0001020304050607ll, 0x08090A0B0C0D0E0Fll);
    for (std::size_t b = 0; b < count; ++b) {
        const std::uint8_t* block = blocks + 64 * b;
        const __m128i abcdBefore = abcd, eBefore = eState;
        __m128i m[4];
        for (int i = 0; i < 4; ++i)
            m[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i)), reverse);
        __m128i e = _mm_add_epi32(eState, m[0]);
        // Group g takes m[g & 3]; the words of group g + 1 are made before its E is.
        for (int g = 0; g < 5; ++g) FourRounds<0>(abcd, e, Words(m, g + 1));
        for (int g = 5; g < 10; ++g) FourRounds<1>(abcd, e, Words(m, g + 1));
        for (int g = 10; g < 15; ++g) FourRounds<2>(abcd, e, Words(m, g + 1));
        for (int g = 15; g < 19; ++g) FourRounds<3>(abcd, e, Words(m, g + 1));
        // The last four rounds; E for the next block from their A and the E of this block's start.
        const __m128i before = abcd;
        abcd = _mm_add_epi32(_mm_sha1rnds4_epu32(abcd, e, 3), abcdBefore);
        eState = _mm_sha1nexte_epu32(before, eBefore);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(h), _mm_shuffle_epi32(abcd, 0x1B));
    h[4] = static_cast<std::uint32_t>(_mm_extract_epi32(eState, 3));
}

#undef MW_SHA_TARGET

} // namespace
#endif

Sha1Digest Sha1(const void* data, std::size_t size)
{
#ifdef MW_SHA_EXTENSIONS
    static const bool extensions = HasShaExtensions();
    if (extensions) {
        std::uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
        HashBlocks(static_cast<const std::uint8_t*>(data), size,
                   [&h](const std::uint8_t* blocks, std::size_t count) { Sha1BlocksExtensions(h, blocks, count); });
        return DigestOf(h);
    }
#endif
    return Sha1Portable(data, size);
}
