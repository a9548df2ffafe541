#pragma once
// The scrambled container shared by script and package files: every byte's
// two 4-bit halves exchanged, then the MD5 of the scrambled bytes as 32
// lower-case hexadecimal characters (kf4 packages put "kf4" in between).
#include <cstddef>

constexpr std::size_t kDigestLength = 32;

// Exchanges the halves of every byte; applied twice it restores the input.
inline void SwapNibbles(char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    const auto byte = static_cast<unsigned char>(data[i]);
    data[i] = static_cast<char>(((byte & 0x0F) << 4) | (byte >> 4));
  }
}
