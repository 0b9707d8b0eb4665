#include "package/patch_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/qvk_test_util.h"
#include "package/qvk_writer.h"

namespace {

// key=entry@version pairs in key order, for compact expectations.
std::string Dump(const PatchListIndex& index) {
  std::string out;
  for (const auto& [key, entry] : index) {
    out += key + "=" + entry.entry_name + "@" + std::to_string(entry.version) + ";";
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
  };
  for (const ParseCase& c : cases) {
    PatchListIndex window;
    window["stale"] = {};
    EXPECT_EQ(ParsePatchList(c.text, PatchListMode::kWindow, &window, nullptr), c.ok) << c.what;
    EXPECT_EQ(Dump(window), c.window) << c.what;
    PatchListIndex worker;
    std::vector<int32_t> versions = {99};
    EXPECT_EQ(ParsePatchList(c.text, PatchListMode::kWorker, &worker, &versions), c.ok) << c.what;
    EXPECT_EQ(Dump(worker), c.worker) << c.what;
  }
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
}

TEST(ParsePatchList, WindowModeReportsDataError) {
  PatchListIndex index;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(ParsePatchList("A\ta\n", PatchListMode::kWindow, &index, nullptr));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "data error\n");
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
  EXPECT_EQ(index.size(), 1u);
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
  EXPECT_NE(window.find("LINK.INI"), window.end());
  EXPECT_EQ(worker.find("LINK.INI"), worker.end());
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
  PatchListIndex index = {{"OLD", {}}};
  std::vector<int32_t> versions = {1};
  EXPECT_EQ(LoadPatchList(7, &index, &versions), 1);
  EXPECT_TRUE(index.empty());
  EXPECT_TRUE(versions.empty());
}

TEST_F(LoadPatchListTest, MissingPackageOrEntryLeavesTheIndex) {
  WritePackage("Verpatch10002.qvk", QvkBuildArchive({{u"other.txt", "A\ta\t1\n"}}));
  WritePackage("Verpatch10004.qvk", "not an archive at all");
  PatchListIndex index = {{"OLD", {"old", 1}}};
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
