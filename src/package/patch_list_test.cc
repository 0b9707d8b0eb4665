#include "package/patch_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/qvk_test_util.h"
#include "package/qvk_writer.h"

namespace {

// key=entry@version pairs in key order, for compact expectations: every key
// of the records, as Find returns it.
std::string Dump(const PatchListIndex& index) {
  std::set<std::string> keys;
  for (size_t i = 0; i < index.record_count(); ++i) keys.insert(index.Record(i).key);
  EXPECT_EQ(index.CountKeys(), keys.size());
  std::string out;
  for (const std::string& key : keys) {
    const std::optional<PatchListEntry> entry = index.Find(key);
    if (!entry) return out + key + " not found";
    out += key + "=" + entry->entry_name + "@" + std::to_string(entry->version) + ";";
  }
  return out;
}

struct ParseCase {
  const char* what;
  const char* text;
  bool ok;
  const char* window;  // index in window mode
  const char* worker;  // index in worker mode
};

TEST(ParsePatchList, BothModes) {
  const ParseCase cases[] = {
      {"empty", "", true, "", ""},
      {"only blanks", " \r\n\t\n", true, "", ""},
      {"two records", "LINK.INI\tlink.ini\t10003\nGAME.EXE\tSystem/game.exe\t10002\n", true,
       "GAME.EXE=System/game.exe@10002;LINK.INI=link.ini@10003;",
       "GAME.EXE=System/game.exe@10002;LINK.INI=link.ini@10003;"},
      {"no final line feed", "A\ta\t1", true, "A=a@1;", "A=a@1;"},
      {"lower-case key", "link.ini\tsub/Link.ini\t5\n", true, "LINK.INI=sub/Link.ini@5;",
       "link.ini=sub/Link.ini@5;"},
      {"blank lines and CR LF", "\r\n\r\nA\ta\t1\r\n\r\n\r\nB\tb\t2\r\n\r\n", true,
       "A=a@1;B=b@2;", "A=a@1;B=b@2;"},
      {"blanks instead of tabs", "A  a   1\nB b 2\n", true, "A=a@1;B=b@2;", "A=a@1;B=b@2;"},
      {"rest of the line ignored", "A\ta\t1\tfourth field # comment\nB\tb\t2x\n", true,
       "A=a@1;B=b@2;", "A=a@1;B=b@2;"},
      {"later record wins", "K\tfirst\t1\nK\tsecond\t2\n", true, "K=second@2;", "K=second@2;"},
      {"signs", "A\ta\t+7\nB\tb\t-1\n", true, "A=a@7;B=b@4294967295;",
       "A=a@7;B=b@4294967295;"},
      {"version not a number", "A\ta\t1\nB\tb\tx\nC\tc\t3\n", false, "A=a@1;", "A=a@1;"},
      {"sign without digits", "A\ta\t-\n", false, "", ""},
      {"last record with two fields", "A\ta\t1\nB\tb\n", false, "A=a@1;", "A=a@1;"},
      {"one field", "A\n", false, "", ""},
      {"version past 32 bits", "A\ta\t2147483648\n", false, "", ""},
      {"lowest version", "A\ta\t-2147483648\n", true, "A=a@2147483648;", "A=a@2147483648;"},
      // Blanks include line feeds, so fields may follow on later lines; the
      // next record is still read from the first line feed after the key.
      {"fields on later lines", "A a\n1 x 2\n", true, "1=x@2;A=a@1;", "1=x@2;A=a@1;"},
      {"line feed before the name", "A \n a 1\nB b 2\n", false, "A=a@1;", "A=a@1;"},
      {"line feed before the version", "A a\t\n\t7 rest\nB b 2\n", false, "A=a@7;", "A=a@7;"},
      {"one field per line", "A\nB\n1\n2\n3\n", false, "1=2@3;A=B@1;B=1@2;",
       "1=2@3;A=B@1;B=1@2;"},
      {"key at the very start", "K k 1", true, "K=k@1;", "K=k@1;"},
  };
  for (const ParseCase& c : cases) {
    PatchListIndex window;
    ASSERT_TRUE(ParsePatchList("stale\tx\t0\n", PatchListMode::kWindow, &window, nullptr));
    EXPECT_EQ(ParsePatchList(c.text, PatchListMode::kWindow, &window, nullptr), c.ok) << c.what;
    EXPECT_EQ(Dump(window), c.window) << c.what;
    PatchListIndex worker;
    ASSERT_TRUE(ParsePatchList("stale\tx\t0\n", PatchListMode::kWorker, &worker, nullptr));
    std::vector<int32_t> versions = {99};
    EXPECT_EQ(ParsePatchList(c.text, PatchListMode::kWorker, &worker, &versions), c.ok) << c.what;
    EXPECT_EQ(Dump(worker), c.worker) << c.what;
    // The worker's list seen with window keys is the window's own parse.
    worker.UseWindowKeys();
    EXPECT_EQ(Dump(worker), c.window) << c.what;
  }
}

// All bytes of a literal, zero bytes inside included.
template <size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

// A text handed over reads up to its first zero byte, as the copied one does.
TEST(ParsePatchList, MovedTextEndsAtItsFirstZeroByte) {
  struct Case {
    std::string text;
    bool ok;
    const char* dump;
  } const cases[] = {
      {Bytes("A\ta\t1\n\0B\tb\t2\n"), true, "A=a@1;"},
      {Bytes("A\ta\t12\0" "3\n"), true, "A=a@12;"},
      {Bytes("A\ta\0\t1\n"), false, ""},
      {Bytes("\0A\ta\t1\n"), true, ""},
  };
  for (const Case& c : cases) {
    PatchListIndex index;
    std::vector<int32_t> versions;
    EXPECT_EQ(ParsePatchList(std::string(c.text), PatchListMode::kWorker, &index, &versions), c.ok)
        << c.text;
    EXPECT_EQ(Dump(index), c.dump) << c.text;
  }
}

TEST(PatchListIndex, FindTakesTheLastRecordUnderTheKeyAsTheModeReadsIt) {
  // Keys differing only in case are one key in window mode, three in worker mode.
  const char* text =
      "link.ini\tfirst\t1\nLINK.INI\tsecond\t2\nLink.Ini\tthird\t3\n"
      "GRAPHICSLEVEL.INIX\tx\t4\n\xb0\xa1z.ini\tgb\t5\n";
  PatchListIndex window;
  PatchListIndex worker;
  ASSERT_TRUE(ParsePatchList(text, PatchListMode::kWindow, &window, nullptr));
  ASSERT_TRUE(ParsePatchList(text, PatchListMode::kWorker, &worker, nullptr));
  struct Case {
    const PatchListIndex* index;
    const char* key;
    const char* found;  // entry@version, or null
  } const cases[] = {
      {&window, "LINK.INI", "third@3"},
      {&window, "link.ini", nullptr},  // looked up exactly as given
      {&window, "Link.Ini", nullptr},
      {&window, "LINK.IN", nullptr},
      {&window, "XINK.INI", nullptr},  // same length, first byte apart
      {&window, "LINK.INJ", nullptr},  // last byte apart
      {&window, "GRAPHICSLEVEL.INI", nullptr},
      {&window, "", nullptr},
      {&window, "\xb0\xa1Z.INI", "gb@5"},  // only a-z are upper-cased
      {&worker, "LINK.INI", "second@2"},
      {&worker, "link.ini", "first@1"},
      {&worker, "Link.Ini", "third@3"},
      {&worker, "LINK.INIX", nullptr},
      {&worker, "\xb0\xa1z.ini", "gb@5"},
      {&worker, "\xb0\xa1Z.INI", nullptr},
  };
  for (const Case& c : cases) {
    const std::optional<PatchListEntry> entry = c.index->Find(c.key);
    const std::string what = std::string(c.index == &window ? "window " : "worker ") + c.key;
    if (c.found == nullptr) {
      EXPECT_FALSE(entry.has_value()) << what;
      continue;
    }
    ASSERT_TRUE(entry.has_value()) << what;
    EXPECT_EQ(entry->key, c.key) << what;
    EXPECT_EQ(entry->entry_name + "@" + std::to_string(entry->version), c.found) << what;
  }
  EXPECT_EQ(window.CountKeys(), 3u);
  EXPECT_EQ(worker.CountKeys(), 5u);
  EXPECT_EQ(worker.record_count(), 5u);
  EXPECT_EQ(worker.Record(0).entry_name, "first");
  EXPECT_EQ(worker.Record(5).key, "");  // past the end
}

TEST(ParsePatchList, WorkerVersionListIsDistinctAndSorted) {
  PatchListIndex index;
  std::vector<int32_t> versions;
  ASSERT_TRUE(ParsePatchList("A\ta\t10003\nB\tb\t10001\nC\tc\t10003\nD\td\t10002\n",
                             PatchListMode::kWorker, &index, &versions));
  EXPECT_EQ(versions, (std::vector<int32_t>{10001, 10002, 10003}));
  ASSERT_TRUE(ParsePatchList("A\ta\t5\nB\tb\t-3\n", PatchListMode::kWorker, &index, &versions));
  EXPECT_EQ(versions, (std::vector<int32_t>{-3, 5}));  // signed order
  // A failed parse leaves the versions seen so far, unsorted.
  EXPECT_FALSE(ParsePatchList("A\ta\t9\nB\tb\t2\nC\tc\n", PatchListMode::kWorker, &index,
                              &versions));
  EXPECT_EQ(versions, (std::vector<int32_t>{9, 2}));
  // Window mode only clears the list.
  versions = {1};
  ASSERT_TRUE(ParsePatchList("A\ta\t5\n", PatchListMode::kWindow, &index, &versions));
  EXPECT_TRUE(versions.empty());
}

// Many distinct versions, close together and far apart, in orders that bring
// new ones at either end or in between the known ones and bring known ones
// back: the list matches the distinct values, sorted, and on failure in
// first-seen order.
TEST(ParsePatchList, WorkerVersionListWithManyDistinctVersions) {
  const int n = 5000;
  struct Pattern {
    const char* what;
    int32_t (*version)(int i);
  } const patterns[] = {
      {"ascending", [](int i) { return i; }},
      {"ascending, far apart", [](int i) { return i * 100003; }},
      {"descending, far apart", [](int i) { return -i * 100003; }},
      {"from both ends, far apart", [](int i) { return (i % 2 == 0 ? i : -i) * 100003; }},
      {"scattered, each twice, near and far",
       [](int i) {
         const int32_t v = i / 2 * 7919 % 3001;
         return v % 2 == 0 ? v : v * 40009;
       }},
      {"a few, long apart", [](int i) { return i % 3 * 1000000; }},
      {"rising then revisited", [](int i) { return i < 2500 ? i * 3 : (i - 2500) * 5; }},
      {"the ends of the range",
       [](int i) {
         const int32_t ends[] = {INT32_MIN, INT32_MAX, 0, -1, INT32_MIN + 1, INT32_MAX - 1};
         return ends[i % 6];
       }},
  };
  for (const Pattern& p : patterns) {
    std::string text;
    std::vector<int32_t> first_seen;
    for (int i = 0; i < n; ++i) {
      const int32_t v = p.version(i);
      text += "K" + std::to_string(i) + "\tk\t" + std::to_string(v) + "\n";
      if (std::find(first_seen.begin(), first_seen.end(), v) == first_seen.end()) {
        first_seen.push_back(v);
      }
    }
    std::vector<int32_t> sorted = first_seen;
    std::sort(sorted.begin(), sorted.end());
    PatchListIndex index;
    std::vector<int32_t> versions;
    ASSERT_TRUE(ParsePatchList(text.c_str(), PatchListMode::kWorker, &index, &versions)) << p.what;
    EXPECT_EQ(versions, sorted) << p.what;
    EXPECT_FALSE(
        ParsePatchList((text + "BAD\n").c_str(), PatchListMode::kWorker, &index, &versions))
        << p.what;
    EXPECT_EQ(versions, first_seen) << p.what;
  }
}

// The launcher prints "data error" itself; the operators' tool parses in
// window mode too and keeps its output its own.
TEST(ParsePatchList, PrintsNothingInEitherMode) {
  PatchListIndex index;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(ParsePatchList("A\ta\n", PatchListMode::kWindow, &index, nullptr));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  testing::internal::CaptureStdout();
  EXPECT_FALSE(ParsePatchList("A\ta\n", PatchListMode::kWorker, &index, nullptr));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(ParsePatchList, FieldsLongerThan259BytesAreRejected) {
  const std::string ok_key(259, 'K');
  const std::string long_key(260, 'K');
  PatchListIndex index;
  EXPECT_TRUE(ParsePatchList((ok_key + "\t" + ok_key + "\t1\n").c_str(), PatchListMode::kWorker,
                             &index, nullptr));
  EXPECT_EQ(index.CountKeys(), 1u);
  EXPECT_FALSE(ParsePatchList(("A\ta\t1\n" + long_key + "\tx\t1\n").c_str(),
                              PatchListMode::kWorker, &index, nullptr));
  EXPECT_EQ(Dump(index), "A=a@1;");
  EXPECT_FALSE(ParsePatchList(("A\t" + long_key + "\t1\n").c_str(), PatchListMode::kWorker,
                              &index, nullptr));
  EXPECT_FALSE(ParsePatchList(nullptr, PatchListMode::kWorker, &index, nullptr));
}

TEST(ParsePatchList, ManyBlankLinesParseInLinearTime) {
  // Every line end is a scan start; a blank run must not be walked once per line.
  const std::string text = std::string(2000000, '\n') + "A\ta\t1\n";
  PatchListIndex index;
  EXPECT_TRUE(ParsePatchList(text.c_str(), PatchListMode::kWorker, &index, nullptr));
  EXPECT_EQ(Dump(index), "A=a@1;");
}

TEST(ParsePatchList, WindowKeysAreUpperCasedWorkerKeysAreNot) {
  PatchListIndex window;
  PatchListIndex worker;
  std::vector<int32_t> versions;
  const char* text = "link.ini\tlink.ini\t10001\n";
  ASSERT_TRUE(ParsePatchList(text, PatchListMode::kWindow, &window, nullptr));
  ASSERT_TRUE(ParsePatchList(text, PatchListMode::kWorker, &worker, &versions));
  EXPECT_TRUE(window.Find("LINK.INI").has_value());
  EXPECT_FALSE(worker.Find("LINK.INI").has_value());
}

class LoadPatchListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_dir_ = std::filesystem::current_path();
    std::filesystem::create_directories(dir_.path() / "System");
    std::filesystem::current_path(dir_.path());
  }
  void TearDown() override { std::filesystem::current_path(old_dir_); }
  void WritePackage(const char* name, const std::string& image) {
    WriteAll(dir_.path() / "System" / name, image);
  }

  TestDir dir_;
  std::filesystem::path old_dir_;
};

TEST_F(LoadPatchListTest, LoadsTheCurrentPackagesList) {
  WritePackage("Verpatch10003.qvk",
               QvkBuildArchive({{u"PatchList.txt", "LINK.INI\tlink.ini\t10003\nX\tx\t10001\n"}}));
  PatchListIndex index;
  std::vector<int32_t> versions;
  EXPECT_EQ(LoadPatchList(10003, &index, &versions), 1);
  EXPECT_EQ(Dump(index), "LINK.INI=link.ini@10003;X=x@10001;");
  EXPECT_EQ(versions, (std::vector<int32_t>{10001, 10003}));
}

TEST_F(LoadPatchListTest, EmptyListLoads) {
  WritePackage("Verpatch00007.qvk", QvkBuildArchive({{u"PatchList.txt", ""}}));
  PatchListIndex index;
  ASSERT_TRUE(ParsePatchList("OLD\told\t1\n", PatchListMode::kWorker, &index, nullptr));
  std::vector<int32_t> versions = {1};
  EXPECT_EQ(LoadPatchList(7, &index, &versions), 1);
  EXPECT_EQ(index.record_count(), 0u);
  EXPECT_TRUE(versions.empty());
}

TEST_F(LoadPatchListTest, MissingPackageOrEntryLeavesTheIndex) {
  WritePackage("Verpatch10002.qvk", QvkBuildArchive({{u"other.txt", "A\ta\t1\n"}}));
  WritePackage("Verpatch10004.qvk", "not an archive at all");
  PatchListIndex index;
  ASSERT_TRUE(ParsePatchList("OLD\told\t1\n", PatchListMode::kWorker, &index, nullptr));
  std::vector<int32_t> versions = {1};
  for (VersionNumber v : {10001u, 10002u, 10004u}) {
    EXPECT_EQ(LoadPatchList(v, &index, &versions), 0) << v;
    EXPECT_EQ(Dump(index), "OLD=old@1;");
    EXPECT_EQ(versions, std::vector<int32_t>{1});
  }
}

TEST_F(LoadPatchListTest, MalformedListFailsWithTheRecordsBeforeIt) {
  WritePackage("Verpatch10005.qvk", QvkBuildArchive({{u"PatchList.txt", "A\ta\t1\nB\tb\n"}}));
  PatchListIndex index;
  std::vector<int32_t> versions;
  EXPECT_EQ(LoadPatchList(10005, &index, &versions), 0);
  EXPECT_EQ(Dump(index), "A=a@1;");
}

}  // namespace
