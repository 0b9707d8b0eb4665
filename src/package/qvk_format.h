// The package archive format shared by the reader, the writer and the qvk
// tool: the trailer and record layout, the two scramble keys, the name hash
// and the (un)scrambling routine. Pure functions, callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Trailer: the last 16 bytes of an archive.
inline constexpr uint8_t kQvkMagic[4] = {0xFF, 0x0D, 0x2C, 0x3A};
inline constexpr int kQvkTrailerSize = 16;
// A directory record is this many bytes followed by 2 bytes per name unit.
inline constexpr int kQvkRecordHeaderSize = 19;
// The largest directory a reader loads, in bytes (real ones take a few MiB).
// Opening holds a few times this much at its peak, which a 32-bit process
// can still find.
inline constexpr int32_t kQvkMaxDirectorySize = 64 << 20;

// The directory is scrambled as a whole with this 32-byte key.
inline constexpr char kQvkDirectoryKey[] = "r7Kp.2mQ^x9Lw4#Zb6Tn_0Vc3Hs?8Jd5";
inline constexpr int kQvkDirectoryKeyLength = 32;
// Entry data is scrambled with this one-byte key. The only place it is set.
inline constexpr char kQvkEntryKey[] = "K";
inline constexpr int kQvkEntryKeyLength = 1;

// CRC-32/BZIP2 over the UTF-16LE bytes of `name` (up to its terminator)
// with 'a'..'z' folded to upper case. "" hashes to 0.
uint32_t QvkNameHash(const char16_t* name);
uint32_t QvkNameHash(std::u16string_view name);

// buffer[i] -= key[(phase + i) % key_length] for i in [0, size). Nothing
// happens for size 0; phase is the offset of buffer[0] in the scrambled
// stream. key_length must be at least 1.
void QvkUnscramble(const char* key, int key_length, uint8_t* buffer, size_t size,
                   uint64_t phase);
// The inverse: buffer[i] += key[(phase + i) % key_length].
void QvkScramble(const char* key, int key_length, uint8_t* buffer, size_t size,
                 uint64_t phase);

inline uint16_t QvkLoad16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t QvkLoad32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void QvkStore16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void QvkStore32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
