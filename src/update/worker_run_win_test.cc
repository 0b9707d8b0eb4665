// Whole runs of the updater worker against an HTTP server on 127.0.0.1 and a
// scratch installation, with a stand-in dialog that reacts as the main
// dialog does: kind 1 flag 0 asks again, every other report ends the run.
#include <gtest/gtest.h>

#include <set>

#include "base/profile_win.h"
#include "package/qvk_file_win.h"
#include "package/qvk_writer.h"
#include "serverlist/server_list.h"
#include "support/http_test_server.h"
#include "update/link_config_win.h"
#include "base/scramble.h"
#include "support/test_support_win.h"
#include "update/updater_win.h"
#include "base/version.h"

namespace {

using updater_test::ReadAll;
using updater_test::ScratchInstall;
using updater_test::StandInDialog;
using updater_test::WriteAll;
namespace fs = std::filesystem;

const char kList[] =
    "<?xml version=\"1.0\"?><l v=\"12000\">"
    "<z n=\"Alpha\" p=\"0\" a=\"10.0.0.1\" k=\"alpha-link\" x=\"0\"/>"
    "<z n=\"Beta\" p=\"1\" a=\"10.0.0.2\" k=\"beta-link\" x=\"0\"/></l>";

std::string Scrambled(std::string bytes) {
  ScrambleBytes(reinterpret_cast<unsigned char*>(&bytes[0]), bytes.size());
  return bytes;
}

TestReply Reply(int status, std::string body) {
  TestReply reply;
  reply.status = status;
  reply.body = std::move(body);
  return reply;
}

enum class Ending { kVersionReady, kMissingPackages, kNoServerList, kNoEnding };

const char* Name(Ending e) {
  switch (e) {
    case Ending::kVersionReady: return "version ready";
    case Ending::kMissingPackages: return "missing packages";
    case Ending::kNoServerList: return "no server list";
    default: return "no ending";
  }
}

class WorkerRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GlobalServerList() = ServerList();
    ServerListFailureCount() = 0;
    SetQvkFileSystem(&QvkWinFileSystem());
    ASSERT_TRUE(server_.ok());
    server_.SetReply("/serverlist.xml", Reply(200, kList));
  }
  void TearDown() override { StopUpdater(); }

  // "./update.ini" and "./updatecfg.ini" (server list base URL of the test
  // server unless `base_url` is given).
  void Install(const std::string& current, const std::string& base, std::string base_url = "") {
    if (base_url.empty()) base_url = server_.Url("");
    WriteAll("update.ini", "[Setting]\r\nVersion=" + current + "\r\n");
    WriteAll("updatecfg.ini",
             "[home]\r\nserverlist=" + base_url + "\r\n[run]\r\nbase_version=" + base + "\r\n");
  }
  void Package(VersionNumber v, const std::vector<std::pair<std::u16string, std::string>>& entries) {
    WriteAll(PatchPackagePath(v), QvkBuildArchive(entries));
  }
  std::string LinkIni(const std::string& proxy_path) {
    return "[common]\r\nproxy=" + server_.Url(proxy_path) + "\r\n";
  }

  // Starts the worker and dispatches until an ending; then tears it down.
  Ending Run() {
    Ending ending = Ending::kNoEnding;
    dialog_.on_update_error = [&](WPARAM kind, LPARAM flag) {
      if (kind == kUpdateErrorServerList && flag == 0) {
        ++retries_;
        if (before_retry_) before_retry_(retries_);
        Updater()->Post(UM_WORKER_GET_SERVERLIST, 0, 0);
      } else if (kind == kUpdateErrorServerList) {
        ending = Ending::kNoServerList;
      } else if (kind == kUpdateErrorMissingPackages) {
        missing_text_ = Updater()->missing_version_text();
        ending = Ending::kMissingPackages;
      }
    };
    dialog_.on_version_ready = [&] {
      ending = Ending::kVersionReady;
      if (on_version_ready_) on_version_ready_();
    };
    if (!StartUpdater(dialog_.hwnd())) return Ending::kNoEnding;
    dialog_.PumpUntil([&] { return ending != Ending::kNoEnding; });
    StopUpdater();
    return ending;
  }

  std::set<std::string> Packages() {
    std::set<std::string> names;
    for (auto& entry : fs::directory_iterator("System")) {
      std::string name = entry.path().filename().string();
      if (name.rfind("Verpatch", 0) == 0) names.insert(name);
    }
    return names;
  }
  static int CountLines(const std::string& text, const std::string& line) {
    int n = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++n;
    return n;
  }

  ScratchInstall install_;
  StandInDialog dialog_;
  HttpTestServer server_;
  int retries_ = 0;
  std::function<void(int retry)> before_retry_;
  std::function<void()> on_version_ready_;
  std::wstring missing_text_;
};

// ---- the server list ----

TEST_F(WorkerRunTest, ServerListAttempts) {
  struct Case {
    const char* what;
    bool unreachable;      // nothing listens at the base URL
    int status;
    const char* body;
    bool stored_list;      // a list stored by an earlier run
    int good_from_retry;   // the server answers with the list from this retry on (0: never)
    Ending ending;
    int attempts;
    int retries;
  };
  const Case cases[] = {
      {"no network, no stored list", true, 0, "", false, 0, Ending::kNoServerList, 4, 3},
      {"404, no stored list", false, 404, "", false, 0, Ending::kNoServerList, 4, 3},
      {"no network, stored list", true, 0, "", true, 0, Ending::kVersionReady, 4, 3},
      {"500, stored list", false, 500, "", true, 0, Ending::kVersionReady, 4, 3},
      // A body that is not a list is a failed attempt like any other.
      {"non-XML body, stored list", false, 200, "not a list", true, 0, Ending::kVersionReady, 4, 3},
      {"non-XML body, no stored list", false, 200, "not a list", false, 0, Ending::kNoServerList, 4, 3},
      {"302, stored list", false, 302, kList, true, 0, Ending::kVersionReady, 4, 3},
      {"two failures, then the list", false, 500, "", false, 2, Ending::kVersionReady, 3, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchInstall install;
    GlobalServerList() = ServerList();
    ServerListFailureCount() = 0;
    retries_ = 0;
    HttpTestServer server;
    ASSERT_TRUE(server.ok());
    server.SetReply("/serverlist.xml", Reply(c.status, c.body));
    before_retry_ = [&](int retry) {
      if (c.good_from_retry && retry >= c.good_from_retry) {
        server.SetReply("/serverlist.xml", Reply(200, kList));
      }
    };
    Install("1.2.0", "1.2.0", c.unreachable ? "http://127.0.0.1:1" : server.Url(""));
    if (c.stored_list) WriteAll("serverlist.xml", Scrambled(kList));

    Ending ending = Run();
    EXPECT_EQ(ending, c.ending) << Name(ending);
    EXPECT_EQ(retries_, c.retries);
    if (!c.unreachable) {
      EXPECT_EQ(server.requests(), c.attempts);
    }
    EXPECT_EQ(CountLines(ReadAll("System/launch.log"), "DownloadServerlist err_code:"), c.attempts);
    if (!c.good_from_retry) {
      // Nothing but a list that loads replaces the stored one.
      EXPECT_EQ(ReadAll("serverlist.xml"), c.stored_list ? Scrambled(kList) : "");
    }
    if (c.ending == Ending::kVersionReady) {
      ASSERT_EQ(GlobalServerList().zones.size(), 2u);
      EXPECT_EQ(GlobalServerList().required_version, 12000u);
      EXPECT_EQ(GlobalServerList().current_version, 12000u);
    }
  }
}

TEST_F(WorkerRunTest, StopDuringATransferEndsItAtTheNextBlock) {
  Install("1.2.0", "1.2.0");
  HANDLE first_block_sent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE stop_set = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  TestReply reply = Reply(200, std::string(kList) + std::string(100000, ' '));
  reply.mode = TestReply::Mode::kSplitStall;
  reply.announced_length = reply.body.size();
  reply.split = 1000;
  reply.between_blocks = [&] {
    SetEvent(first_block_sent);
    WaitForSingleObject(stop_set, 30000);
  };
  server_.SetReply("/serverlist.xml", reply);
  ASSERT_TRUE(StartUpdater(dialog_.hwnd()));
  ASSERT_EQ(WaitForSingleObject(first_block_sent, 30000), WAIT_OBJECT_0);
  Updater()->RequestStop();
  SetEvent(stop_set);  // the rest of the body follows, and is refused
  StopUpdater();
  EXPECT_EQ(Updater(), nullptr);
  // Without the stop flag the whole body would have arrived and been stored.
  EXPECT_EQ(ServerListFailureCount(), 1);
  EXPECT_FALSE(fs::exists("serverlist.xml"));
  // Nothing more is reported to a dialog that is closing.
  dialog_.PumpUntil([] { return false; }, 0);
  EXPECT_EQ(dialog_.Count(UM_UPDATE_ERROR), 0);
  EXPECT_EQ(dialog_.Count(UM_VERSION_READY), 0);
  CloseHandle(first_block_sent);
  CloseHandle(stop_set);
}

// ---- versions and packages ----

TEST_F(WorkerRunTest, CurrentPackageMissingRewindsTo255) {
  Install("1.2.0", "1.1.0");
  WriteAll("System/linkconfig.ini", LinkIni("/proxy"));
  server_.SetReply("/proxy", Reply(200, "proxy"));
  EXPECT_EQ(Run(), Ending::kMissingPackages);
  EXPECT_EQ(missing_text_, L"1.2.0");
  EXPECT_EQ(ReadProfileText(L"./update.ini", L"Setting", L"Version", L"", 256), L"1.1.255");
  EXPECT_EQ(server_.requests(), 1);  // the server list only: no side files
  EXPECT_FALSE(fs::exists("System/Proxy.ini"));
  EXPECT_EQ(dialog_.Count(UM_VERSION_READY), 0);
}

TEST_F(WorkerRunTest, ManifestPackagesMissingRewindBelowTheLowest) {
  Install("1.2.3", "1.2.0");
  Package(12003, {{u"PatchList.txt", "A.DAT\ta.dat\t12001\nB.DAT\tb.dat\t12003\nC.DAT\tc.dat\t12002\n"}});
  SetFileAttributesW(L"update.ini", FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(Run(), Ending::kMissingPackages);
  EXPECT_EQ(missing_text_, L"1.2.1, 1.2.2");
  EXPECT_EQ(ReadProfileText(L"./update.ini", L"Setting", L"Version", L"", 256), L"1.2.0");
  EXPECT_EQ(dialog_.Count(UM_VERSION_READY), 0);
  EXPECT_EQ(Packages(), std::set<std::string>{"Verpatch12003.qvk"});  // nothing deleted
}

TEST_F(WorkerRunTest, StalePackagesDeletedBeforeVersionReady) {
  Install("1.2.3", "1.2.0");
  Package(12003, {{u"PatchList.txt", "A.DAT\ta.dat\t12001\nB.DAT\tb.dat\t12003\n"}});
  for (VersionNumber v : {11999u, 12000u, 12001u, 12002u, 12004u}) WriteAll(PatchPackagePath(v), "x");
  std::set<std::string> at_version_ready;
  PatchListIndex taken;
  bool taken_twice = true;
  on_version_ready_ = [&] {
    at_version_ready = Packages();
    // The window takes the manifest the worker read over, once.
    EXPECT_TRUE(Updater()->TakeManifest(&taken));
    taken_twice = Updater()->TakeManifest(&taken);
  };
  EXPECT_EQ(Run(), Ending::kVersionReady);
  EXPECT_EQ(taken.record_count(), 2u);
  EXPECT_EQ(taken.Find("B.DAT").value_or(PatchListEntry()).version, 12003u);
  EXPECT_FALSE(taken_twice);
  const std::set<std::string> kept = {"Verpatch12001.qvk", "Verpatch12003.qvk", "Verpatch12004.qvk"};
  EXPECT_EQ(at_version_ready, kept);
  EXPECT_EQ(Packages(), kept);
  EXPECT_EQ(ReadProfileText(L"./update.ini", L"Setting", L"Version", L"", 256), L"1.2.3");
}

TEST_F(WorkerRunTest, WithoutAManifestNothingIsCleaned) {
  Install("1.2.0", "1.2.0");  // current = base: no package, no manifest
  for (VersionNumber v : {11999u, 12002u}) WriteAll(PatchPackagePath(v), "x");
  PatchListIndex window_index;
  bool taken = true;
  on_version_ready_ = [&] { taken = Updater()->TakeManifest(&window_index); };
  EXPECT_EQ(Run(), Ending::kVersionReady);
  EXPECT_FALSE(taken) << "the window reads the manifest itself";
  EXPECT_EQ(Packages(), (std::set<std::string>{"Verpatch11999.qvk", "Verpatch12002.qvk"}));
}

// ---- the link configuration ----

TEST_F(WorkerRunTest, LinkConfigurationSource) {
  struct Case {
    const char* what;
    bool local_file;
    const char* manifest_link;  // the LINK.INI-like record of the manifest, or ""
    const char* base;
    const char* expected_proxy;
  };
  const Case cases[] = {
      {"linkconfig.ini wins", true, "LINK.INI\tcfg/link.ini\t12002\n", "1.2.0", "local"},
      {"LINK.INI above the base", false, "LINK.INI\tcfg/link.ini\t12002\n", "1.2.0", "patch"},
      {"LINK.INI at the base", false, "LINK.INI\tcfg/link.ini\t12002\n", "1.2.2", "base"},
      {"LINK.INI version 0", false, "LINK.INI\tcfg/link.ini\t0\n", "1.2.0", "base"},
      {"lower-case key", false, "link.ini\tcfg/link.ini\t12002\n", "1.2.0", "base"},
      {"no record", false, "", "1.2.0", "base"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchInstall install;
    GlobalServerList() = ServerList();
    ServerListFailureCount() = 0;
    Install("1.2.3", c.base);
    for (const char* source : {"local", "patch", "base"}) {
      server_.SetReply(std::string("/") + source, Reply(200, source));
    }
    Package(12003, {{u"PatchList.txt", std::string(c.manifest_link) + "B.DAT\tb.dat\t12003\n"}});
    Package(12002, {{u"cfg/link.ini", LinkIni("/patch")}});
    WriteAll("System/System.qvk", QvkBuildArchive({{u"link.ini", LinkIni("/base")}}));
    if (c.local_file) WriteAll("System/linkconfig.ini", LinkIni("/local"));

    EXPECT_EQ(Run(), Ending::kVersionReady);
    EXPECT_EQ(ReadAll("System/Proxy.ini"), c.expected_proxy);
    EXPECT_FALSE(fs::exists("System/linkTemp.ini"));
  }
}

TEST_F(WorkerRunTest, SideFilesStoredAsTheyArrive) {
  Install("1.2.0", "1.2.0");
  WriteAll("System/linkconfig.ini",
           "[common]\r\nproxy=" + server_.Url("/proxy") + "\r\npqxenc=" + server_.Url("/enc") +
               "\r\npqxbsid=" + server_.Url("/bsid") + "\r\n");
  server_.SetReply("/proxy", Reply(200, "[proxy]\r\nhost=1\r\n"));
  server_.SetReply("/enc", Reply(200, ""));
  server_.SetReply("/bsid", Reply(200, "<bsid>abc</bsid>"));
  WriteAll("System/Proxy.ini", "old proxy");
  SetFileAttributesW(L"System/Proxy.ini", FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(Run(), Ending::kVersionReady);
  EXPECT_EQ(ReadAll("System/Proxy.ini"), "[proxy]\r\nhost=1\r\n");
  EXPECT_EQ(ReadAll("System/pqx_enc.ini"), "");
  EXPECT_TRUE(fs::exists("System/pqx_enc.ini"));
  EXPECT_EQ(ReadAll("System/pqx_bsid.xml"), Scrambled("<bsid>abc</bsid>"));
  EXPECT_EQ(server_.requests(), 4);
}

TEST_F(WorkerRunTest, OnlyPqxBsidSetLeavesTheOthersAlone) {
  Install("1.2.0", "1.2.0");
  WriteAll("System/linkconfig.ini", "[common]\r\npqxbsid=" + server_.Url("/bsid") + "\r\n");
  server_.SetReply("/bsid", Reply(200, "abc"));
  WriteAll("System/Proxy.ini", "old proxy");
  EXPECT_EQ(Run(), Ending::kVersionReady);
  EXPECT_EQ(ReadAll("System/pqx_bsid.xml"), "\xC4\xC7\xC6");  // each byte ^ 0xA5
  EXPECT_EQ(ReadAll("System/Proxy.ini"), "old proxy");
  EXPECT_FALSE(fs::exists("System/pqx_enc.ini"));
  EXPECT_EQ(server_.requests(), 2);
}

TEST_F(WorkerRunTest, FailedSideFileDownloadsLeaveTheOldFiles) {
  Install("1.2.0", "1.2.0");
  WriteAll("System/linkconfig.ini",
           "[common]\r\nproxy=" + server_.Url("/missing") + "\r\npqxenc=" + server_.Url("/silent") +
               "\r\npqxbsid=" + server_.Url("/error") + "\r\n");
  TestReply silent;
  silent.mode = TestReply::Mode::kSilent;
  server_.SetReply("/silent", silent);          // times out after 2 s
  server_.SetReply("/error", Reply(500, "oops"));
  WriteAll("System/Proxy.ini", "old proxy");
  WriteAll("System/pqx_enc.ini", "old enc");
  WriteAll("System/pqx_bsid.xml", "old bsid");
  EXPECT_EQ(Run(), Ending::kVersionReady);
  EXPECT_EQ(ReadAll("System/Proxy.ini"), "old proxy");
  EXPECT_EQ(ReadAll("System/pqx_enc.ini"), "old enc");
  EXPECT_EQ(ReadAll("System/pqx_bsid.xml"), "old bsid");
  EXPECT_EQ(server_.requests(), 4);
  for (auto& entry : fs::directory_iterator("System")) {
    EXPECT_EQ(entry.path().extension().string().find(".tmp"), std::string::npos) << entry.path();
  }
}

}  // namespace
