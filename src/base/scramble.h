// The one-byte scramble applied to the stored server list and to one link
// side file. Scrambling and unscrambling are the same operation.
#pragma once

#include <cstddef>

inline constexpr unsigned char kScrambleMask = 0xA5;

// XORs each of `length` bytes with kScrambleMask, in place.
void ScrambleBytes(unsigned char* bytes, std::size_t length) noexcept;
