#include "update/updater_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "support/test_support_win.h"

namespace {

using updater_test::ScratchInstall;
using updater_test::StandInDialog;

// What the test worker did, owned by the test (the worker is deleted by
// StopUpdater).
struct WorkerLog {
  std::vector<UINT> handled;  // written by the worker, read after it ended
  bool send_on_get_serverlist = false;
  HANDLE about_to_send = nullptr;  // set just before a send, if not null
};

// The real message loop with the two steps replaced by recorders.
class RecordingUpdater : public ZUpdater {
 public:
  RecordingUpdater(const HWND& dialog, WorkerLog* log) : ZUpdater(dialog), log_(log) {}

 protected:
  void OnGetServerlist() override {
    log_->handled.push_back(UM_WORKER_GET_SERVERLIST);
    if (log_->send_on_get_serverlist) {
      if (log_->about_to_send) SetEvent(log_->about_to_send);
      SendVersionReady();
    }
  }
  void OnCheckPackages() override { log_->handled.push_back(UM_WORKER_CHECK_PACKAGES); }

 private:
  WorkerLog* log_;
};

class UpdaterProtocolTest : public ::testing::Test {
 protected:
  void TearDown() override {
    StopUpdater();
    CThread::SetStartFailsForTest(false);
  }
  bool Start() { return StartUpdater(std::make_unique<RecordingUpdater>(dialog_.hwnd(), &log_)); }

  ScratchInstall install_;
  StandInDialog dialog_;
  WorkerLog log_;
};

TEST_F(UpdaterProtocolTest, ReadyBeforeTheFirstRequest) {
  ASSERT_TRUE(Start());
  ZUpdater* worker = Updater();
  ASSERT_NE(worker, nullptr);
  EXPECT_EQ(WaitForSingleObject(worker->ready_event(), 0), WAIT_OBJECT_0);
  StopUpdater();
  EXPECT_EQ(Updater(), nullptr);
  // The request posted by StartUpdater reached the queue and was handled.
  EXPECT_EQ(log_.handled, std::vector<UINT>{UM_WORKER_GET_SERVERLIST});
}

TEST_F(UpdaterProtocolTest, UnknownNumbersIgnoredAndOrderKept) {
  ASSERT_TRUE(Start());
  ZUpdater* worker = Updater();
  const UINT posted[] = {1024, 1037, 1029, 1032, 5000, 1042, 1041, 32768, 1037, 1043, 1042};
  for (UINT message : posted) ASSERT_TRUE(worker->Post(message, 0, 0)) << message;
  StopUpdater();
  const std::vector<UINT> expected = {1037, 1037, 1042, 1037, 1042};
  EXPECT_EQ(log_.handled, expected);
  EXPECT_TRUE(dialog_.events().empty());
}

TEST_F(UpdaterProtocolTest, QuitEndsTheLoopAndLaterMessagesAreNotHandled) {
  ASSERT_TRUE(Start());
  ZUpdater* worker = Updater();
  worker->RequestStop();
  EXPECT_TRUE(worker->StopRequested());
  worker->Post(UM_WORKER_GET_SERVERLIST, 0, 0);
  worker->Post(UM_WORKER_CHECK_PACKAGES, 0, 0);
  EXPECT_EQ(WaitForSingleObject(worker->thread_handle(), 30000), WAIT_OBJECT_0);
  StopUpdater();
  EXPECT_EQ(log_.handled, std::vector<UINT>{UM_WORKER_GET_SERVERLIST});
}

TEST_F(UpdaterProtocolTest, VersionReadyIsSentAndTheWorkerWaitsForTheHandler) {
  log_.send_on_get_serverlist = true;
  std::atomic<bool> worker_in_send{false};
  dialog_.on_version_ready = [&] { worker_in_send = InSendMessage() != FALSE; };
  ASSERT_TRUE(Start());
  ASSERT_TRUE(dialog_.PumpUntil([&] { return dialog_.Count(UM_VERSION_READY) == 1; }));
  EXPECT_TRUE(worker_in_send);
  StopUpdater();
}

TEST_F(UpdaterProtocolTest, TeardownInsideTheVersionReadyHandler) {
  // The launcher closes from within the handler while the worker waits in
  // its send; the teardown must release it and still join the thread.
  log_.send_on_get_serverlist = true;
  bool torn_down = false;
  dialog_.on_version_ready = [&] {
    StopUpdater();
    torn_down = Updater() == nullptr;
  };
  ASSERT_TRUE(Start());
  ASSERT_TRUE(dialog_.PumpUntil([&] { return dialog_.Count(UM_VERSION_READY) == 1; }));
  EXPECT_TRUE(torn_down);
}

TEST_F(UpdaterProtocolTest, TeardownWhileTheSendIsPending) {
  // The worker's send has reached the window thread's queue, but the window
  // thread is not dispatching: the teardown's wait delivers it.
  HANDLE about_to_send = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  log_.send_on_get_serverlist = true;
  log_.about_to_send = about_to_send;
  bool stopping_seen_by_handler = false;
  dialog_.on_version_ready = [&] { stopping_seen_by_handler = UpdaterStopRequested(); };
  ASSERT_TRUE(Start());
  ASSERT_EQ(WaitForSingleObject(about_to_send, 30000), WAIT_OBJECT_0);
  // Wait (without dispatching) until the sent message is queued for us.
  ASSERT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 30000, QS_SENDMESSAGE), WAIT_OBJECT_0);
  StopUpdater();
  EXPECT_EQ(Updater(), nullptr);
  EXPECT_EQ(dialog_.Count(UM_VERSION_READY), 1);
  EXPECT_TRUE(stopping_seen_by_handler);
  CloseHandle(about_to_send);
}

TEST_F(UpdaterProtocolTest, NoSendOnceStopped) {
  ASSERT_TRUE(Start());
  ZUpdater* worker = Updater();
  worker->RequestStop();
  worker->SendVersionReady();  // from the window thread itself: would call the handler directly
  EXPECT_EQ(dialog_.Count(UM_VERSION_READY), 0);
  StopUpdater();
}

TEST_F(UpdaterProtocolTest, ThreadThatCannotBeCreatedClosesTheLauncher) {
  CThread::SetStartFailsForTest(true);
  EXPECT_FALSE(Start());
  EXPECT_EQ(Updater(), nullptr);
  // Instead of waiting for ever: kind 1 flag 1, the "no server list" end.
  ASSERT_TRUE(dialog_.PumpUntil([&] { return dialog_.Count(UM_UPDATE_ERROR) == 1; }));
  EXPECT_EQ(dialog_.events()[0].wparam, kUpdateErrorServerList);
  EXPECT_EQ(dialog_.events()[0].lparam, 1);
  EXPECT_TRUE(log_.handled.empty());
  StopUpdater();  // nothing to stop
}

TEST(ZUpdater, ReadsTheServerListBaseUrlAndKeepsTextsBounded) {
  ScratchInstall install;
  updater_test::WriteAll("updatecfg.ini", "[home]\r\nserverlist=http://127.0.0.1:1/list\r\n");
  HWND none = nullptr;
  ZUpdater worker(none);
  EXPECT_STREQ(worker.server_list_base_url(), "http://127.0.0.1:1/list");
  EXPECT_STREQ(worker.zone_link_text(), "");
  EXPECT_STREQ(worker.missing_version_text(), L"");
  EXPECT_FALSE(worker.StopRequested());
  EXPECT_EQ(WaitForSingleObject(worker.ready_event(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

  worker.SetZoneLinkText(std::string(5000, 'z').c_str());
  EXPECT_EQ(strlen(worker.zone_link_text()), kZoneLinkTextBytes - 1);
  worker.SetMissingVersionText(std::string(5000, '1'));
  EXPECT_EQ(wcslen(worker.missing_version_text()), kMissingTextUnits - 1);

  std::string long_url = "[home]\r\nserverlist=http://" + std::string(3000, 'h') + "\r\n";
  updater_test::WriteAll("updatecfg.ini", long_url);
  ZUpdater worker2(none);
  EXPECT_EQ(strlen(worker2.server_list_base_url()), kBaseUrlBytes - 1);
}

}  // namespace
