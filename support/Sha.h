#pragma once
// SHA-1 and SHA-256 (FIPS 180-4) of a buffer in memory: the checksums with
// which git ends its index files.
#include <array>
#include <cstddef>
#include <cstdint>

using Sha1Digest = std::array<std::uint8_t, 20>;
using Sha256Digest = std::array<std::uint8_t, 32>;

// With the processor's SHA instructions where it has them.
Sha1Digest Sha1(const void* data, std::size_t size);
// The same with plain integer arithmetic, on any processor.
Sha1Digest Sha1Portable(const void* data, std::size_t size);
Sha256Digest Sha256(const void* data, std::size_t size);
