#include "base/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string HexOf(const std::string& data, size_t piece) {
  Sha256 hash;
  for (size_t at = 0; at < data.size(); at += piece) {
    hash.Update(data.data() + at, std::min(piece, data.size() - at));
  }
  Sha256Digest digest;
  if (!hash.Final(&digest)) return "failed";
  return Sha256Hex(digest);
}

TEST(Sha256, KnownDigestsWhateverTheFeeding) {
  struct Case {
    std::string data;
    const char* hex;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) {
    for (size_t piece : {size_t{1}, size_t{63}, size_t{4096}, c.data.size() + 1}) {
      if (c.data.size() > 1000 && piece == 1) continue;
      EXPECT_EQ(HexOf(c.data, piece), c.hex) << c.data.size() << " bytes in pieces of " << piece;
    }
  }
}

TEST(Sha256, FinalSpendsTheObject) {
  Sha256 hash;
  Sha256Digest digest;
  ASSERT_TRUE(hash.Final(&digest));
  EXPECT_FALSE(hash.Final(&digest));
}

TEST(Sha256Hex, ReadsExactly64HexDigits) {
  Sha256Digest digest;
  const std::string lower = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  ASSERT_TRUE(ParseSha256Hex(lower, &digest));
  EXPECT_EQ(Sha256Hex(digest), lower);
  std::string upper = lower;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  ASSERT_TRUE(ParseSha256Hex(upper, &digest));
  EXPECT_EQ(Sha256Hex(digest), lower);
  for (const std::string& bad : {lower.substr(1), lower + "0", "g" + lower.substr(1), " " + lower.substr(1)}) {
    EXPECT_FALSE(ParseSha256Hex(bad, &digest)) << bad;
  }
}

}  // namespace
