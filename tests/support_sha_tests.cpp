#include <gtest/gtest.h>

#include <string>

#include "support/Sha.h"

namespace {

template <size_t N>
std::string Hex(const std::array<std::uint8_t, N>& digest)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (std::uint8_t b : digest) {
        hex.push_back(digits[b >> 4]);
        hex.push_back(digits[b & 15]);
    }
    return hex;
}

} // namespace

TEST(Sha, TheStandardsExamplesAndEveryLengthOfABlockAndItsPadding)
{
    struct Case { std::string message, sha1, sha256; };
    const Case cases[] = {
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f",
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message.substr(0, 20));
        EXPECT_EQ(Hex(Sha1(c.message.data(), c.message.size())), c.sha1);
        EXPECT_EQ(Hex(Sha1Portable(c.message.data(), c.message.size())), c.sha1);
        EXPECT_EQ(Hex(Sha256(c.message.data(), c.message.size())), c.sha256);
    }
    // The processor's instructions, where there are, against plain arithmetic:
    // every length of the last block and its padding, one and two blocks on.
    std::string bytes(300, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
    for (size_t n = 0; n <= bytes.size(); ++n) EXPECT_EQ(Sha1(bytes.data(), n), Sha1Portable(bytes.data(), n)) << n;
}
