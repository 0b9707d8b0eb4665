#include "package/entry_names.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "package/qvk_format.h"

namespace {

TEST(StrictUtf8ToUtf16, AcceptsValidAndRefusesInvalid) {
  struct Case {
    std::string bytes;
    bool ok;
    std::u16string wide;
  };
  const Case cases[] = {
      {"", true, u""},
      {"a/b.txt", true, u"a/b.txt"},
      {"\xE9\x9D\x92\xE7\x9F\xB3", true, u"\u9752\u77F3"},
      {"\xF0\x9F\x98\x80", true, u"\U0001F600"},
      {"caf\xE9", false, u""},              // Latin-1 byte
      {"\xC0\xAF", false, u""},             // overlong '/'
      {"\xE0\x80\xAF", false, u""},         // overlong '/'
      {"\xED\xA0\x80", false, u""},         // encoded surrogate
      {"\xF4\x90\x80\x80", false, u""},     // above U+10FFFF
      {"\xE9\x9D", false, u""},             // truncated
      {"\x80", false, u""},                 // lone continuation
  };
  for (const Case& c : cases) {
    std::u16string out = u"untouched";
    EXPECT_EQ(StrictUtf8ToUtf16(c.bytes, &out), c.ok) << c.bytes;
    EXPECT_EQ(out, c.ok ? c.wide : u"untouched") << c.bytes;
  }
}

TEST(FindNameCollisions, SameNameUpToCaseAndSameHash) {
  // Find two different names with the same stored hash by search, so the
  // test does not depend on knowing the hash function.
  std::u16string a, b;
  std::unordered_map<uint32_t, std::u16string> seen;
  std::mt19937 random(12);
  for (int i = 0; i < 400000 && a.empty(); ++i) {
    std::u16string name;
    for (int k = 0; k < 12; ++k) name += static_cast<char16_t>(u'A' + random() % 26);
    const auto [it, added] = seen.emplace(QvkNameHash(name), name);
    if (!added && it->second != name) {
      a = it->second;
      b = name;
    }
  }
  ASSERT_FALSE(a.empty()) << "no two names with one hash found";

  const std::vector<std::u16string> names = {u"link.ini", u"Data/x", a, u"LINK.INI", u"data/X", b};
  const std::vector<NameCollision> found = FindNameCollisions(names);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].first, 0u);
  EXPECT_EQ(found[0].second, 3u);
  EXPECT_FALSE(found[0].same_hash_only);
  EXPECT_EQ(found[1].first, 1u);
  EXPECT_EQ(found[1].second, 4u);
  EXPECT_EQ(found[2].first, 2u);
  EXPECT_EQ(found[2].second, 5u);
  EXPECT_TRUE(found[2].same_hash_only);

  EXPECT_TRUE(FindNameCollisions({u"a", u"b", u"\u00e9", u"\u00c9"}).empty())
      << "only a-z fold: e-acute and E-acute are different names";
}

TEST(SafeExtractPath, KeepsSafeNamesAndRefusesTheRest) {
  struct Case {
    std::u16string name;
    const char16_t* safe;  // null: refused
  };
  const Case cases[] = {
      {u"a.txt", u"a.txt"},
      {u"BaseData/GraphicsLevel.ini", u"BaseData/GraphicsLevel.ini"},
      {u"./a//b/./c", u"a/b/c"},
      {u"\u9752\u77F3/\u6587\u4EF6.txt", u"\u9752\u77F3/\u6587\u4EF6.txt"},
      {u"a..b/..c", u"a..b/..c"},
      {u"console.txt", u"console.txt"},
      {u"COM10", u"COM10"},
      {u"", nullptr},
      {u"./", nullptr},
      {u"..", nullptr},
      {u"a/../../etc/passwd", nullptr},
      {u"/etc/passwd", nullptr},
      {u"C:/Windows/x", nullptr},
      {u"C:x", nullptr},
      {u"a\\..\\b", nullptr},
      {u"file.txt:stream", nullptr},
      {u"a\nb", nullptr},
      {u"a?b", nullptr},
      {u"con", nullptr},
      {u"dir/NUL.txt", nullptr},
      {u"Lpt1", nullptr},
      {u"com\u00b9.log", nullptr},
      {u"CONOUT$", nullptr},
      {u"trailing./x", nullptr},
      {u"blank ", nullptr},
      {std::u16string(u"a") + char16_t(0xD800), nullptr},
  };
  for (const Case& c : cases) {
    std::string why;
    const std::optional<std::u16string> path = SafeExtractPath(c.name, &why);
    if (c.safe) {
      ASSERT_TRUE(path.has_value()) << EscapeNameForLine(c.name) << ": " << why;
      EXPECT_EQ(*path, c.safe);
    } else {
      EXPECT_FALSE(path.has_value()) << EscapeNameForLine(c.name);
      EXPECT_FALSE(why.empty());
    }
  }
}

TEST(EscapeNameForLine, LineBreakingCharactersAreEscaped) {
  EXPECT_EQ(EscapeNameForLine(u"plain/\u9752.txt"), "plain/\xE9\x9D\x92.txt");
  EXPECT_EQ(EscapeNameForLine(u"a\tb\nc\rd\\e\x01"), "a\\tb\\nc\\rd\\\\e\\x01");
  EXPECT_EQ(EscapeNameForLine(std::u16string(u"x") + char16_t(0xDC00)), "x\\uDC00");
}

TEST(JsonString, EscapesWhatJsonRequires) {
  EXPECT_EQ(JsonString(u"a\"b\\c\td\n\x01"), "\"a\\\"b\\\\c\\td\\n\\u0001\"");
  EXPECT_EQ(JsonString(std::u16string(u"x") + char16_t(0xD801)), "\"x\\ud801\"");
  EXPECT_EQ(JsonString(std::string_view("\xE9\x9D\x92")), "\"\xE9\x9D\x92\"");
  EXPECT_EQ(JsonString(std::string_view("caf\xE9")), "\"caf\xC3\xA9\"");
}

}  // namespace
