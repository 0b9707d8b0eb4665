#include "update/serverlist_download.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "base/launch_log.h"
#include "support/http_test_server.h"
#include "base/scramble.h"
#include "support/test_dir.h"

namespace fs = std::filesystem;

namespace {

constexpr TransferProfile kTestProfile{2000, 5000};

const char kGoodList[] =
    "<?xml version=\"1.0\"?><list v=\"12003\">"
    "<zone n=\"North\" p=\"0\" a=\"n:1\" l=\"ln\" x=\"0\"/>"
    "<zone n=\"South\" p=\"1\" a=\"s:1\" l=\"ls\" x=\"0\"/>"
    "<zone n=\"West\" p=\"1\" a=\"w:1\" l=\"lw\" x=\"0\"/>"
    "</list>";

std::string Scrambled(std::string bytes) {
  ScrambleBytes(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size());
  return bytes;
}

TEST(ServerListFailureRule, Table) {
  const struct {
    int count;
    ServerListFailureStep step;
  } cases[] = {
      {1, ServerListFailureStep::kRetry},
      {3, ServerListFailureStep::kRetry},
      {4, ServerListFailureStep::kUseStoredList},
      {9, ServerListFailureStep::kUseStoredList},
  };
  for (const auto& c : cases) EXPECT_EQ(StepAfterFailedAttempt(c.count), c.step) << c.count;
}

TEST(ServerListUrlTest, AppendsTheFileNameAndRefusesOverlongBases) {
  EXPECT_EQ(ServerListUrl("http://h/dir"), "http://h/dir/serverlist.xml");
  EXPECT_EQ(ServerListUrl(""), "/serverlist.xml");
  EXPECT_EQ(ServerListUrl(std::string(kMaxUrlBytes - 15, 'a')).size(), kMaxUrlBytes);
  EXPECT_EQ(ServerListUrl(std::string(kMaxUrlBytes - 14, 'a')), "");
}

class ZoneRuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ParseServerListDocument(kGoodList, sizeof(kGoodList) - 1, list_));
  }
  ServerList list_;
};

TEST_F(ZoneRuleTest, FindZoneIsExactAndCaseSensitive) {
  EXPECT_EQ(FindZone(list_, u"South"), list_.zones[1].get());
  EXPECT_EQ(FindZone(list_, u"south"), nullptr);
  EXPECT_EQ(FindZone(list_, u"Sout"), nullptr);
  EXPECT_EQ(FindZone(list_, u""), nullptr);
  EXPECT_EQ(FindZone(ServerList(), u"South"), nullptr);
}

TEST_F(ZoneRuleTest, CurrentZoneRule) {
  // No saved zone: the first preferred one.
  EXPECT_EQ(ChooseCurrentZone(list_), list_.zones[1].get());
  // The saved zone wins over a preferred one.
  list_.current_zone = list_.zones[0].get();
  EXPECT_EQ(ChooseCurrentZone(list_), list_.zones[0].get());
  // No preferred zone: the first zone.
  ServerList none_preferred;
  const std::string doc = "<?xml version=\"1.0\"?><l v=\"1\"><z n=\"A\" p=\"0\"/><z n=\"B\"/></l>";
  ASSERT_TRUE(ParseServerListDocument(doc.data(), doc.size(), none_preferred));
  EXPECT_EQ(ChooseCurrentZone(none_preferred), none_preferred.zones[0].get());
  // No zones at all.
  EXPECT_EQ(ChooseCurrentZone(ServerList()), nullptr);
}

TEST(LoadServerListFileTest, SavedZoneLookup) {
  TestDir dir;
  WriteAll(dir / "serverlist.xml", Scrambled(kGoodList));
  const struct {
    std::u16string saved;
    int expected_index;  // -1: none
  } cases[] = {{u"", -1}, {u"West", 2}, {u"Gone", -1}, {u"west", -1}};
  for (const auto& c : cases) {
    ServerList list;
    ASSERT_TRUE(LoadServerListFile(dir / "serverlist.xml", c.saved, list));
    EXPECT_EQ(list.current_zone,
              c.expected_index < 0 ? nullptr : list.zones[c.expected_index].get());
  }
  ServerList list;
  EXPECT_FALSE(LoadServerListFile(dir / "absent.xml", u"West", list));
  EXPECT_TRUE(list.zones.empty());
}

// The worker's attempts, run as the dialog would drive them: each kRetry is
// followed by another attempt.
class DownloadServerlistTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.ok());
    SetLaunchLogPath((dir_ / "launch.log").string());
  }
  void TearDown() override { SetLaunchLogPath(""); }

  ServerListLoader Loader() {
    return [this](const std::vector<unsigned char>* document) {
      if (document == nullptr) {
        ++stored_loads_;
        return LoadServerListFile(stored_, u"", list_);
      }
      return LoadServerListDocument(*document, u"", list_);
    };
  }

  // Runs attempts until one does not ask for a retry; returns every outcome.
  std::vector<ServerListOutcome> Run(const std::string& base) {
    std::vector<ServerListOutcome> outcomes;
    for (int i = 0; i < 10; ++i) {
      outcomes.push_back(
          DownloadServerlist(http_, base, failures_, Loader(), stored_, kTestProfile));
      if (outcomes.back() != ServerListOutcome::kRetry) break;
    }
    return outcomes;
  }

  HttpTestServer server_;
  std::atomic<bool> stop_{false};
  HttpTransfer http_{stop_};
  TestDir dir_;
  fs::path stored_ = dir_ / "serverlist.xml";
  ServerList list_;
  int failures_ = 0;
  int stored_loads_ = 0;
};

using O = ServerListOutcome;

TEST_F(DownloadServerlistTest, SuccessStoresTheBodyScrambledAndLoads) {
  TestReply reply;
  reply.body = kGoodList;
  server_.SetReply("/srv/serverlist.xml", reply);
  EXPECT_EQ(Run(server_.Url("/srv")), std::vector<O>({O::kLoaded}));
  EXPECT_EQ(ReadAll(stored_), Scrambled(kGoodList));
  EXPECT_EQ(list_.zones.size(), 3u);
  EXPECT_EQ(failures_, 0);
  EXPECT_EQ(ReadAll(dir_ / "launch.log"), "DownloadServerlist err_code:0\r\n");
}

TEST_F(DownloadServerlistTest, NoNetworkAndNoStoredListGivesUpAfterFourAttempts) {
  std::string base;
  {
    HttpTestServer closed;
    base = closed.Url("");
  }
  EXPECT_EQ(Run(base), std::vector<O>({O::kRetry, O::kRetry, O::kRetry, O::kGiveUp}));
  EXPECT_EQ(failures_, 4);
  EXPECT_EQ(stored_loads_, 1);  // only the fallback to the stored list
  EXPECT_FALSE(fs::exists(stored_));
}

TEST_F(DownloadServerlistTest, EmptyBaseUrlFallsBackToTheStoredList) {
  WriteAll(stored_, Scrambled(kGoodList));
  EXPECT_EQ(Run(""), std::vector<O>({O::kRetry, O::kRetry, O::kRetry, O::kLoaded}));
  EXPECT_EQ(list_.zones.size(), 3u);
  EXPECT_EQ(ReadAll(stored_), Scrambled(kGoodList));
}

TEST_F(DownloadServerlistTest, NotFoundWritesNothing) {
  WriteAll(stored_, Scrambled(kGoodList));
  EXPECT_EQ(DownloadServerlist(http_, server_.Url(""), failures_, Loader(), stored_, kTestProfile),
            O::kRetry);
  EXPECT_EQ(ReadAll(stored_), Scrambled(kGoodList));
  EXPECT_EQ(stored_loads_, 0);
  EXPECT_EQ(ReadAll(dir_ / "launch.log"), "DownloadServerlist err_code:22\r\n");
}

// Answers that are not a server list: each is a failed attempt that leaves
// the stored list byte for byte, so the fourth falls back to it.
TEST_F(DownloadServerlistTest, AnswersThatAreNotAListKeepTheStoredList) {
  const struct {
    const char* name;
    int status;
    std::string body;
    std::string headers;
  } cases[] = {
      {"maintenance page", 200, "<html>maintenance</html>", ""},
      {"empty body", 200, "", ""},
      {"xhtml portal", 200,
       "<?xml version=\"1.0\"?><html xmlns=\"http://www.w3.org/1999/xhtml\"><body>"
       "<form action=\"/login\"/></body></html>",
       ""},
      {"redirect", 302, kGoodList, "Location: /elsewhere\r\n"},
      {"moved", 301, kGoodList, "Location: /elsewhere\r\n"},
      {"no content", 204, "", ""},
      {"server error", 500, kGoodList, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ServerList fresh;
    std::swap(list_, fresh);
    failures_ = 0;
    stored_loads_ = 0;
    WriteAll(stored_, Scrambled(kGoodList));
    TestReply reply;
    reply.status = c.status;
    reply.body = c.body;
    reply.extra_headers = c.headers;
    server_.SetReply("/serverlist.xml", reply);
    EXPECT_EQ(Run(server_.Url("")),
              std::vector<O>({O::kRetry, O::kRetry, O::kRetry, O::kLoaded}));
    EXPECT_EQ(ReadAll(stored_), Scrambled(kGoodList));
    EXPECT_EQ(failures_, 4);
    EXPECT_EQ(stored_loads_, 1);
    EXPECT_EQ(list_.zones.size(), 3u);
  }
}

TEST_F(DownloadServerlistTest, ABodyThatLoadsIsUsedEvenWhenItCannotBeStored) {
  // The stored list's place is taken by a directory: the new list cannot be
  // written, but it loaded from memory, so the run goes on with it.
  fs::create_directory(stored_);
  TestReply reply;
  reply.body = kGoodList;
  server_.SetReply("/serverlist.xml", reply);
  EXPECT_EQ(Run(server_.Url("")), std::vector<O>({O::kLoaded}));
  EXPECT_EQ(list_.zones.size(), 3u);
  EXPECT_TRUE(fs::is_directory(stored_));
}

TEST_F(DownloadServerlistTest, OverlongBodyIsAFailedAttempt) {
  WriteAll(stored_, Scrambled(kGoodList));
  TestReply reply;
  reply.body = std::string(kTransferBufferSize + 1, '<');
  server_.SetReply("/serverlist.xml", reply);
  EXPECT_EQ(Run(server_.Url("")), std::vector<O>({O::kRetry, O::kRetry, O::kRetry, O::kLoaded}));
  EXPECT_EQ(ReadAll(stored_), Scrambled(kGoodList));
}

}  // namespace
