#include "ui/main_dlg_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>

#include "base/message_catalog_win.h"
#include "base/resource.h"
#include "serverlist/server_list.h"
#include "support/ui_test_support_win.h"
#include "update/updater_win.h"

using namespace ui_test;

namespace {

void ResetServerList() {
  ServerList& list = GlobalServerList();
  list.current_zone = nullptr;
  list.zones.clear();
  list.last_zone = nullptr;
  list.required_version = list.current_version = list.base_version = 0;
}

ZoneRecord* AddZone(const std::u16string& name, int preferred, const char* link) {
  auto zone = std::make_unique<ZoneRecord>();
  std::memcpy(zone->name, name.data(), name.size() * sizeof(char16_t));
  zone->preferred = preferred;
  std::strncpy(zone->link_text, link, kZoneLinkBytes);
  ZoneRecord* raw = zone.get();
  GlobalServerList().zones.push_back(std::move(zone));
  return raw;
}

// A worker whose steps only count: the protocol without the network.
class CountingUpdater : public ZUpdater {
 public:
  explicit CountingUpdater(const HWND& dialog) : ZUpdater(dialog) {}
  static std::atomic<int> requests;

 protected:
  void OnGetServerlist() override { ++requests; }
  void OnCheckPackages() override {}
};
std::atomic<int> CountingUpdater::requests{0};

class MainDlgTest : public testing::Test {
 protected:
  void SetUp() override {
    SetInterfaceLanguage(kLangEnglish);
    ResetServerList();
    SetPropW(owner.hwnd(), L"ZARQONLINE", reinterpret_cast<HANDLE>(1));
  }
  void TearDown() override {
    if (dialog.hwnd()) DestroyWindow(dialog.hwnd());
    StopUpdater();
    ResetServerList();
  }
  void Create() { ASSERT_NE(dialog.Create(IDD_MAIN_DIALOG, owner.hwnd()), nullptr); }
  std::wstring Caption() { return LoadMessage(IDS_CAPTION); }

  ScratchInstall install;
  BoxRecorder boxes;
  RecordingOwner owner;
  ScriptedMainDlg dialog{TestContext()};
};

TEST_F(MainDlgTest, InitialisationWithPassedCheckStartsTheWorker) {
  Create();
  EXPECT_EQ(LaunchLog(), "D3D9Check:1\r\n");
  EXPECT_EQ(dialog.launch_arguments(), u"zone=3&1700000000&d3d9check=1");
  EXPECT_EQ(dialog.start_worker_calls, 1);
  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_EQ(owner.close_count(), 0);

  EXPECT_TRUE(GetWindowLongPtrW(dialog.hwnd(), GWL_EXSTYLE) & WS_EX_LAYERED);
  COLORREF key = 0;
  DWORD flags = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(dialog.hwnd(), &key, nullptr, &flags));
  EXPECT_EQ(key, RGB(255, 0, 255));
  EXPECT_TRUE(flags & LWA_COLORKEY);
  EXPECT_NE(SendMessageW(dialog.hwnd(), WM_GETICON, ICON_BIG, 0), 0);
  EXPECT_NE(SendMessageW(dialog.hwnd(), WM_GETICON, ICON_SMALL, 0), 0);
  EXPECT_EQ(GetWindow(dialog.hwnd(), GW_OWNER), owner.hwnd());
}

TEST_F(MainDlgTest, FailedGraphicsCheckShows295AndNeverStartsTheWorker) {
  dialog.d3d9 = false;
  Create();
  EXPECT_EQ(LaunchLog(), "D3D9Check:0\r\n");
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].text, LoadMessage(IDS_GRAPHICS_CHECK_FAILED));
  EXPECT_EQ(boxes.boxes()[0].caption, Caption());
  EXPECT_EQ(boxes.boxes()[0].type, static_cast<UINT>(MB_OK));
  EXPECT_EQ(boxes.boxes()[0].owner, dialog.hwnd());
  EXPECT_EQ(dialog.start_worker_calls, 0);
  EXPECT_EQ(dialog.launch_arguments(), u"zone=3&1700000000");
  EXPECT_EQ(owner.close_count(), 1);
  EXPECT_FALSE(IsWindowVisible(dialog.hwnd()));
}

TEST_F(MainDlgTest, BackgroundIsPaintedInTheColourKey) {
  Create();
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 32, 32);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  EXPECT_EQ(SendMessageW(dialog.hwnd(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), 0), 1);
  EXPECT_EQ(GetPixel(memory, 1, 1), RGB(255, 0, 255));
  EXPECT_EQ(GetPixel(memory, 20, 20), RGB(255, 0, 255));
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

TEST_F(MainDlgTest, CancelAndCloseCloseTheLauncher) {
  Create();
  // Default processing turns the close into a posted IDCANCEL.
  SendMessageW(dialog.hwnd(), WM_CLOSE, 0, 0);
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (!IsDialogMessageW(dialog.hwnd(), &msg)) DispatchMessageW(&msg);
  }
  EXPECT_EQ(owner.close_count(), 1);
  EXPECT_FALSE(IsWindowVisible(dialog.hwnd()));
  EXPECT_TRUE(dialog.closing());
  EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(MainDlgTest, TeardownRemovesTheMarkerAndStopsTheWorker) {
  Create();
  DestroyWindow(dialog.hwnd());
  EXPECT_EQ(GetPropW(owner.hwnd(), L"ZARQONLINE"), nullptr);
  EXPECT_EQ(dialog.stop_worker_calls, 1);
  EXPECT_EQ(dialog.hwnd(), nullptr);
}

TEST_F(MainDlgTest, UpdateErrorsByKindAndFlag) {
  struct Case {
    WPARAM kind;
    LPARAM flag;
    unsigned box;  // 0: none
    bool closes;
  } cases[] = {
      {1, 0, 0, false},
      {1, 1, IDS_SERVER_LIST_FAILED, true},
      {1, 7, IDS_SERVER_LIST_FAILED, true},
      {8, 0, IDS_PACKAGES_MISSING, true},
      {8, 1, IDS_PACKAGES_MISSING, true},
      {3, 0, 0, false},  // no other kind is sent; one that came would be ignored
  };
  for (const Case& c : cases) {
    BoxRecorder recorder;
    RecordingOwner case_owner;
    ScriptedMainDlg case_dialog(TestContext());
    ASSERT_NE(case_dialog.Create(IDD_MAIN_DIALOG, case_owner.hwnd()), nullptr);
    SendMessageW(case_dialog.hwnd(), UM_UPDATE_ERROR, c.kind, c.flag);
    if (c.box) {
      ASSERT_EQ(recorder.boxes().size(), 1u) << c.kind << "/" << c.flag;
      EXPECT_EQ(recorder.boxes()[0].text, LoadMessage(c.box));
      EXPECT_EQ(recorder.boxes()[0].caption, Caption());
    } else {
      EXPECT_TRUE(recorder.boxes().empty()) << c.kind << "/" << c.flag;
    }
    EXPECT_EQ(case_owner.close_count(), c.closes ? 1 : 0) << c.kind << "/" << c.flag;
    if (c.closes) {
      // Once closing, later reports change nothing.
      SendMessageW(case_dialog.hwnd(), UM_UPDATE_ERROR, 1, 1);
      EXPECT_EQ(case_owner.close_count(), 1);
      EXPECT_EQ(recorder.boxes().size(), 1u);
    }
    DestroyWindow(case_dialog.hwnd());
  }
}

TEST_F(MainDlgTest, RetryableServerListFailureAsksTheWorkerAgain) {
  Create();
  CountingUpdater::requests = 0;
  ASSERT_TRUE(StartUpdater(std::make_unique<CountingUpdater>(dialog.hwnd())));
  updater_test::StandInDialog pump;
  ASSERT_TRUE(pump.PumpUntil([] { return CountingUpdater::requests == 1; }, 10000));
  SendMessageW(dialog.hwnd(), UM_UPDATE_ERROR, 1, 0);
  ASSERT_TRUE(pump.PumpUntil([] { return CountingUpdater::requests == 2; }, 10000));
  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_EQ(owner.close_count(), 0);
}

TEST_F(MainDlgTest, MissingPackagesShowTheWorkersTextInChinese) {
  SetInterfaceLanguage(kLangChinese);
  Create();
  ASSERT_TRUE(StartUpdater(std::make_unique<CountingUpdater>(dialog.hwnd())));
  Updater()->SetMissingVersionText("00012 00013");
  SendMessageW(dialog.hwnd(), UM_UPDATE_ERROR, 8, 0);
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].text, L"缺少更新包00012 00013，请重新启动");
  EXPECT_EQ(boxes.boxes()[0].caption, L"青石晚钟启动程序");
  EXPECT_EQ(owner.close_count(), 1);
}

TEST_F(MainDlgTest, RequiredVersionAboveCurrentShows278AndSavesNothing) {
  Create();
  GlobalServerList().required_version = 12004;
  GlobalServerList().current_version = 12003;
  AddZone(u"zone1", 0, "link");
  SendMessageW(dialog.hwnd(), UM_VERSION_READY, 0, 0);
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].text, LoadMessage(IDS_VERSION_TOO_OLD));
  EXPECT_EQ(owner.close_count(), 1);
  EXPECT_FALSE(std::filesystem::exists("system/currentzone.ini"));
  EXPECT_TRUE(dialog.shell_calls.empty());
}

TEST_F(MainDlgTest, ListWithoutZonesShows283AndStartsNothing) {
  Create();
  SendMessageW(dialog.hwnd(), UM_VERSION_READY, 0, 0);
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].text, LoadMessage(IDS_SERVER_LIST_FAILED));
  EXPECT_EQ(owner.close_count(), 1);
  EXPECT_FALSE(std::filesystem::exists("system/currentzone.ini"));
  EXPECT_TRUE(dialog.shell_calls.empty());
}

TEST_F(MainDlgTest, VersionReadySavesThePreferredZoneAndStartsTheGame) {
  WriteAll("updatecfg.ini", "[run]\r\ngame_exe=Game.exe\r\n");
  Create();
  ServerList& list = GlobalServerList();
  list.required_version = list.current_version = list.base_version = 12003;
  AddZone(u"zone1", 0, "link-one");
  const ZoneRecord* preferred = AddZone(u"zone2", 1, "link-two");
  ASSERT_TRUE(StartUpdater(std::make_unique<CountingUpdater>(dialog.hwnd())));
  dialog.now = 1700000095;

  SendMessageW(dialog.hwnd(), UM_VERSION_READY, 0, 0);

  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_EQ(list.current_zone, preferred);
  EXPECT_STREQ(Updater()->zone_link_text(), "link-two");
  wchar_t zone[64] = L"";
  GetPrivateProfileStringW(L"current", L"zone", L"", zone, 64, L"./system/currentzone.ini");
  EXPECT_STREQ(zone, L"zone2");
  const std::wstring dir = CurrentDirectory();
  ASSERT_EQ(dialog.shell_calls.size(), 1u);
  EXPECT_EQ(dialog.shell_calls[0],
            dir + L"\\System\\Game.exe|zone=3&1700000000&d3d9check=1|" + dir + L"/System");
  EXPECT_EQ(dialog.pauses, std::vector<DWORD>{2000});
  EXPECT_EQ(owner.close_count(), 1);
  EXPECT_EQ(LaunchLog(),
            "D3D9Check:1\r\nOpen qvk failed:12003 GetLastError:2\r\n"
            "ShellExecute:42  GetLastError:0  isAdmin:0\r\ntime:95");
}

// The worker reports version-ready while the dialog is being torn down: the
// teardown releases it and joins the thread instead of waiting for ever.
class SendingUpdater : public ZUpdater {
 public:
  explicit SendingUpdater(const HWND& dialog) : ZUpdater(dialog) {}

 protected:
  void OnGetServerlist() override { SendVersionReady(); }
  void OnCheckPackages() override {}
};

TEST_F(MainDlgTest, TeardownDuringTheWorkersSendDoesNotDeadlock) {
  dialog.real_stop = true;
  Create();
  GlobalServerList().required_version = 2;
  GlobalServerList().current_version = 1;
  ASSERT_TRUE(StartUpdater(std::make_unique<SendingUpdater>(dialog.hwnd())));
  // The send is delivered only while this thread takes messages; destroy the
  // window first, as a close arriving just before the report would.
  DestroyWindow(dialog.hwnd());
  EXPECT_EQ(Updater(), nullptr);
  EXPECT_EQ(dialog.stop_worker_calls, 1);
}

}  // namespace
