#include "package/qvk_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace {

TEST(QvkNameHash, KnownValues) {
  const struct {
    const char16_t* name;
    uint32_t hash;
  } cases[] = {
      {u"PatchList.txt", 0x13D414A9}, {u"PATCHLIST.TXT", 0x13D414A9},
      {u"patchlist.txt", 0x13D414A9}, {u"link.ini", 0x222B33EF},
      {u"abc", 0x508CD654},           {u"", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(QvkNameHash(c.name), c.hash) << std::u16string(c.name).size();
    EXPECT_EQ(QvkNameHash(std::u16string_view(c.name)), c.hash);
  }
  EXPECT_EQ(QvkNameHash(static_cast<const char16_t*>(nullptr)), 0u);
}

TEST(QvkNameHash, FoldsOnlyAsciiLetters) {
  EXPECT_EQ(QvkNameHash(u"LINK.INI"), QvkNameHash(u"link.ini"));
  EXPECT_NE(QvkNameHash(u"a/b"), QvkNameHash(u"a\\b"));
  EXPECT_NE(QvkNameHash(u"\u00e9"), QvkNameHash(u"\u00c9"));  // é and É stay apart
  EXPECT_NE(QvkNameHash(u"{"), QvkNameHash(u"["));            // 0x7B is not folded
  // Odd and even lengths take different paths through the hash.
  EXPECT_NE(QvkNameHash(u"abcd"), QvkNameHash(u"abc"));
  EXPECT_NE(QvkNameHash(u"\u4e2d\u6587"), QvkNameHash(u"\u6587\u4e2d"));
}

// The reference: one byte at a time with key[(phase + i) % length].
std::vector<uint8_t> Reference(const std::string& key, std::vector<uint8_t> bytes, uint64_t phase,
                               bool subtract) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    const uint8_t k = static_cast<uint8_t>(key[(phase + i) % key.size()]);
    bytes[i] = static_cast<uint8_t>(subtract ? bytes[i] - k : bytes[i] + k);
  }
  return bytes;
}

TEST(QvkScramble, MatchesByteLoopForEveryKeyLengthPhaseAndSize) {
  const std::string keys[] = {std::string(kQvkEntryKey), std::string(kQvkDirectoryKey), "abc",
                              std::string(64, '\x91') + "z"};
  for (const std::string& key : keys) {
    for (size_t size : {0, 1, 31, 32, 33, 64, 65, 200, 1000}) {
      for (uint64_t phase : {0, 1, 31, 32, 33, 1000001}) {
        // The start address decides where the vector loop begins.
        for (size_t start : {0, 1, 17}) {
          std::vector<uint8_t> bytes(size);
          for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 37 + 11);
          std::vector<uint8_t> got(start + size);
          std::copy(bytes.begin(), bytes.end(), got.begin() + static_cast<ptrdiff_t>(start));
          uint8_t* at = got.data() + start;
          QvkUnscramble(key.data(), static_cast<int>(key.size()), at, size, phase);
          ASSERT_EQ(std::vector<uint8_t>(at, at + size), Reference(key, bytes, phase, true))
              << "key " << key.size() << " size " << size << " phase " << phase << " start "
              << start;
          QvkScramble(key.data(), static_cast<int>(key.size()), at, size, phase);
          ASSERT_EQ(std::vector<uint8_t>(at, at + size), bytes);
        }
      }
    }
  }
}

TEST(QvkScramble, KeysAreTheFixedOnes) {
  EXPECT_EQ(std::string(kQvkDirectoryKey), "r7Kp.2mQ^x9Lw4#Zb6Tn_0Vc3Hs?8Jd5");
  EXPECT_EQ(sizeof kQvkDirectoryKey - 1, static_cast<size_t>(kQvkDirectoryKeyLength));
  ASSERT_EQ(sizeof kQvkEntryKey - 1, 1u);
  EXPECT_GE(kQvkEntryKey[0], 0x21);  // printable, not blank
  EXPECT_LE(kQvkEntryKey[0], 0x7E);
}

}  // namespace
