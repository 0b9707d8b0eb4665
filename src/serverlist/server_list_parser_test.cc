#include "serverlist/server_list_parser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/scramble.h"

namespace {

bool Parse(const std::string& doc, ServerList& list) {
  return ParseServerListDocument(doc.data(), doc.size(), list);
}

std::string Zone(const std::string& name, const std::string& preferred,
                 const std::string& extra = "") {
  return "<zone n=\"" + name + "\" p=\"" + preferred + "\" a=\"10.0.0.1:7000\" l=\"link\" x=\"5\">" +
         extra + "</zone>";
}

const char kDecl[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

TEST(ServerListParser, RootVersionAndZonesInDocumentOrder) {
  ServerList list;
  const std::string doc = std::string(kDecl) + "<list v=\"12003\" ignored=\"9\">" +
                          Zone("North", "0") + Zone("South", "1") + "</list>";
  ASSERT_TRUE(Parse(doc, list));
  EXPECT_EQ(list.required_version, 12003u);
  ASSERT_EQ(list.zones.size(), 2u);
  EXPECT_EQ(list.zones[0]->Name(), u"North");
  EXPECT_EQ(list.zones[1]->Name(), u"South");
  EXPECT_EQ(list.zones[1]->preferred, 1);
  EXPECT_STREQ(list.zones[0]->server_address, "10.0.0.1:7000");
  EXPECT_STREQ(list.zones[0]->link_text, "link");
  EXPECT_EQ(list.zones[0]->extra_value, 5);
  EXPECT_EQ(list.depth, 0);
  EXPECT_EQ(list.current_zone, nullptr);
}

TEST(ServerListParser, AttributesCountByPositionNotByName) {
  ServerList list;
  ASSERT_TRUE(Parse(std::string(kDecl) +
                        "<a b=\"20001\"><q z=\"East\" y=\"-1\" w=\"h:1\" v=\"L\" u=\"7\"/></a>",
                    list));
  EXPECT_EQ(list.required_version, 20001u);
  ASSERT_EQ(list.zones.size(), 1u);
  EXPECT_EQ(list.zones[0]->Name(), u"East");
  EXPECT_EQ(list.zones[0]->preferred, -1);
  EXPECT_STREQ(list.zones[0]->server_address, "h:1");
  EXPECT_EQ(list.zones[0]->extra_value, 7);
}

TEST(ServerListParser, PreferredFlagValues) {
  const struct {
    const char* value;
    int preferred;
  } cases[] = {{"0", 0}, {"1", 1}, {"-1", -1}, {"", 0}, {"abc", 0}, {"  +7x", 7}, {"99999999999", INT32_MAX}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    ServerList list;
    ASSERT_TRUE(Parse(std::string(kDecl) + "<l v=\"1\">" + Zone("Z", c.value) + "</l>", list));
    ASSERT_EQ(list.zones.size(), 1u);
    EXPECT_EQ(list.zones[0]->preferred, c.preferred);
  }
}

TEST(ServerListParser, TextsAreCutToTheirFieldsAndTerminated) {
  ServerList list;
  const std::string long_link(300, 'k');
  const std::string long_address(40, 'a');
  ASSERT_TRUE(Parse(std::string(kDecl) + "<l v=\"1\"><z n=\"ABCDEFGHIJKLMNOPQRST\" p=\"0\" a=\"" +
                        long_address + "\" l=\"" + long_link + "\"/></l>",
                    list));
  ASSERT_EQ(list.zones.size(), 1u);
  const ZoneRecord& z = *list.zones[0];
  EXPECT_EQ(z.Name(), u"ABCDEFGHIJKLMNOP");  // the first 16 code units
  EXPECT_EQ(z.name[kZoneNameUnits], 0);
  EXPECT_EQ(std::string(z.server_address), std::string(kServerAddressBytes, 'a'));
  // The link text is decoded from the first 128 bytes of its value.
  EXPECT_EQ(std::string(z.link_text), std::string(128, 'k'));
  EXPECT_EQ(z.extra_value, 0);  // missing attribute
}

// A double-byte code page in miniature, like 936: ASCII stays, every other
// character takes a lead and a trail byte.
std::string DoubleByteEncoder(std::u16string_view text) noexcept {
  std::string out;
  for (const char16_t c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0x81 + (c >> 9));
      out += static_cast<char>(0x40 + (c & 0x3F));
    }
  }
  return out;
}

TEST(ServerListParser, DoubleByteTextsAreCutBetweenCharacters) {
  std::string twenty;  // twenty times U+533A
  for (int i = 0; i < 20; ++i) twenty += "\xE5\x8C\xBA";
  const std::string doc = std::string(kDecl) + "<l v=\"1\"><z n=\"z\" p=\"0\" a=\"a" + twenty + "\" l=\"" +
                          twenty + "\"><s n=\"s\" x=\"1\" y=\"2\" t=\"bb" + twenty + "\" u=\"" + twenty +
                          "\"/></z></l>";
  ServerList list;
  ASSERT_TRUE(ParseServerListDocument(doc.data(), doc.size(), list, DoubleByteEncoder));
  ASSERT_EQ(list.zones.size(), 1u);
  ASSERT_EQ(list.zones[0]->servers.size(), 1u);
  const auto encoded = [](std::u16string prefix, int count) {
    prefix.append(static_cast<std::size_t>(count), u'\u533a');
    return DoubleByteEncoder(prefix);
  };
  const ZoneRecord& z = *list.zones[0];
  const struct {
    const char* field;
    std::string stored, expected;
  } cases[] = {
      {"address: the 16th character would be split", z.server_address, encoded(u"a", 15)},
      {"link text: fits whole", z.link_text, encoded(u"", 20)},
      {"entry text 1: fills the field exactly", z.servers[0].text1, encoded(u"bb", 15)},
      {"entry text 2", z.servers[0].text2, encoded(u"", 16)},
  };
  for (const auto& c : cases) EXPECT_EQ(c.stored, c.expected) << c.field;
}

TEST(ServerListParser, MissingAttributesReadAsEmpty) {
  ServerList list;
  ASSERT_TRUE(Parse(std::string(kDecl) + "<l v=\"0\"><z n=\"Only\"><s/></z><z/></l>", list));
  EXPECT_EQ(list.required_version, 0u);
  ASSERT_EQ(list.zones.size(), 2u);
  EXPECT_EQ(list.zones[0]->Name(), u"Only");
  EXPECT_STREQ(list.zones[0]->link_text, "");
  ASSERT_EQ(list.zones[0]->servers.size(), 1u);
  EXPECT_EQ(list.zones[0]->servers[0].name[0], 0);
  EXPECT_EQ(list.zones[1]->Name(), u"");
}

TEST(ServerListParser, Utf8NamesAndAnsiTexts) {
  ServerList list;
  // "Zoné東" and a character outside the Basic Multilingual Plane.
  ASSERT_TRUE(Parse(std::string(kDecl) +
                        "<l v=\"1\"><z n=\"Zon\xC3\xA9\xE6\x9D\xB1\xF0\x9F\x98\x80\" p=\"1\" "
                        "a=\"h\xC3\xA9\" l=\"x\"/></l>",
                    list));
  ASSERT_EQ(list.zones.size(), 1u);
  EXPECT_EQ(list.zones[0]->Name(), u"Zon\u00e9\u6771\U0001F600");
  EXPECT_STREQ(list.zones[0]->server_address, "h?");  // default conversion
}

TEST(ServerListParser, LevelThreeEntriesBelongToTheirZone) {
  ServerList list;
  ASSERT_TRUE(Parse(std::string(kDecl) + "<l v=\"1\">" +
                        Zone("A", "0", "<s n=\"one\" a=\"3\" b=\"4\" c=\"t1\" d=\"t2\"/>") +
                        Zone("B", "0", "<s n=\"two\"/><s n=\"three\"/>") + "</l>",
                    list));
  ASSERT_EQ(list.zones.size(), 2u);
  ASSERT_EQ(list.zones[0]->servers.size(), 1u);
  const ZoneServer& s = list.zones[0]->servers[0];
  EXPECT_EQ(std::u16string(s.name), u"one");
  EXPECT_EQ(s.value1, 3);
  EXPECT_EQ(s.value2, 4);
  EXPECT_STREQ(s.text1, "t1");
  EXPECT_STREQ(s.text2, "t2");
  EXPECT_EQ(s.zone, list.zones[0].get());
  ASSERT_EQ(list.zones[1]->servers.size(), 2u);
  EXPECT_EQ(list.zones[1]->servers[1].zone, list.zones[1].get());
}

TEST(ServerListParser, DeeperElementsAndTextChangeNothing) {
  const std::string plain = std::string(kDecl) + "<l v=\"7\">" + Zone("A", "1", "<s n=\"s\"/>") + "</l>";
  const std::string noisy = std::string(kDecl) + "<l v=\"7\">text<!-- c --><?pi x?>" +
                            Zone("A", "1", "<s n=\"s\">t<d n=\"deep\"><e n=\"deeper\"/></d></s>") +
                            "tail</l>";
  ServerList a, b;
  ASSERT_TRUE(Parse(plain, a));
  ASSERT_TRUE(Parse(noisy, b));
  ASSERT_EQ(b.zones.size(), 1u);
  EXPECT_EQ(b.required_version, a.required_version);
  ASSERT_EQ(b.zones[0]->servers.size(), 1u);
  EXPECT_EQ(std::u16string(b.zones[0]->servers[0].name), u"s");
}

TEST(ServerListParser, RejectsDocumentsThatDoNotStartWithTheDeclaration) {
  const std::string cases[] = {
      "", "<?xm", "\xEF\xBB\xBF<?xml version=\"1.0\"?><l v=\"1\"/>", "<l v=\"1\"/>",
      " <?xml version=\"1.0\"?><l v=\"1\"/>"};
  for (const std::string& doc : cases) {
    ServerList list;
    list.required_version = 42;
    EXPECT_FALSE(Parse(doc, list)) << doc;
    EXPECT_EQ(list.required_version, 42u);
  }
}

// Well-formed pages that are not server lists: a portal's login page, a
// maintenance notice, an empty root. None may stand in for the list.
TEST(ServerListParser, RejectsDocumentsThatAreNotServerLists) {
  const std::string zone = Zone("A", "1");
  const std::string cases[] = {
      "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>Login</title></head>"
      "<body><form action=\"/login\"><input name=\"user\"/></form></body></html>",
      "<l>" + zone + "</l>",              // no first attribute
      "<l v=\"\">" + zone + "</l>",        // empty
      "<l v=\"abc\">" + zone + "</l>",     // no digit
      "<l v=\" -x1\">" + zone + "</l>",    // the sign is not followed by a digit
      "<l v=\"12003\"></l>",              // no zone
      "<l v=\"12003\"><z/><z n=\"\" p=\"1\"/></l>",  // no zone with a name
      "<l v=\"12003\">",                  // cut before the first zone
  };
  for (const std::string& body : cases) {
    ServerList list;
    list.required_version = 42;
    EXPECT_FALSE(Parse(std::string(kDecl) + body, list)) << body;
    EXPECT_EQ(list.required_version, 42u) << body;
    EXPECT_TRUE(list.zones.empty()) << body;
  }
}

TEST(ServerListParser, AcceptsEveryNumericRootWithANamedZone) {
  const struct {
    const char* version;
    VersionNumber expected;
  } cases[] = {{"12003", 12003}, {"  +12003", 12003}, {"12003abc", 12003}, {"\t7", 7}, {"-1", 0xFFFFFFFFu}};
  for (const auto& c : cases) {
    ServerList list;
    ASSERT_TRUE(Parse(std::string(kDecl) + "<l v=\"" + c.version + "\"><z/>" + Zone("B", "0") + "</l>",
                      list))
        << c.version;
    EXPECT_EQ(list.required_version, c.expected) << c.version;
    EXPECT_EQ(list.zones.size(), 2u) << c.version;
  }
}

TEST(ServerListParser, TruncatedDocumentKeepsWhatCameBefore) {
  ServerList list;
  const std::string doc = std::string(kDecl) + "<l v=\"12003\">" + Zone("First", "0") +
                          "<zone n=\"Sec";
  ASSERT_TRUE(Parse(doc, list));
  ASSERT_EQ(list.zones.size(), 1u);
  EXPECT_EQ(list.zones[0]->Name(), u"First");
}

TEST(ServerListParser, LoadsAppendZones) {
  ServerList list;
  const std::string doc = std::string(kDecl) + "<l v=\"1\">" + Zone("A", "0") + "</l>";
  ASSERT_TRUE(Parse(doc, list));
  ASSERT_TRUE(Parse(doc, list));
  EXPECT_EQ(list.zones.size(), 2u);
}

// Hostile documents: each must end promptly, use bounded memory and not crash.
TEST(ServerListParserHostile, DeepNestingStopsAtTheDepthLimit) {
  std::string doc = std::string(kDecl) + "<l v=\"3\">" + Zone("Kept", "0");
  const int levels = 200000;
  doc.reserve(doc.size() + levels * 7);
  for (int i = 0; i < levels; ++i) doc += "<d a=\"\">";
  ServerList list;
  ASSERT_TRUE(Parse(doc, list));
  EXPECT_EQ(list.required_version, 3u);
  ASSERT_EQ(list.zones.size(), 2u);  // "Kept" and the first <d>, which is at level 2
  EXPECT_EQ(list.zones[0]->Name(), u"Kept");
  EXPECT_EQ(list.depth, 0);
}

TEST(ServerListParserHostile, BillionLaughsIsStoppedByExpat) {
  std::string doc = std::string(kDecl) + "<!DOCTYPE l [<!ENTITY lol \"lollollollollollollollollollol\">";
  for (int i = 1; i <= 9; ++i) {
    doc += "<!ENTITY lol" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) doc += "&lol" + (i == 1 ? std::string() : std::to_string(i - 1)) + ";";
    doc += "\">";
  }
  doc += "]><l v=\"5\"><z n=\"&lol9;\"/><z n=\"after\"/></l>";
  ServerList list;
  // The parse stops at the expansion, before any zone: not a list.
  EXPECT_FALSE(Parse(doc, list));
  EXPECT_TRUE(list.zones.empty());
}

TEST(ServerListParserHostile, HugeAttributesAreCut) {
  const std::string huge(1024 * 1024, 'h');
  ServerList list;
  ASSERT_TRUE(Parse(std::string(kDecl) + "<l v=\"1\"><z n=\"" + huge + "\" p=\"" + huge +
                        "\" a=\"x\" l=\"" + huge + "\"/></l>",
                    list));
  ASSERT_EQ(list.zones.size(), 1u);
  EXPECT_EQ(list.zones[0]->Name(), std::u16string(kZoneNameUnits, u'h'));
  EXPECT_EQ(list.zones[0]->preferred, 0);
  EXPECT_EQ(std::strlen(list.zones[0]->link_text), 128u);
}

TEST(ServerListParserHostile, InvalidUtf8EndsTheParseAfterWhatWasRead) {
  ServerList list;
  ASSERT_TRUE(Parse(std::string(kDecl) + "<l v=\"1\">" + Zone("Good", "0") +
                        "<z n=\"bad\xC3\x28\xFF\xE2\x82\"/>" + Zone("Later", "0") + "</l>",
                    list));
  ASSERT_EQ(list.zones.size(), 1u);
  EXPECT_EQ(list.zones[0]->Name(), u"Good");
}

TEST(ServerListParserHostile, ElementCountsAreCapped) {
  std::string doc = std::string(kDecl) + "<l v=\"1\">";
  for (std::size_t i = 0; i < kMaxZones + 10; ++i) doc += "<z n=\"z\"><s/></z>";
  doc += "<z><s/><s/></z></l>";
  ServerList list;
  ASSERT_TRUE(Parse(doc, list));
  EXPECT_EQ(list.zones.size(), kMaxZones);
  EXPECT_EQ(list.zones.back()->servers.size(), 1u);  // entries of dropped zones are dropped too

  std::string many = std::string(kDecl) + "<l v=\"1\"><z n=\"z\">";
  for (std::size_t i = 0; i < kMaxZoneServersTotal + 10; ++i) many += "<s/>";
  many += "</z></l>";
  ServerList list2;
  ASSERT_TRUE(Parse(many, list2));
  EXPECT_EQ(list2.zones[0]->servers.size(), kMaxZoneServersTotal);
}


TEST(DecimalInt, Table) {
  const struct {
    const char* in;
    std::size_t max_bytes;
    std::int32_t out;
  } cases[] = {
      {"12003", 128, 12003}, {" \t-42z", 128, -42}, {"+", 128, 0},      {"", 128, 0},
      {"x1", 128, 0},        {"2147483648", 128, INT32_MAX},            {"-2147483648", 128, INT32_MIN},
      {"-99999999999999999999", 128, INT32_MIN},                         {"123456", 3, 123},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(ParseDecimalInt(c.in, c.max_bytes), c.out);
  }
}

TEST(ServerListFile, StoredScrambledFileLoads) {
  const auto dir = std::filesystem::temp_directory_path() / "net_serverlist_file_test";
  std::filesystem::create_directories(dir);
  std::string doc = std::string(kDecl) + "<l v=\"12003\">" + Zone("A", "0") + Zone("B", "1") + "</l>";
  ScrambleBytes(reinterpret_cast<unsigned char*>(doc.data()), doc.size());
  {
    std::ofstream out(dir / "serverlist.xml", std::ios::binary);
    out << doc;
  }
  ServerList list;
  EXPECT_TRUE(ParseServerListFile(dir / "serverlist.xml", list));
  EXPECT_EQ(list.required_version, 12003u);
  EXPECT_EQ(list.zones.size(), 2u);

  ServerList untouched;
  EXPECT_FALSE(ParseServerListFile(dir / "missing.xml", untouched));
  // Larger than any list the launcher stores: refused before it is read.
  std::string big = std::string(kDecl) + "<l v=\"1\">" + Zone("A", "0") + "</l>";
  big.resize(kMaxStoredListBytes + 1, ' ');
  ScrambleBytes(reinterpret_cast<unsigned char*>(big.data()), big.size());
  {
    std::ofstream out(dir / "big.xml", std::ios::binary);
    out << big;
  }
  EXPECT_FALSE(ParseServerListFile(dir / "big.xml", untouched));
  EXPECT_TRUE(untouched.zones.empty());
  std::filesystem::remove_all(dir);
}

}  // namespace
