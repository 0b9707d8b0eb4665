#include "hardware/graphics_level.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

constexpr int32_t kFullHd = 1920 * 1080;
constexpr int32_t kXga = 1024 * 768;

// A machine whose every probe is comfortably high; each case changes a few.
LevelInputs Machine() {
  LevelInputs in;
  in.video_memory_mb = 2048;
  in.available_memory_mb = 3500;
  in.cpu_clock_ghz = 3.4f;
  in.adapter_level = 3;
  in.cpu_class = 3;
  in.desktop_pixels = kFullHd;
  return in;
}

struct ChooseCase {
  const char* name;
  void (*change)(LevelInputs&);
  int expected;
};

class ChooseLevelTest : public ::testing::TestWithParam<ChooseCase> {};

TEST_P(ChooseLevelTest, Chooses) {
  LevelInputs in = Machine();
  GetParam().change(in);
  EXPECT_EQ(ChooseLevel(in), GetParam().expected);
}

const ChooseCase kChooseCases[] = {
    {"TableAndCpuHighest", [](LevelInputs&) {}, 3},
    {"SmallerOfTableAndCpu", [](LevelInputs& in) { in.adapter_level = 2; }, 2},
    {"CpuLowerThanTable", [](LevelInputs& in) { in.cpu_class = 1; }, 1},
    {"TableLevelFrom300", [](LevelInputs& in) { in.adapter_level = 44; in.cpu_class = 2; }, 2},
    {"TableMatchesNothingFullHd", [](LevelInputs& in) { in.adapter_level = 0; }, 0},
    {"TableMatchesNothingXga", [](LevelInputs& in) { in.adapter_level = 0; in.desktop_pixels = kXga; }, 1},
    {"DesktopOf1024000GetsBonus", [](LevelInputs& in) { in.adapter_level = 1; in.desktop_pixels = 1280 * 800; }, 2},
    {"DesktopAbove1024000NoBonus", [](LevelInputs& in) { in.adapter_level = 1; in.desktop_pixels = 1024001; }, 1},
    {"BonusLimitedTo3", [](LevelInputs& in) { in.desktop_pixels = kXga; }, 3},
    {"ZeroDesktopGetsBonus", [](LevelInputs& in) { in.adapter_level = 0; in.desktop_pixels = 0; }, 1},
    // Processor matches no row: the fallback level applies.
    {"FallbackMiddleVideoMemory", [](LevelInputs& in) { in.cpu_class = -1; in.cpu_clock_ghz = 2.4f; in.video_memory_mb = 768; }, 1},
    {"FallbackLowVideoMemoryGivesHigh", [](LevelInputs& in) { in.cpu_class = -1; in.cpu_clock_ghz = 2.4f; in.video_memory_mb = 256; }, 2},
    {"FallbackUnknownVideoMemoryGivesHigh", [](LevelInputs& in) { in.cpu_class = -1; in.cpu_clock_ghz = 2.4f; in.video_memory_mb = -1; }, 2},
    {"FallbackLittleAvailableMemory", [](LevelInputs& in) { in.cpu_class = -1; in.cpu_clock_ghz = 2.4f; in.video_memory_mb = 768; in.available_memory_mb = 2900; }, 1},
    {"FallbackHighest", [](LevelInputs& in) { in.cpu_class = -1; in.video_memory_mb = 1000; }, 3},
    {"Fallback999MiB", [](LevelInputs& in) { in.cpu_class = -1; in.video_memory_mb = 999; }, 1},
    {"Fallback512MiB", [](LevelInputs& in) { in.cpu_class = -1; in.video_memory_mb = 512; }, 1},
    {"Fallback511MiB", [](LevelInputs& in) { in.cpu_class = -1; in.video_memory_mb = 511; }, 2},
    {"FallbackClockJustBelow2", [](LevelInputs& in) { in.cpu_class = -1; in.cpu_clock_ghz = 1.995f; }, 1},
    {"FallbackClockExactly2", [](LevelInputs& in) { in.cpu_class = -1; in.cpu_clock_ghz = 2.0f; }, 3},
    {"FallbackClockUnknown", [](LevelInputs& in) { in.cpu_class = -1; in.cpu_clock_ghz = 0.0f; }, 1},
    {"FallbackAvailable2999", [](LevelInputs& in) { in.cpu_class = -1; in.available_memory_mb = 2999; }, 1},
    {"FallbackAvailable3000", [](LevelInputs& in) { in.cpu_class = -1; in.available_memory_mb = 3000; }, 3},
    {"FallbackWhenDirect3DMissing", [](LevelInputs& in) { in.adapter_level = -1; in.video_memory_mb = 256; }, 2},
    {"FallbackGetsDesktopBonus", [](LevelInputs& in) { in.cpu_class = -1; in.video_memory_mb = 768; in.desktop_pixels = kXga; }, 2},
};

INSTANTIATE_TEST_SUITE_P(Cases, ChooseLevelTest, ::testing::ValuesIn(kChooseCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct SourceCase {
  const char* name;
  uint32_t patch_version;
  uint32_t base_version;
  const char* archive;
  const char* entry;
};

class LevelTableSourceTest : public ::testing::TestWithParam<SourceCase> {};

TEST_P(LevelTableSourceTest, Selects) {
  const SourceCase& c = GetParam();
  const LevelTableSource s = SelectLevelTableSource(c.patch_version, c.base_version);
  EXPECT_EQ(s.archive_path, c.archive);
  EXPECT_EQ(s.entry_name, c.entry);
}

const SourceCase kSourceCases[] = {
    {"PatchAboveBase", 12, 11, "System/Verpatch00012.qvk", "gamedata/BaseData/GraphicsLevel.ini"},
    {"PatchEqualsBase", 12, 12, "System/GameData.qvk", "BaseData/GraphicsLevel.ini"},
    {"PatchBelowBase", 11, 12, "System/GameData.qvk", "BaseData/GraphicsLevel.ini"},
    {"NoManifestEntry", 0, 0, "System/GameData.qvk", "BaseData/GraphicsLevel.ini"},
    {"RealisticVersions", 12003, 12000, "System/Verpatch12003.qvk", "gamedata/BaseData/GraphicsLevel.ini"},
    {"ComparedUnsigned", 0x80000000u, 5, "System/Verpatch-2147483648.qvk", "gamedata/BaseData/GraphicsLevel.ini"},
    {"BaseAboveSignedRange", 5, 0xFFFFFFFFu, "System/GameData.qvk", "BaseData/GraphicsLevel.ini"},
};

INSTANTIATE_TEST_SUITE_P(Cases, LevelTableSourceTest, ::testing::ValuesIn(kSourceCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FirstStartNotice, MessagePerLevel) {
  const struct { int level; unsigned id; } cases[] = {
      {3, 272}, {2, 273}, {1, 274}, {0, 275}, {-1, 0}, {4, 0}, {44, 0}};
  for (const auto& c : cases) EXPECT_EQ(FirstStartMessageId(c.level), c.id) << c.level;
}

TEST(FirstStartNotice, OnlyOnFirstRunWithPassedCheck) {
  const struct { int first_run; bool d3d9; bool shown; } cases[] = {
      {1000, true, true}, {1000, false, false}, {999, true, false}, {-1, true, false}, {0, true, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(ShouldShowFirstStartNotice(c.first_run, c.d3d9), c.shown) << c.first_run << " " << c.d3d9;
  }
}

TEST(DesktopPixels, ProductKeptInRange) {
  const struct { int32_t right, bottom, pixels; } cases[] = {
      {1920, 1080, 2073600}, {1280, 800, 1024000}, {0, 0, 0},
      {100000, 100000, INT32_MAX}, {-5, 10, 0}};
  for (const auto& c : cases) EXPECT_EQ(DesktopPixelsFromRect(c.right, c.bottom), c.pixels) << c.right;
}

TEST(CpuClock, MegahertzToGigahertz) {
  EXPECT_FLOAT_EQ(CpuClockGHzFromMHz(1995), 1.995f);
  EXPECT_LT(CpuClockGHzFromMHz(1995), 2.0f);
  EXPECT_FLOAT_EQ(CpuClockGHzFromMHz(2000), 2.0f);
  EXPECT_EQ(CpuClockGHzFromMHz(0), 0.0f);
  EXPECT_FLOAT_EQ(CpuClockGHzFromMHz(0xFFFFFFFFu), 4294967.295f);
}

}  // namespace
