#include "app/launch_arguments.h"

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

TEST(LanguageForDataVersion, OneIsChineseEverythingElseEnglish) {
  EXPECT_EQ(LanguageForDataVersion(1), 0x0804);
  EXPECT_EQ(LanguageForDataVersion(2), 0x0409);
  EXPECT_EQ(LanguageForDataVersion(0), 0x0409);
  EXPECT_EQ(LanguageForDataVersion(-1), 0x0409);
}

}  // namespace
