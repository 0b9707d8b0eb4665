#include "package/qvk_format.h"
#include "base/text.h"

#include <array>
#include <cstring>

namespace {

// Slicing-by-4 tables of CRC-32/BZIP2 (polynomial 0x04C11DB7, MSB first):
// kCrcTables[k][b] is the CRC register after byte b followed by k zero bytes.
using CrcTables = std::array<std::array<uint32_t, 256>, 4>;

constexpr CrcTables MakeCrcTables() {
  CrcTables t{};
  for (uint32_t b = 0; b < 256; ++b) {
    uint32_t crc = b << 24;
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    t[0][b] = crc;
  }
  for (int k = 1; k < 4; ++k) {
    for (uint32_t b = 0; b < 256; ++b) {
      const uint32_t prev = t[k - 1][b];
      t[k][b] = (prev << 8) ^ t[0][prev >> 24];
    }
  }
  return t;
}

constexpr CrcTables kCrcTables = MakeCrcTables();

inline uint32_t FoldCase(char16_t u) { return AsciiUpper(u); }

// Adds block[j % 64] to every byte of buffer. The fixed 64-byte inner loop
// is what lets the compiler vectorise it (whole blocks, no modulo).
inline __attribute__((always_inline)) void AddBlock64Body(const uint8_t* key_block,
                                                          uint8_t* buffer, size_t size) {
  // Bytes up to the next 32-byte boundary first, so that the block loop's
  // vector loads and stores never straddle cache lines; the key block
  // rotates along.
  size_t head = static_cast<size_t>(-reinterpret_cast<uintptr_t>(buffer) & 31);
  if (head > size) head = size;
  for (size_t j = 0; j < head; ++j) buffer[j] = static_cast<uint8_t>(buffer[j] + key_block[j]);
  buffer += head;
  size -= head;
  // The rotated block is a window into two copies of the key block: fixed
  // size copies, no per-byte setup (on small buffers that would cost as
  // much as the work itself).
  uint8_t twice[128];
  std::memcpy(twice, key_block, 64);
  std::memcpy(twice + 64, key_block, 64);
  const uint8_t* block = twice + head;
  // Two blocks per step halve the loop overhead.
  const size_t pairs = size - size % 128;
  for (size_t i = 0; i < pairs; i += 128) {
    uint8_t* p = buffer + i;
    for (int j = 0; j < 64; ++j) p[j] = static_cast<uint8_t>(p[j] + block[j]);
    for (int j = 0; j < 64; ++j) p[64 + j] = static_cast<uint8_t>(p[64 + j] + block[j]);
  }
  const size_t whole = size - size % 64;
  if (whole > pairs) {
    uint8_t* p = buffer + pairs;
    for (int j = 0; j < 64; ++j) p[j] = static_cast<uint8_t>(p[j] + block[j]);
  }
  for (size_t j = 0; j < size - whole; ++j) {
    buffer[whole + j] = static_cast<uint8_t>(buffer[whole + j] + block[j]);
  }
}

void AddBlock64Generic(const uint8_t* key_block, uint8_t* buffer, size_t size) {
  AddBlock64Body(key_block, buffer, size);
}

#if defined(__x86_64__) || defined(__i386__)
// The same loop compiled for wider vectors, chosen at run time: the baseline
// (SSE2 at best) is half as fast as memcpy on buffers that fit the cache.
__attribute__((target("avx2"))) void AddBlock64Avx2(const uint8_t* key_block, uint8_t* buffer,
                                                    size_t size) {
  AddBlock64Body(key_block, buffer, size);
}
__attribute__((target("sse2"))) void AddBlock64Sse2(const uint8_t* key_block, uint8_t* buffer,
                                                    size_t size) {
  AddBlock64Body(key_block, buffer, size);
}

using AddBlock64Fn = void (*)(const uint8_t*, uint8_t*, size_t);

AddBlock64Fn PickAddBlock64() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return AddBlock64Avx2;
  if (__builtin_cpu_supports("sse2")) return AddBlock64Sse2;
  return AddBlock64Generic;
}

void AddBlock64(const uint8_t* key_block, uint8_t* buffer, size_t size) {
  static const AddBlock64Fn fn = PickAddBlock64();
  fn(key_block, buffer, size);
}
#else
void AddBlock64(const uint8_t* key_block, uint8_t* buffer, size_t size) {
  AddBlock64Generic(key_block, buffer, size);
}
#endif

void Transform(const char* key, int key_length, uint8_t* buffer, size_t size,
               uint64_t phase, bool subtract) {
  if (size == 0 || key_length < 1) return;
  const auto key_byte = [&](size_t k) {
    const uint8_t b = static_cast<uint8_t>(key[k]);
    return static_cast<uint8_t>(subtract ? 0u - b : b);
  };
  const size_t length = static_cast<size_t>(key_length);
  const bool power_of_two = (length & (length - 1)) == 0;
  size_t k = static_cast<size_t>(power_of_two ? phase & (length - 1) : phase % length);
  size_t i = 0;
  // Bring the key phase to 0, then work in whole key blocks.
  while (k != 0 && i < size) {
    buffer[i] = static_cast<uint8_t>(buffer[i] + key_byte(k));
    ++i;
    if (++k == length) k = 0;
  }
  if (64 % length == 0) {
    // The key repeated to 64 bytes by doubling (no division per byte).
    uint8_t block[64];
    if (length == 1) {
      std::memset(block, key_byte(0), sizeof block);
    } else {
      for (size_t j = 0; j < length; ++j) block[j] = key_byte(j);
      for (size_t filled = length; filled < 64; filled *= 2) {
        std::memcpy(block + filled, block, filled);
      }
    }
    AddBlock64(block, buffer + i, size - i);
    return;
  }
  for (; i < size; ++i) {
    buffer[i] = static_cast<uint8_t>(buffer[i] + key_byte(k));
    if (++k == length) k = 0;
  }
}

}  // namespace

uint32_t QvkNameHash(std::u16string_view name) {
  const auto& t = kCrcTables;
  uint32_t crc = 0xFFFFFFFFu;
  size_t i = 0;
  // Two code units are four bytes: low, high, low, high.
  for (; i + 2 <= name.size(); i += 2) {
    const uint32_t a = FoldCase(name[i]);
    const uint32_t b = FoldCase(name[i + 1]);
    crc ^= ((a & 0xFF) << 24) | ((a >> 8) << 16) | ((b & 0xFF) << 8) | (b >> 8);
    crc = t[3][crc >> 24] ^ t[2][(crc >> 16) & 0xFF] ^ t[1][(crc >> 8) & 0xFF] ^
          t[0][crc & 0xFF];
  }
  if (i < name.size()) {
    const uint32_t a = FoldCase(name[i]);
    crc = t[0][(crc >> 24) ^ (a & 0xFF)] ^ (crc << 8);
    crc = t[0][(crc >> 24) ^ (a >> 8)] ^ (crc << 8);
  }
  return ~crc;
}

uint32_t QvkNameHash(const char16_t* name) {
  if (name == nullptr) return 0;
  size_t n = 0;
  while (name[n] != 0) ++n;
  return QvkNameHash(std::u16string_view(name, n));
}

void QvkUnscramble(const char* key, int key_length, uint8_t* buffer, size_t size,
                   uint64_t phase) {
  Transform(key, key_length, buffer, size, phase, true);
}

void QvkScramble(const char* key, int key_length, uint8_t* buffer, size_t size,
                 uint64_t phase) {
  Transform(key, key_length, buffer, size, phase, false);
}
