#include "package/qvk_verify.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/qvk_format.h"
#include "package/qvk_writer.h"

namespace {

std::vector<std::string> VerifyImage(const std::string& image) {
  QvkMemoryFile file(image);
  return QvkVerify(&file);
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

// An archive built from these records after one good entry "good" (data "abc" at 0).
std::string Build(const std::vector<QvkRawRecord>& extra) {
  QvkMemoryFile file;
  QvkWriter w(&file);
  w.AddEntry(u"good", "abc", 3);
  for (const QvkRawRecord& r : extra) w.AddRecord(r);
  w.Finish();
  return file.bytes();
}

QvkRawRecord Record(const std::u16string& name, int32_t offset, int32_t size) {
  QvkRawRecord r;
  r.name = name;
  r.data_offset = offset;
  r.data_size = size;
  r.name_hash = QvkNameHash(name);
  return r;
}

TEST(QvkVerify, CleanArchivesHaveNoProblems) {
  EXPECT_EQ(Joined(VerifyImage(QvkBuildArchive({}))), "");
  EXPECT_EQ(Joined(VerifyImage(QvkBuildArchive({{u"a", "1"}, {u"b/c", ""}, {u"d", "22"}}))), "");
  // A deleted record and a zero-size entry sharing an offset are fine.
  EXPECT_EQ(Joined(VerifyImage(Build({Record(u"x", 0, -1), Record(u"y", 1, 0)}))), "");
}

TEST(QvkVerify, NamesEachProblem) {
  QvkRawRecord wrong_hash = Record(u"h", 0, 1);
  wrong_hash.name_hash ^= 1;
  const struct {
    const char* what;
    std::string image;
    const char* expected;
  } cases[] = {
      {"too short", "0123", "shorter than the 16-byte trailer"},
      {"bad magic", std::string(20, 'x'), "bad magic"},
      {"overlap", Build({Record(u"o", 2, 1)}), "\"o\" overlaps record 0 \"good\""},
      {"outside", Build({Record(u"far", 100000, 1)}), "\"far\": data lies outside the file"},
      {"into the directory", Build({Record(u"d", 3, 2)}), "\"d\" overlaps the directory"},
      {"wrong hash", Build({wrong_hash}), "\"h\": stored hash does not match the name"},
      {"duplicate", Build({Record(u"GOOD", 0, 0)}), "\"GOOD\": duplicate name (first: record 0)"},
  };
  for (const auto& c : cases) {
    const std::string report = Joined(VerifyImage(c.image));
    EXPECT_NE(report.find(c.expected), std::string::npos) << c.what << ":\n" << report;
  }
}

TEST(QvkVerify, StopsAtABrokenDirectoryAndCapsItsReport) {
  std::string image = QvkBuildArchive({{u"a", "1"}});
  image[image.size() - 12] = 5;  // five records announced, one present
  EXPECT_NE(Joined(VerifyImage(image)).find("runs past the end of the directory"),
            std::string::npos);

  std::vector<QvkRawRecord> many;
  for (int i = 0; i < 150; ++i) many.push_back(Record(u"far" + std::u16string(1, u'a' + i % 26) +
                                                      std::u16string(1, u'a' + i / 26), -5, 1));
  const std::vector<std::string> lines = VerifyImage(Build(many));
  ASSERT_EQ(lines.size(), 101u);
  EXPECT_EQ(lines.back(), "(50 more problems)");
}

}  // namespace
