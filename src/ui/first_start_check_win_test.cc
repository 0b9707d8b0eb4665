#include "ui/first_start_check_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/launch_log.h"
#include "base/message_box_win.h"
#include "base/message_catalog_win.h"
#include "base/resource.h"
#include "hardware/d3d9_loader_win.h"
#include "hardware/graphics_probes_win.h"
#include "hardware/graphics_level.h"
#include "hardware/graphics_level_win.h"
#include "hardware/probes_win.h"
#include "support/test_installation_win.h"

namespace {

struct Box {
  HWND owner;
  std::wstring text;
  std::wstring caption;
  UINT type;
};

// An installation as the working directory, a launch log in it, and a
// message box double that records every box.
class FirstStartCheckTest : public ::testing::Test {
 protected:
  FirstStartCheckTest()
      : install_(::testing::UnitTest::GetInstance()->current_test_info()->name()),
        cwd_(install_.dir()) {}
  void SetUp() override {
    SetLaunchLogPath("System/launch.log");
    SetMessageBoxHandlerForTest([this](HWND owner, const std::wstring& text,
                                       const std::wstring& caption, UINT type) {
      boxes_.push_back({owner, text, caption, type});
      return IDOK;
    });
    install_.WriteTableArchive("System/GameData.qvk", u"BaseData/GraphicsLevel.ini",
                               u"h\r\nGeForce\t1\r\n");
    install_.WriteTableArchive("System/Verpatch00012.qvk", u"gamedata/BaseData/GraphicsLevel.ini",
                               u"h\r\nGeForce\t2\r\nRadeon\t3\r\n");
  }
  void TearDown() override {
    SetMessageBoxHandlerForTest(nullptr);
    SetLaunchLogPath("");
  }
  void WriteFirstRun(const std::string& ini) { install_.Write("System/GameConfig.ini", ini); }

  TestInstallation install_;
  ScopedWorkingDirectory cwd_;
  std::vector<Box> boxes_;
  const HWND owner_ = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x5150));
};

TEST_F(FirstStartCheckTest, NoticeOnFirstStartInTheInterfaceLanguage) {
  WriteFirstRun("[FirstRun]\r\nFirstRun=1000\r\n");
  for (LANGID language : {kLangEnglish, kLangChinese}) {
    SetInterfaceLanguage(language);
    boxes_.clear();
    // The probes measure the same machine again inside the check.
    const int level = ChooseGraphicsLevel(0, 0);
    ASSERT_GE(level, 0);
    ASSERT_LE(level, 3);
    EXPECT_EQ(RunFirstStartCheck({}, 0, true, owner_), 1);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].owner, owner_);
    EXPECT_EQ(boxes_[0].text, LoadMessageIn(IDS_FIRST_START_LOW - level, language));
    EXPECT_FALSE(boxes_[0].text.empty());
    EXPECT_EQ(boxes_[0].caption, LoadMessageIn(IDS_FIRST_START_CAPTION, language));
    EXPECT_EQ(boxes_[0].type, static_cast<UINT>(MB_OK));
  }
  SetInterfaceLanguage(kLangEnglish);
  EXPECT_FALSE(install_.Exists("System/GraphicsLevel.ini"));
}

TEST_F(FirstStartCheckTest, NoNoticeOtherwise) {
  const struct {
    const char* name;
    const char* ini;  // null: no GameConfig.ini
    bool d3d9_check_passed;
  } cases[] = {
      {"check failed", "[FirstRun]\r\nFirstRun=1000\r\n", false},
      {"not the first start", "[FirstRun]\r\nFirstRun=999\r\n", true},
      {"key missing", "[FirstRun]\r\nDataVersion=5\r\n", true},
      {"file missing", nullptr, true},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(install_.Path("System/GameConfig.ini"));
    if (c.ini != nullptr) WriteFirstRun(c.ini);
    boxes_.clear();
    EXPECT_EQ(RunFirstStartCheck({}, 0, c.d3d9_check_passed, owner_), 1) << c.name;
    EXPECT_TRUE(boxes_.empty()) << c.name;
    EXPECT_FALSE(install_.Exists("System/GraphicsLevel.ini")) << c.name;
  }
}

TEST_F(FirstStartCheckTest, TableFromPatchPackageOnlyAboveBaseVersion) {
  PatchListIndex manifest;
  ASSERT_TRUE(ParsePatchList("GRAPHICSLEVEL.INI\tgamedata/BaseData/GraphicsLevel.ini\t12\n",
                             PatchListMode::kWindow, &manifest, nullptr));
  const struct {
    uint32_t base_version;
    const char* count_line;
  } cases[] = {{11, "GraphicsCount:2\r\n"}, {12, "GraphicsCount:1\r\n"}, {13, "GraphicsCount:1\r\n"}};
  for (const auto& c : cases) {
    LaunchLogReset();
    EXPECT_EQ(RunFirstStartCheck(manifest, c.base_version, true, owner_), 1);
    const std::string log = install_.Read("System/launch.log");
    EXPECT_NE(log.find(c.count_line), std::string::npos) << c.base_version << "\n" << log;
    EXPECT_FALSE(install_.Exists("System/GraphicsLevel.ini"));
  }
}

TEST_F(FirstStartCheckTest, LogShowsTableThenAdaptersThenProcessor) {
  LaunchLogReset();
  EXPECT_EQ(RunFirstStartCheck({}, 0, true, owner_), 1);
  const std::string log = install_.Read("System/launch.log");
  const size_t count = log.find("GraphicsCount:1\r\n");
  ASSERT_NE(count, std::string::npos) << log;
  // Wine's default adapter is a GeForce: its line carries the table's level.
  const size_t adapter = log.find("GEFORCE", count);
  ASSERT_NE(adapter, std::string::npos) << log;
  EXPECT_EQ(log.compare(log.find(':', adapter), 4, ":1\r\n"), 0) << log;
  // One more line after the adapter's: the processor's.
  const size_t after_adapter = log.find("\r\n", adapter) + 2;
  EXPECT_LT(after_adapter, log.size()) << log;
  EXPECT_EQ(log.find("\r\n", after_adapter) + 2, log.size()) << log;
}

TEST_F(FirstStartCheckTest, ProbesStartedAheadGiveTheLinesOfProbesRunInPlace) {
  LaunchLogReset();
  EXPECT_TRUE(D3D9Check());
  EXPECT_EQ(RunFirstStartCheck({}, 0, true, owner_), 1);
  const std::string in_place = install_.Read("System/launch.log");
  const int32_t video_memory = QueryVideoMemoryMB();

  LaunchLogReset();
  {
    CGraphicsProbes probes;
    IDirect3D9* d3d = probes.direct3d();  // waits for the check to end
    ASSERT_NE(d3d, nullptr);
    EXPECT_EQ(install_.Read("System/launch.log"), "") << "the check's lines wait for the taker";
    EXPECT_TRUE(probes.TakeD3D9Check());
    EXPECT_TRUE(probes.TakeD3D9Check());  // its lines are written once
    EXPECT_EQ(RunFirstStartCheck({}, 0, true, owner_, &probes), 1);
    EXPECT_EQ(probes.TakeVideoMemoryMB(), video_memory);
    // The level choice borrowed the interface and left it to the probes.
    EXPECT_EQ(d3d->AddRef(), 2u);
    EXPECT_EQ(d3d->Release(), 1u);
    probes.ReleaseDirect3D();
    EXPECT_EQ(probes.direct3d(), nullptr);
  }
  EXPECT_EQ(install_.Read("System/launch.log"), in_place);
  EXPECT_FALSE(D3D9Check(nullptr));
}

}  // namespace
