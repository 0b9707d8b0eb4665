#include "ui/launch_arguments.h"

#include <gtest/gtest.h>

namespace {

TEST(LaunchArguments, TextAmpersandAndStartTimeAsSigned32Bits) {
  EXPECT_EQ(BuildLaunchArguments(u"zone=3", 1503636559), u"zone=3&1503636559");
  EXPECT_EQ(BuildLaunchArguments(u"zone=3", 0x80000000LL), u"zone=3&-2147483648");
  EXPECT_EQ(BuildLaunchArguments(u"a", 0x100000005LL), u"a&5");
}

TEST(LaunchArguments, LongTextIsCutSoBothSuffixesStillFit) {
  const std::u16string long_text(5000, u'x');
  std::u16string arguments = BuildLaunchArguments(long_text, -2147483647 - 1);
  EXPECT_LE(arguments.size(), kLaunchArgumentsCapacity - 1);
  EXPECT_EQ(arguments.substr(arguments.size() - 12), u"&-2147483648");
  EXPECT_TRUE(AppendLaunchArgument(&arguments, u"&d3d9check=1"));
  EXPECT_LE(arguments.size(), kLaunchArgumentsCapacity - 1);
}

TEST(LaunchArguments, AppendRefusesWhatWouldOverflow) {
  std::u16string arguments(kLaunchArgumentsCapacity - 3, u'x');
  EXPECT_FALSE(AppendLaunchArgument(&arguments, u"abc"));
  EXPECT_EQ(arguments.size(), kLaunchArgumentsCapacity - 3);
  EXPECT_TRUE(AppendLaunchArgument(&arguments, u"ab"));
  EXPECT_EQ(arguments.size(), kLaunchArgumentsCapacity - 1);
}

TEST(CommandTextAfterProgramName, SkipsTheNameAndTheBlanksBehindIt) {
  const struct {
    const char* command_line;
    const char* text;
  } cases[] = {
      {"\"C:\\Game Dir\\launcher.exe\" zone=3", "zone=3"},
      {"launcher.exe \t zone=3 x", "zone=3 x"},
      // Code page 936: "\xC7\xF8" and "\xC8\xFD" are two characters; their bytes
      // are above 0x7F and must not be taken for blanks.
      {"\"launcher.exe\" \xC7\xF8=\xC8\xFD", "\xC7\xF8=\xC8\xFD"},
      {"\"launcher.exe\"\xC7\xF8", "\xC7\xF8"},
      {"\xC7\xF8\xC8\xFD.exe \xE9=1", "\xE9=1"},  // an unquoted name with such bytes
      {"\"launcher.exe\"\x01\x1f zone", "zone"},
      {"\"launcher.exe\"   ", ""},
      {"\"unterminated quote", ""},
      {"launcher.exe", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(CommandTextAfterProgramName(c.command_line), c.text) << c.command_line;
  }
  EXPECT_STREQ(CommandTextAfterProgramName(nullptr), "");
}

TEST(TakeAfterDownloadFlag, OnlyTheLeadingFlagAndOneBlank) {
  const struct {
    const char* text;
    bool taken;
    const char* rest;
  } cases[] = {
      {"--after-download zone=3&user=a", true, "zone=3&user=a"},
      {"--after-download  zone=3", true, " zone=3"},
      {"--after-download", true, ""},
      {"--after-downloads zone=3", false, "--after-downloads zone=3"},
      {"zone=3 --after-download", false, "zone=3 --after-download"},
      {"", false, ""},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(TakeAfterDownloadFlag(&text), c.taken) << c.text;
    EXPECT_EQ(text, c.rest) << c.text;
  }
}

TEST(QuoteArgument, ReadsBackAsOneArgument) {
  // Expected forms by the rules CommandLineToArgvW reads (the Windows tier
  // reads them back with it: download_offer_win_test).
  EXPECT_EQ(QuoteArgument(u"zone=3&user=a b"), u"\"zone=3&user=a b\"");
  EXPECT_EQ(QuoteArgument(u""), u"\"\"");
  EXPECT_EQ(QuoteArgument(u"say \"hi\""), u"\"say \\\"hi\\\"\"");
  EXPECT_EQ(QuoteArgument(u"C:\\dir\\"), u"\"C:\\dir\\\\\"");
  EXPECT_EQ(QuoteArgument(u"a\\\"b"), u"\"a\\\\\\\"b\"");
}

TEST(LanguageForDataVersion, OneIsChineseEverythingElseEnglish) {
  EXPECT_EQ(LanguageForDataVersion(1), 0x0804);
  EXPECT_EQ(LanguageForDataVersion(2), 0x0409);
  EXPECT_EQ(LanguageForDataVersion(0), 0x0409);
  EXPECT_EQ(LanguageForDataVersion(-1), 0x0409);
}

}  // namespace
