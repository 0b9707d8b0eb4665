#include "hardware/level_table.h"
#include "base/text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::u16string Repeat(char16_t c, size_t n) { return std::u16string(n, c); }

struct ParseCase {
  const char* name;
  std::u16string text;
  LevelTable expected;
};

class ParseLevelTableTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseLevelTableTest, BuildsTable) {
  const ParseCase& c = GetParam();
  EXPECT_EQ(ParseLevelTable(c.text.data(), c.text.size()), c.expected);
}

const ParseCase kParseCases[] = {
    {"LfLines", u"header\ngeforce gtx 560\t3\ngeforce\t1\n", {{u"geforce gtx 560", 3}, {u"geforce", 1}}},
    {"CrLfLines", u"header\r\ngeforce gtx 560\t3\r\ngeforce\t1\r\n",
     {{u"geforce gtx 560", 3}, {u"geforce", 1}}},
    {"LastLineWithoutLineEnd", u"h\na\t1\nb\t2", {{u"a", 1}, {u"b", 2}}},
    {"ByteOrderMarkIsPartOfFirstLine", u"\uFEFFh\r\nx\t2\r\n", {{u"x", 2}}},
    {"FirstLineIgnoredEvenIfEntryLike", u"a\t1\nb\t2\n", {{u"b", 2}}},
    {"OnlyFirstLine", u"a\t1", {}},
    {"EmptyText", u"", {}},
    {"PatternsLowerCasedAsciiOnly", u"h\nRadeon HD \u00C46850\t2\n", {{u"radeon hd \u00C46850", 2}}},
    {"LevelKeepsLow8Bits", u"h\r\nRadeon HD 6850\t300\r\n", {{u"radeon hd 6850", 44}}},
    {"MinusOneBecomes255", u"h\na\t-1\n", {{u"a", 255}}},
    {"OverflowWrapsToLow8Bits", u"h\na\t4294967596\n", {{u"a", 44}}},
    {"LevelWithBlanksSignAndTrailingText", u"h\na\t  +7 best\nb\t\t2x\n", {{u"a", 7}, {u"b", 2}}},
    {"LaterDuplicateWins", u"h\nGeForce\t1\ngeforce\t3\n", {{u"geforce", 3}}},
    {"StopsAtLevelThatIsNoNumber", u"h\na\t1\nb\tx\nc\t3\n", {{u"a", 1}}},
    {"StopsAtEmptyPattern", u"h\n\t5\nc\t3\n", {}},
    {"StopsAtPatternWithoutTab", u"h\na\t1\nno tab here", {{u"a", 1}}},
    {"StopsAtZeroUnit", std::u16string(u"h\na\t1\n\0b\t2\n", 12), {{u"a", 1}}},
    // An empty line starts an entry whose pattern begins with the line end
    // and runs into the next line. With LF the next line is used up...
    {"EmptyLineWithLf", u"h\nx\t1\n\ny\t2\nz\t3\n", {{u"x", 1}, {u"\ny", 2}, {u"z", 3}}},
    // ...with CR LF it is read again as an entry of its own.
    {"EmptyLineWithCrLf", u"h\r\nx\t1\r\n\r\ny\t2\r\nz\t3\r\n",
     {{u"x", 1}, {u"\r\ny", 2}, {u"y", 2}, {u"z", 3}}},
    {"Pattern255Kept", u"h\n" + Repeat(u'a', 255) + u"\t1\nb\t2\n", {{Repeat(u'a', 255), 1}, {u"b", 2}}},
    {"Pattern256EndsReading", u"h\nb\t2\n" + Repeat(u'a', 256) + u"\t1\nc\t3\n", {{u"b", 2}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, ParseLevelTableTest, ::testing::ValuesIn(kParseCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ParseLevelTableBytes, ReadsLittleEndianUnitsAndDropsOddByte) {
  const unsigned char bytes[] = {0xFF, 0xFE, 'h', 0, '\n', 0, 'A', 0, 0x00, 0x01,
                                 '\t', 0,    '3', 0, '\n', 0, 'B'};
  LevelTable expected = {{u"a\u0100", 3}};
  EXPECT_EQ(ParseLevelTableBytes(bytes, sizeof bytes), expected);
}

class LevelTableFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "hardware_level_table_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini";
    std::remove(path_.c_str());
  }
  void TearDown() override { std::remove(path_.c_str()); }
  void Write(const std::vector<unsigned char>& bytes) {
    FILE* f = std::fopen(path_.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  std::string path_;
};

TEST_F(LevelTableFileTest, MissingFileGivesEmptyTable) {
  EXPECT_TRUE(LoadLevelTableFile(path_).empty());
}

TEST_F(LevelTableFileTest, EmptyFileGivesEmptyTable) {
  Write({});
  EXPECT_TRUE(LoadLevelTableFile(path_).empty());
}

TEST_F(LevelTableFileTest, ReadsCrLfFileInBinary) {
  // A unit 0x1A0D holds bytes that a text-mode read would translate or stop at.
  Write({0xFF, 0xFE, 'h', 0, '\r', 0, '\n', 0, 0x0D, 0x1A, 'x', 0, '\t', 0, '2', 0, '\r', 0, '\n', 0,
         'y', 0, '\t', 0, '1', 0, '\r', 0, '\n', 0});
  LevelTable expected = {{u"\u1A0Dx", 2}, {u"y", 1}};
  EXPECT_EQ(LoadLevelTableFile(path_), expected);
}

struct MatchCase {
  const char* name;
  const char* description;
  int expected;
};

class MatchAdapterLevelTest : public ::testing::TestWithParam<MatchCase> {};

TEST_P(MatchAdapterLevelTest, LongestKeyDecides) {
  const std::u16string text =
      u"Adapter\tLevel\r\n"
      u"GeForce\t1\r\n"
      u"GeForce GTX 560\t3\r\n"
      u"GeForce GTX\t2\r\n"
      u"Radeon HD 6850\t300\r\n"
      u"ab\t1\r\n"
      u"cd\t2\r\n";
  const LevelTable table = ParseLevelTable(text.data(), text.size());
  const MatchCase& c = GetParam();
  EXPECT_EQ(MatchAdapterLevel(table, AsciiLower(WidenBytes(c.description, 512))), c.expected);
}

const MatchCase kMatchCases[] = {
    {"LongestOfThreeNested", "NVIDIA GeForce GTX 560", 3},
    {"MiddleLength", "NVIDIA GeForce GTX 460", 2},
    {"ShortOnly", "NVIDIA GeForce 9800 GT", 1},
    {"LevelFrom300", "AMD Radeon HD 6850", 44},
    {"NoMatch", "Intel HD Graphics 4000", -1},
    {"EqualLengthFirstInKeyOrder", "xx cd ab", 1},
    {"Empty", "", -1},
};

INSTANTIATE_TEST_SUITE_P(Cases, MatchAdapterLevelTest, ::testing::ValuesIn(kMatchCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MatchAdapterLevel, EmptyTableMatchesNothing) {
  EXPECT_EQ(MatchAdapterLevel({}, u"nvidia geforce gtx 560"), -1);
}

TEST(WidenBytes, EachByteBecomesItsValueUpToZeroOrLimit) {
  EXPECT_EQ(WidenBytes("\xC4\x80z", 512), std::u16string(u"\u00C4\u0080z"));
  EXPECT_EQ(WidenBytes("abcdef", 3), u"abc");
  EXPECT_EQ(WidenBytes("ab\0cd", 512), u"ab");
  EXPECT_EQ(WidenBytes(nullptr, 512), u"");
}

TEST(AsciiCase, OnlyAsciiLettersChange) {
}

}  // namespace
