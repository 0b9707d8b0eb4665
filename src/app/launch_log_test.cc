#include "app/launch_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class LaunchLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = testing::TempDir() + "launch_log_test.log";
    SetLaunchLogPathForTest(path_);
  }
  void TearDown() override {
    SetLaunchLogPathForTest("");
    std::remove(path_.c_str());
  }
  std::string path_;
};

TEST_F(LaunchLogTest, ResetEmptiesAndLinesEndInCrLf) {
  LaunchLogWrite("old\n");
  LaunchLogReset();
  EXPECT_EQ(ReadAll(path_), "");
  LaunchLogf("D3D9Check:%d\n", 1);
  LaunchLogf("time:%d", 95);
  LaunchLogWrite("next\n");
  EXPECT_EQ(ReadAll(path_), "D3D9Check:1\r\ntime:95next\r\n");
}

TEST_F(LaunchLogTest, OverlongLineIsCutNotOverrun) {
  LaunchLogReset();
  const std::string huge(5000, 'a');
  LaunchLogf("%s\n", huge.c_str());
  EXPECT_EQ(ReadAll(path_).size(), 1023u);
}

TEST_F(LaunchLogTest, LinesFromTwoThreadsNeverInterleave) {
  LaunchLogReset();
  auto writer = [](char c) {
    const std::string line = std::string(100, c) + "\n";
    for (int i = 0; i < 200; ++i) LaunchLogWrite(line.c_str());
  };
  std::thread a(writer, 'a'), b(writer, 'b');
  a.join();
  b.join();
  std::istringstream lines(ReadAll(path_));
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    ASSERT_EQ(line.size(), 101u);
    EXPECT_TRUE(line == std::string(100, 'a') + "\r" || line == std::string(100, 'b') + "\r");
    ++count;
  }
  EXPECT_EQ(count, 400);
}

TEST(ToCrLf, ConvertsEveryLineFeed) {
  EXPECT_EQ(ToCrLf("a\nb\n\n"), "a\r\nb\r\n\r\n");
  EXPECT_EQ(ToCrLf("time:95"), "time:95");
}

}  // namespace
