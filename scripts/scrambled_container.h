#pragma once
// The scrambled container shared by script and package files: every byte's
// two 4-bit halves exchanged, then the MD5 of the scrambled bytes as 32
// lower-case hexadecimal characters (kf4 packages put "kf4" in between).
#include <cstddef>
#include <cstdint>
#include <cstring>

constexpr std::size_t kDigestLength = 32;

// Writes `size` bytes of `from` to `to` with the halves of every byte
// exchanged (the two may be the same buffer); applied twice it restores the
// input. Eight bytes at a time, since packages run to gigabytes.
inline void SwapNibblesInto(const char* from, char* to, std::size_t size) {
  constexpr std::uint64_t kLow = 0x0F0F0F0F0F0F0F0FULL;
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, from + i, 8);
    word = ((word & kLow) << 4) | ((word >> 4) & kLow);
    std::memcpy(to + i, &word, 8);
  }
  for (; i < size; ++i) {
    const auto byte = static_cast<unsigned char>(from[i]);
    to[i] = static_cast<char>(((byte & 0x0F) << 4) | (byte >> 4));
  }
}

inline void SwapNibbles(char* data, std::size_t size) { SwapNibblesInto(data, data, size); }
