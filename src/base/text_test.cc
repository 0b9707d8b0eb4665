#include "base/text.h"

#include <gtest/gtest.h>

namespace {

TEST(AsciiCase, OnlyAToZChange) {
  EXPECT_EQ(AsciiUpper(u"game.exe"), u"GAME.EXE");
  EXPECT_EQ(AsciiUpper(u"青石晚钟.exe"), u"青石晚钟.EXE");
  EXPECT_EQ(AsciiUpper(u"\u00e9a_z{`"), u"\u00e9A_Z{`");
  EXPECT_EQ(AsciiUpper(std::string("link.ini\xE9")), "LINK.INI\xE9");
  EXPECT_EQ(AsciiLower(u"GeForce \u00C4 GTX-560"), u"geforce \u00C4 gtx-560");
  EXPECT_EQ(AsciiUpper(u"geforce \u00E4 gtx-560"), u"GEFORCE \u00E4 GTX-560");
}

TEST(EndsWithIgnoringAsciiCase, MatchesAListingPatternsEnding) {
  const struct {
    const char16_t* name;
    bool exe;
  } cases[] = {{u"Game.exe", true},      {u"GAME.EXE", true},  {u".exe", true},
               {u"Game.exe.bak", false}, {u"Gameexe", false},  {u"Game.ex", false},
               {u"exe", false},          {u"", false}};
  for (const auto& c : cases) {
    EXPECT_EQ(EndsWithIgnoringAsciiCase(c.name, u".exe"), c.exe) << Utf16ToUtf8(c.name);
  }
}

TEST(Utf8Utf16, ConvertsBothWays) {
  const struct {
    std::u16string utf16;
    std::string utf8;
  } cases[] = {
      {u"", ""},
      {u"abc/Z", "abc/Z"},
      {u"\u00e9", "\xC3\xA9"},
      {u"\u4e2d", "\xE4\xB8\xAD"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8);
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16);
  }
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t{0xD800})), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf8ToUtf16("\xFF" "a"), u"\uFFFDa");
  // A sequence cut by the end of the text is one ill-formed sequence.
  EXPECT_EQ(Utf8ToUtf16("\xE4\xB8"), u"\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong
}

TEST(Utf8Decoding, Table) {
  const struct {
    const char* name;
    std::string in;
    std::size_t max_bytes, max_units;
    std::u16string out;
  } cases[] = {
      {"ascii", "abc", 512, 16, u"abc"},
      {"two_byte", "\xC3\xA9", 512, 16, u"\u00e9"},
      {"three_byte", "\xE6\x9D\xB1", 512, 16, u"\u6771"},
      {"four_byte", "\xF0\x9F\x98\x80", 512, 16, u"\U0001F600"},
      {"cut_by_window", "a\xE6\x9D\xB1", 3, 16, u"a"},
      {"cut_by_units", "abcdef", 512, 4, u"abcd"},
      {"pair_does_not_fit", "abc\xF0\x9F\x98\x80", 512, 4, u"abc"},
      {"lone_continuation", "\x80x", 512, 16, u"\uFFFDx"},
      {"lead_without_continuation", "\xE6x", 512, 16, u"\uFFFDx"},
      {"lead_at_end", "x\xE6", 512, 16, u"x"},
      {"continuation_at_end", "x\xE6\x9D", 512, 16, u"x"},
      {"overlong", "\xE0\x80\x80", 512, 16, u"\uFFFD"},
      {"surrogate_encoded", "\xED\xA0\x80", 512, 16, u"\uFFFD"},
      {"invalid_lead", "\xFF\xC0", 512, 16, u"\uFFFD\uFFFD"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DecodeUtf8Prefix(c.in, c.max_bytes, c.max_units), c.out);
  }
}

}  // namespace
