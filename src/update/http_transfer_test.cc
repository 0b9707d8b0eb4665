#include "update/http_transfer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>

#include "update/atomic_file.h"
#include "support/http_test_server.h"
#include "base/scramble.h"
#include "support/test_dir.h"

namespace fs = std::filesystem;

namespace {

// Short time-outs so the time-out cases end quickly; generous enough for a
// loaded machine to answer on 127.0.0.1.
constexpr TransferProfile kTestProfile{2000, 5000};
constexpr TransferProfile kQuickTimeout{2000, 300};

const char kOldContent[] = "old content";

class HttpTransferTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.ok()); }
  HttpTestServer server_;
  std::atomic<bool> stop_{false};
  HttpTransfer http_{stop_};
  TestDir dir_;
};

TEST_F(HttpTransferTest, StatusAndBodyDecideWhatIsWritten) {
  struct Case {
    const char* name;
    int status;
    std::string body;
    CURLcode code;
    DownloadStatus status_out;
    std::string file_after;
  };
  const Case cases[] = {
      {"ok", 200, "hello body", CURLE_OK, DownloadStatus::kWritten, "hello body"},
      {"empty", 200, "", CURLE_OK, DownloadStatus::kWritten, ""},
      {"not_found", 404, "nope", CURLE_HTTP_RETURNED_ERROR, DownloadStatus::kTransferFailed,
       kOldContent},
      {"server_error", 500, "broken", CURLE_HTTP_RETURNED_ERROR,
       DownloadStatus::kTransferFailed, kOldContent},
      {"exactly_full", 200, std::string(kTransferBufferSize, 'x'), CURLE_OK,
       DownloadStatus::kWritten, std::string(kTransferBufferSize, 'x')},
      {"one_byte_too_long", 200, std::string(kTransferBufferSize + 1, 'y'), CURLE_WRITE_ERROR,
       DownloadStatus::kTransferFailed, kOldContent},
      // Only a 2xx other than 204 is a body worth storing: a redirect page or
      // "no content" must not replace a side file.
      {"non_authoritative", 203, "cached", CURLE_OK, DownloadStatus::kWritten, "cached"},
      {"no_content", 204, "", CURLE_HTTP_RETURNED_ERROR, DownloadStatus::kTransferFailed,
       kOldContent},
      {"found", 302, "<html>moved</html>", CURLE_HTTP_RETURNED_ERROR,
       DownloadStatus::kTransferFailed, kOldContent},
      {"not_modified", 304, "", CURLE_HTTP_RETURNED_ERROR, DownloadStatus::kTransferFailed,
       kOldContent},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = std::string("/") + c.name;
    TestReply reply;
    reply.status = c.status;
    reply.body = c.body;
    server_.SetReply(path, reply);

    EXPECT_EQ(http_.Fetch(server_.Url(path).c_str(), kTestProfile), c.code);
    if (c.code == CURLE_OK) {
      EXPECT_EQ(std::string(http_.body().begin(), http_.body().end()), c.body);
      EXPECT_EQ(http_.received_count(), c.body.size());
    } else {
      EXPECT_TRUE(http_.body().empty());
      EXPECT_LE(http_.received_count(), kTransferBufferSize);
    }

    const fs::path dest = dir_ / (std::string(c.name) + ".bin");
    WriteAll(dest, kOldContent);
    EXPECT_EQ(DownloadToFile(http_, server_.Url(path).c_str(), dest, false, kTestProfile),
              c.status_out);
    EXPECT_EQ(ReadAll(dest), c.file_after);
    EXPECT_FALSE(fs::exists(dir_ / (std::string(c.name) + ".bin.tmp")));
    EXPECT_TRUE(http_.body().empty());  // released on every path
  }
}

TEST_F(HttpTransferTest, OverlongBodyIsRefusedWithinTheBuffer) {
  TestReply reply;
  reply.body = std::string(kTransferBufferSize + 1, 'z');
  server_.SetReply("/big", reply);
  EXPECT_EQ(http_.Fetch(server_.Url("/big").c_str(), kTestProfile), CURLE_WRITE_ERROR);
  EXPECT_TRUE(http_.body_overflowed());
  EXPECT_LE(http_.received_count(), kTransferBufferSize);

  // The next transfer on the same handle starts afresh.
  reply.body = "small";
  server_.SetReply("/small", reply);
  EXPECT_EQ(http_.Fetch(server_.Url("/small").c_str(), kTestProfile), CURLE_OK);
  EXPECT_FALSE(http_.body_overflowed());
  EXPECT_EQ(http_.received_count(), 5u);
}

TEST_F(HttpTransferTest, SilentServerTimesOutAndKeepsTheDestination) {
  TestReply reply;
  reply.mode = TestReply::Mode::kSilent;
  server_.SetReply("/silent", reply);
  const fs::path dest = dir_ / "Proxy.ini";
  WriteAll(dest, kOldContent);
  EXPECT_EQ(http_.Fetch(server_.Url("/silent").c_str(), kQuickTimeout),
            CURLE_OPERATION_TIMEDOUT);
  EXPECT_EQ(DownloadToFile(http_, server_.Url("/silent").c_str(), dest, false, kQuickTimeout),
            DownloadStatus::kTransferFailed);
  EXPECT_EQ(ReadAll(dest), kOldContent);
}

TEST_F(HttpTransferTest, StopFlagEndsTheTransferAtTheNextBlock) {
  // The server sends part of a long body, the flag is set, one more block
  // follows and then the server goes silent. Without the flag the transfer
  // would only end at its time-out (a different result code).
  TestReply reply;
  reply.mode = TestReply::Mode::kSplitStall;
  reply.body = std::string(32768, 'b');
  reply.split = 16384;
  reply.announced_length = 200000;
  reply.between_blocks = [this] { stop_ = true; };
  server_.SetReply("/long", reply);
  EXPECT_EQ(http_.Fetch(server_.Url("/long").c_str(), kTestProfile), CURLE_WRITE_ERROR);
  EXPECT_FALSE(http_.body_overflowed());
  EXPECT_LE(http_.received_count(), 16384u);
}

TEST_F(HttpTransferTest, ConnectionRefusedFails) {
  std::string url;
  {
    HttpTestServer closed;
    url = closed.Url("/serverlist.xml");
  }
  EXPECT_EQ(http_.Fetch(url.c_str(), kTestProfile), CURLE_COULDNT_CONNECT);
}

TEST_F(HttpTransferTest, RefusesUrlsThatAreNotPlainHttpOrTooLong) {
  EXPECT_EQ(http_.Fetch("/serverlist.xml", kTestProfile), CURLE_URL_MALFORMAT);
  EXPECT_NE(http_.Fetch("file:///etc/hostname", kTestProfile), CURLE_OK);
  const std::string long_url = server_.Url("/") + std::string(kMaxUrlBytes, 'a');
  EXPECT_EQ(http_.Fetch(long_url.c_str(), kTestProfile), CURLE_URL_MALFORMAT);
  EXPECT_EQ(server_.requests(), 0);
}

TEST_F(HttpTransferTest, RedirectsAreNotFollowed) {
  TestReply reply;
  reply.status = 302;
  reply.body = "moved";
  reply.extra_headers = "Location: " + server_.Url("/target") + "\r\n";
  server_.SetReply("/moved", reply);
  TestReply target;
  target.body = "target";
  server_.SetReply("/target", target);
  EXPECT_EQ(http_.Fetch(server_.Url("/moved").c_str(), kTestProfile), CURLE_HTTP_RETURNED_ERROR);
  EXPECT_TRUE(http_.body().empty());
  EXPECT_EQ(server_.requests(), 1);
}

// A stop request must end a transfer that receives nothing long before its
// time-out: the process would otherwise hold the instance marker meanwhile.
TEST_F(HttpTransferTest, StopFlagEndsATransferThatReceivesNothing) {
  TestReply reply;
  reply.mode = TestReply::Mode::kSilent;
  reply.between_blocks = [this] { stop_ = true; };
  server_.SetReply("/silent", reply);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(http_.Fetch(server_.Url("/silent").c_str(), TransferProfile{3000, 20000}),
            CURLE_ABORTED_BY_CALLBACK);
  // Bounded well below the 20 s time-out; the stop is noticed within 100 ms.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_TRUE(http_.body().empty());
}

TEST_F(HttpTransferTest, NoTransferStartsOnceStopIsSet) {
  TestReply reply;
  reply.body = "new";
  server_.SetReply("/f", reply);
  stop_ = true;
  const fs::path dest = dir_ / "Proxy.ini";
  WriteAll(dest, kOldContent);
  EXPECT_EQ(DownloadToFile(http_, server_.Url("/f").c_str(), dest, false, kTestProfile),
            DownloadStatus::kTransferFailed);
  EXPECT_EQ(ReadAll(dest), kOldContent);
  EXPECT_EQ(server_.requests(), 0);
}

TEST_F(HttpTransferTest, ScrambledDownloadUnscramblesBack) {
  TestReply reply;
  reply.body = "abc";
  server_.SetReply("/pqx_bsid.xml", reply);
  const fs::path dest = dir_ / "pqx_bsid.xml";
  ASSERT_EQ(DownloadToFile(http_, server_.Url("/pqx_bsid.xml").c_str(), dest, true, kTestProfile),
            DownloadStatus::kWritten);
  std::string stored = ReadAll(dest);
  ASSERT_EQ(stored, std::string({'a' ^ '\xA5', 'b' ^ '\xA5', 'c' ^ '\xA5'}));
  ScrambleBytes(reinterpret_cast<unsigned char*>(stored.data()), stored.size());
  EXPECT_EQ(stored, "abc");
}

std::atomic<int> g_server_checks{0};

bool RefuseEveryServer(CURL*, const char*) noexcept {
  ++g_server_checks;
  return false;
}

TEST_F(HttpTransferTest, ServerCheckIsForHttpsOnly) {
  TestReply reply;
  reply.body = "plain";
  server_.SetReply("/f", reply);
  SetTlsServerCheck(&RefuseEveryServer);
  const CURLcode code = http_.Fetch(server_.Url("/f").c_str(), kTestProfile);
  SetTlsServerCheck(nullptr);
  EXPECT_EQ(code, CURLE_OK);
  EXPECT_EQ(std::string(http_.body().begin(), http_.body().end()), "plain");
  EXPECT_EQ(g_server_checks.load(), 0);
}

TEST_F(HttpTransferTest, ReadOnlyDestinationIsMadeWritableAndReplaced) {
  TestReply reply;
  reply.body = "new";
  server_.SetReply("/f", reply);
  const fs::path dest = dir_ / "pqx_enc.ini";
  WriteAll(dest, kOldContent);
  fs::permissions(dest, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_EQ(DownloadToFile(http_, server_.Url("/f").c_str(), dest, false, kTestProfile),
            DownloadStatus::kWritten);
  EXPECT_EQ(ReadAll(dest), "new");
}

TEST(AtomicFileTest, FailedReplaceKeepsThePreviousCopyAndNoTemporary) {
  TestDir dir;
  // The destination is a directory, so the final replace fails.
  const fs::path dest = dir / "occupied";
  fs::create_directory(dest);
  EXPECT_FALSE(WriteFileReplacing(dest, "x", 1));
  EXPECT_TRUE(fs::is_directory(dest));
  EXPECT_FALSE(fs::exists(dir / "occupied.tmp"));

  // A missing directory: nothing can be created.
  EXPECT_FALSE(WriteFileReplacing(dir / "missing" / "f.ini", "x", 1));
  EXPECT_FALSE(fs::exists(dir / "missing"));
}

TEST(AtomicFileTest, ReplacesExistingAndLeftoverTemporary) {
  TestDir dir;
  const fs::path dest = dir / "serverlist.xml";
  WriteAll(dest, "previous");
  WriteAll(dir / "serverlist.xml.tmp", "stale leftover of a crash");
  ASSERT_TRUE(WriteFileReplacing(dest, "next", 4));
  EXPECT_EQ(ReadAll(dest), "next");
  EXPECT_FALSE(fs::exists(dir / "serverlist.xml.tmp"));
}

}  // namespace
