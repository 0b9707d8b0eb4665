#include "base/scramble.h"

void ScrambleBytes(unsigned char* bytes, std::size_t length) noexcept {
  for (std::size_t i = 0; i < length; ++i) bytes[i] ^= kScrambleMask;
}
