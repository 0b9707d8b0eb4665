#include "base/launch_log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
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
    SetLaunchLogPath(path_);
  }
  void TearDown() override {
    SetLaunchLogPath("");
    SetLaunchLogRetryWaitForTest(nullptr);
    std::remove(path_.c_str());
  }
  std::string path_;
};

// Holds the first failed attempt at a line in its retry wait until another
// thread's line has been written.
struct StalledRetry {
  std::promise<void> waiting;        // the failing line is in its first wait
  std::promise<void> other_written;  // the other thread's line has been written
  std::atomic<bool> first{true};
  bool other_got_through = false;
};
StalledRetry* g_stall = nullptr;

void StallFirstRetry() noexcept {
  if (!g_stall->first.exchange(false)) return;
  g_stall->waiting.set_value();
  // Bounded only so that a writer that holds up the other thread fails the
  // test instead of hanging it.
  g_stall->other_got_through = g_stall->other_written.get_future().wait_for(
                                   std::chrono::seconds(10)) == std::future_status::ready;
}

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

TEST_F(LaunchLogTest, ALineBeingRetriedDoesNotHoldUpAnotherThreadsLine) {
  LaunchLogReset();
  StalledRetry stall;
  g_stall = &stall;
  SetLaunchLogRetryWaitForTest(&StallFirstRetry);
  // This line cannot be written: its directory does not exist.
  SetLaunchLogPath(testing::TempDir() + "no_such_directory/launch.log");
  std::thread failing([] { LaunchLogWrite("lost\n"); });
  stall.waiting.get_future().wait();

  SetLaunchLogPath(path_);
  LaunchLogWrite("written\n");
  stall.other_written.set_value();
  failing.join();
  g_stall = nullptr;
  EXPECT_TRUE(stall.other_got_through);
  EXPECT_EQ(ReadAll(path_), "written\r\n");
}

TEST(ToCrLf, ConvertsEveryLineFeed) {
  EXPECT_EQ(ToCrLf("a\nb\n\n"), "a\r\nb\r\n\r\n");
  EXPECT_EQ(ToCrLf("time:95"), "time:95");
}

}  // namespace
