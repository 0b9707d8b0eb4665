#include "base/version.h"

#include <gtest/gtest.h>

namespace {

struct ParseCase {
  const char16_t* text;
  VersionNumber expected;
};

TEST(ParseVersionText, Table) {
  const ParseCase cases[] = {
      {u"1.2.3", 12003},
      {u"2*0*100", 20100},
      {u"0.9.1", 9001},            // joined "09001"
      {u"1.2.3456", 123456},       // a wide build part stays whole
      {u"1..2...3", 12003},        // runs of separators are one
      {u".1.2.3.", 12003},         // no empty parts at the ends
      {u"1.*2*.3", 12003},
      {u"1.2.3.4", 12003},         // parts after the third ignored
      {u" 1. +2.\t3", 12003},      // blanks and a sign before a part
      {u"1.2.3abc", 12003},        // conversion stops at a non-digit
      {u"1.x.3", 10003},           // a part without digits is 0
      {u"1.2", 12000},             // missing parts count as 0
      {u"1", 10000},
      {u"", 0},
      {u"...", 0},
      {u"0.0.0", 0},
      {u"12.3.4", 123004},         // joined "123004"
      {u"9.9.999", 99999},
      {u"-1.0.0", 0},              // negative joined form reads as 0
      {u"1.-2.3", 1},              // joined "1-2003" stops at the minus
      {u"9.9.99999999999", 2147483647},  // saturates instead of overflowing
      {u"\u0661.2.3", 2003},       // only ASCII digits count
  };
  for (const ParseCase& c : cases) {
    std::u16string text(c.text);
    EXPECT_EQ(ParseVersionText(std::u16string_view(text)), c.expected)
        << std::string(text.begin(), text.end());
  }
}

TEST(ParseVersionText, NarrowMatchesWide) {
  EXPECT_EQ(ParseVersionText(std::string_view("1.2.3")), 12003u);
  EXPECT_EQ(ParseVersionText(std::string_view("0*9*1")), 9001u);
  EXPECT_EQ(ParseVersionText(std::string_view("\xff" "1.2")), 2000u);
}

struct FormCase {
  VersionNumber v;
  const char* five_digit;
  bool splits;
  const char* dotted;
};

TEST(VersionForms, Table) {
  const FormCase cases[] = {
      {12003, "12003", true, "1.2.3"},
      {9001, "09001", true, "0.9.1"},
      {0, "00000", true, "0.0.0"},
      {99999, "99999", true, "9.9.999"},
      {123456, "123456", true, "1.2.345"},  // sixth digit lost
      {2147483647, "2147483647", true, "2.1.474"},
      {2147483648u, "-2147483648", false, ""},
      {4294967295u, "-0001", false, ""},
  };
  for (const FormCase& c : cases) {
    SCOPED_TRACE(c.v);
    EXPECT_EQ(FiveDigitForm(c.v), c.five_digit);
    std::optional<VersionParts> parts = SplitVersion(c.v);
    ASSERT_EQ(parts.has_value(), c.splits);
    if (parts) {
      EXPECT_EQ(DottedForm(*parts), c.dotted);
    }
  }
}

TEST(VersionForms, PackagePath) {
  EXPECT_EQ(PatchPackagePath(12003), "System/Verpatch12003.qvk");
  EXPECT_EQ(PatchPackagePath(9001), "System/Verpatch09001.qvk");
}

struct RewindCase {
  VersionNumber v;
  bool limit;
  std::optional<std::string> expected;
};

TEST(RewindText, Table) {
  const RewindCase cases[] = {
      {12000, false, "1.1.999"},
      {12000, true, "1.1.255"},
      {12003, false, "1.2.2"},
      {12003, true, "1.2.2"},
      {12256, true, "1.2.255"},
      {12257, true, "1.2.255"},
      {12256, false, "1.2.255"},
      {12300, false, "1.2.299"},
      {1, false, "0.0.0"},
      {0, false, std::nullopt},                 // nothing below 0
      {2147483648u, false, "2.1.474"},          // v - 1 = INT32_MAX still splits
      {2147483649u, true, std::nullopt},
  };
  for (const RewindCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.v << (c.limit ? " limited" : ""));
    EXPECT_EQ(RewindText(c.v, c.limit), c.expected);
  }
  // A rewound text reads back as the version just below (or the 255 cap).
  EXPECT_EQ(ParseVersionText(std::string_view(*RewindText(12000, false))), 11999u);
  EXPECT_EQ(ParseVersionText(std::string_view(*RewindText(12000, true))), 11255u);
}

TEST(HeldInPatchPackage, Rule) {
  EXPECT_FALSE(HeldInPatchPackage(0, 0));
  EXPECT_FALSE(HeldInPatchPackage(12000, 12000));
  EXPECT_FALSE(HeldInPatchPackage(11999, 12000));
  EXPECT_TRUE(HeldInPatchPackage(12001, 12000));
  EXPECT_TRUE(HeldInPatchPackage(4294967295u, 12000));  // unsigned comparison
}

}  // namespace
