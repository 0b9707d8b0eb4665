#include "update/program_swap.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/test_dir.h"

namespace fs = std::filesystem;

namespace {

void Write(const fs::path& path, const std::string& data) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << data;
}

// The disk, until the process "dies" after `allowed` renames and deletes:
// every later one does nothing, as after a kill.
class DyingFiles : public SwapFiles {
 public:
  explicit DyingFiles(int allowed) : allowed_(allowed) {}
  bool Exists(const fs::path& path) override { return disk_.Exists(path); }
  bool Rename(const fs::path& from, const fs::path& to) override { return Step() && disk_.Rename(from, to); }
  bool Replace(const fs::path& from, const fs::path& to) override { return Step() && disk_.Replace(from, to); }
  bool Remove(const fs::path& path) override { return Step() && disk_.Remove(path); }
  int steps() const { return steps_; }

 private:
  bool Step() {
    ++steps_;
    return steps_ <= allowed_;
  }
  DiskSwapFiles disk_{0};
  int allowed_;
  int steps_ = 0;
};

TEST(ProgramSwap, KilledAtEachStepTheNextStartFindsAProgramAndTheNextSwapEndsNew) {
  const struct {
    const char* name;
    bool running;       // the program swaps itself
    bool leftover_old;  // an old copy an earlier swap left
  } cases[] = {{"running", true, false},
               {"running, old copy left", true, true},
               {"not running", false, false},
               {"not running, old copy left", false, true}};
  for (const auto& c : cases) {
    for (int allowed = 0;; ++allowed) {
      TestDir dir;
      const fs::path installed = dir / "downloader.exe";
      const fs::path fresh = dir / "download" / "downloader-0123456789abcdef.exe";
      Write(installed, "old");
      Write(fresh, "new");
      if (c.leftover_old) Write(dir / "downloader.old.exe", "older");
      DyingFiles dying(allowed);
      const bool swapped = SwapProgram(dying, installed, fresh, c.running);
      if (!c.running) {
        // A program that does not run is there at every step.
        EXPECT_TRUE(fs::exists(installed)) << c.name << ", " << allowed << " steps";
      }
      const bool killed = dying.steps() > allowed;
      EXPECT_EQ(swapped, !killed) << c.name << ", " << allowed << " steps";

      // The next start of either program.
      DiskSwapFiles disk(0);
      TidyPrograms(disk, dir.path());
      const std::string now = ReadAll(installed);
      EXPECT_TRUE(now == "old" || now == "new") << c.name << ", " << allowed << " steps: " << now;
      EXPECT_FALSE(fs::exists(dir / "downloader.old.exe")) << c.name << ", " << allowed << " steps";
      if (!killed) {
        EXPECT_EQ(now, "new") << c.name;
        break;
      }
      // The next update swaps again and ends with the new program.
      if (fs::exists(fresh)) {
        ASSERT_TRUE(SwapProgram(disk, installed, fresh, c.running)) << c.name << ", " << allowed << " steps";
        EXPECT_EQ(ReadAll(installed), "new");
      }
      ASSERT_LT(allowed, 10) << "the swap never ended";
    }
  }
}

// The disk, but a file held by a scanner: renames to or from it are refused.
class HeldFiles : public DiskSwapFiles {
 public:
  explicit HeldFiles(fs::path held) : DiskSwapFiles(0), held_(std::move(held)) {}
  bool Rename(const fs::path& from, const fs::path& to) override {
    return from != held_ && to != held_ && DiskSwapFiles::Rename(from, to);
  }

 private:
  fs::path held_;
};

TEST(ProgramSwap, ARefusedSwapOfTheRunningProgramGivesItsNameBack) {
  TestDir dir;
  const fs::path installed = dir / "downloader.exe";
  const fs::path fresh = dir / "download" / "downloader-0123456789abcdef.exe";
  Write(installed, "old");
  Write(fresh, "new");
  HeldFiles files(fresh);
  EXPECT_FALSE(SwapProgram(files, installed, fresh, true));
  EXPECT_EQ(ReadAll(installed), "old");
  EXPECT_FALSE(fs::exists(dir / "downloader.old.exe"));
  EXPECT_EQ(ReadAll(fresh), "new");
}

TEST(ProgramSwap, AMissingProgramComesBackFromItsOldCopy) {
  TestDir dir;
  Write(dir / "launcher.old.exe", "old launcher");
  Write(dir / "downloader.exe", "downloader");
  DiskSwapFiles disk(0);
  TidyPrograms(disk, dir.path());
  EXPECT_EQ(ReadAll(dir / "launcher.exe"), "old launcher");
  EXPECT_FALSE(fs::exists(dir / "launcher.old.exe"));
  EXPECT_EQ(ReadAll(dir / "downloader.exe"), "downloader");
  EXPECT_EQ(OldProgramName("launcher.exe"), "launcher.old.exe");
}

}  // namespace
