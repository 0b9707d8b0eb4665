#include "qvk/qvk_ini.h"

#include <gtest/gtest.h>

namespace {

TEST(IniValue, ReadsAsTheProfileFunctionsDo) {
  const std::u16string text =
      u"; comment\r\n[Setting]\r\n  Version = 1.0.2 \r\n[run]\r\nbase_version=\"1.0.0\"\r\n"
      u"GAME_EXE=Game.exe\r\ngame_exe=Other.exe\r\n[setting]\r\nVersion=9.9.9\r\n";
  struct Case {
    const char16_t* section;
    const char16_t* key;
    const char16_t* value;  // null: missing
  };
  const Case cases[] = {
      {u"Setting", u"Version", u"1.0.2"},
      {u"SETTING", u"version", u"1.0.2"},  // names ignore the case of a-z; the first section counts
      {u"run", u"base_version", u"1.0.0"},  // enclosing quotes dropped
      {u"run", u"game_exe", u"Game.exe"},   // the first key counts
      {u"run", u"missing", nullptr},
      {u"home", u"serverlist", nullptr},
  };
  for (const Case& c : cases) {
    const std::optional<std::u16string> value = IniValue(text, c.section, c.key);
    if (c.value) {
      ASSERT_TRUE(value.has_value());
      EXPECT_EQ(*value, c.value);
    } else {
      EXPECT_FALSE(value.has_value());
    }
  }
}

TEST(IniFileText, DecodesByTheByteOrderMark) {
  const std::string utf16("\xFF\xFE[\0a\0]\0", 8);
  EXPECT_EQ(IniFileText(utf16, nullptr, 0), u"[a]");
  EXPECT_EQ(IniFileText("\xEF\xBB\xBFx=\xE9\x9D\x92", nullptr, 0), u"x=\u9752");
  EXPECT_EQ(IniFileText("x=\xE9", nullptr, 0), u"x=\u00E9");  // no decoder: bytes as Latin-1
}

}  // namespace
