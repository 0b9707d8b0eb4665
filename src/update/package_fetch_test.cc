#include "update/package_fetch.h"

#include <gtest/gtest.h>

#include "support/http_test_server.h"
#include "support/test_dir.h"
#include "update/http_transfer.h"

namespace {

const std::string kPackage = [] {
  std::string bytes;
  for (int i = 0; i < 5000; ++i) bytes += static_cast<char>(i * 7 + i / 13);
  return bytes;
}();

Sha256Digest DigestOf(const std::string& bytes) {
  Sha256 hash;
  hash.Update(bytes.data(), bytes.size());
  Sha256Digest digest{};
  EXPECT_TRUE(hash.Final(&digest));
  return digest;
}

TestReply Reply(int status, std::string body, std::string headers = "") {
  TestReply reply;
  reply.status = status;
  reply.body = std::move(body);
  reply.extra_headers = std::move(headers);
  return reply;
}

std::string ContentRange(size_t from) {
  return "Content-Range: bytes " + std::to_string(from) + "-" + std::to_string(kPackage.size() - 1) + "/" +
         std::to_string(kPackage.size()) + "\r\n";
}

// Each case: what the partial file holds, what the server answers, what the
// fetch concludes and leaves on disk.
TEST(PackageFetch, ResumesVerifiesAndRefuses) {
  struct Case {
    const char* what;
    size_t partial;  // bytes of kPackage already in the partial file
    TestReply reply;
    std::optional<Failure> failure;
    std::string file;  // the partial file afterwards
    const char* range; // the Range header sent, "" for none
  } cases[] = {
      {"a whole download", 0, Reply(200, kPackage), std::nullopt, kPackage, ""},
      {"resumed where it stopped", 1200, Reply(206, kPackage.substr(1200), ContentRange(1200)), std::nullopt,
       kPackage, "Range: bytes=1200-"},
      {"200 to a range request: written from the start", 1200, Reply(200, kPackage), std::nullopt, kPackage,
       "Range: bytes=1200-"},
      {"a part that starts elsewhere", 1200, Reply(206, kPackage.substr(1000), ContentRange(1000)),
       Failure::kRangeRefused, kPackage.substr(0, 1200), "Range: bytes=1200-"},
      {"416", 1200, Reply(416, ""), Failure::kRangeRefused, kPackage.substr(0, 1200), "Range: bytes=1200-"},
      {"404", 0, Reply(404, "<html>gone</html>"), Failure::kNotFound, "", ""},
      {"503", 1200, Reply(503, "busy"), Failure::kServerBusy, kPackage.substr(0, 1200), "Range: bytes=1200-"},
      {"an HTML page with 200", 0, Reply(200, "<html>login</html>", "Content-Type: text/html\r\n"),
       Failure::kNotAPackage, "", ""},
      {"short", 0, Reply(200, kPackage.substr(0, 4000)), Failure::kNotAPackage, kPackage.substr(0, 4000), ""},
      {"longer than published", 0, Reply(200, kPackage + "tail"), Failure::kNotAPackage, "", ""},
      {"the right size, other bytes", 0, Reply(200, std::string(kPackage.size(), 'x')), Failure::kHashMismatch,
       std::string(kPackage.size(), 'x'), ""},
      {"a damaged partial file is caught", 1200, Reply(206, kPackage.substr(1200), ContentRange(1200)),
       Failure::kHashMismatch, std::string(1200, 'y') + kPackage.substr(1200), "Range: bytes=1200-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HttpTestServer server;
    ASSERT_TRUE(server.ok());
    server.SetReply("/p/Verpatch10001.qvk", c.reply);
    TestDir dir;
    const auto partial = dir / "Verpatch10001.qvk.part";
    const bool damaged = std::string(c.what).find("damaged") != std::string::npos;
    if (c.partial > 0) WriteAll(partial, damaged ? std::string(c.partial, 'y') : kPackage.substr(0, c.partial));
    PackageToFetch package;
    package.version = 10001;
    package.file_name = "Verpatch10001.qvk";
    package.size = kPackage.size();
    package.sha256 = DigestOf(kPackage);
    package.resume_from = c.partial;
    CurlEasy easy;
    FetchSettings settings;
    settings.stall_seconds = 5;
    PackageFetch fetch(easy.get(), server.Url("/p/Verpatch10001.qvk"), partial, package, settings);
    ASSERT_TRUE(fetch.Prepare());
    const FetchOutcome& outcome = fetch.Finish(curl_easy_perform(easy.get()));
    EXPECT_EQ(outcome.failure, c.failure) << "curl " << outcome.curl_code << ", status " << outcome.status;
    EXPECT_EQ(ReadAll(partial), c.file);
    EXPECT_EQ(outcome.file_bytes, c.file.size());
    const std::string request = server.LastRequest() + "\r\n";
    if (c.range[0] == 0) {
      EXPECT_EQ(request.find("Range:"), std::string::npos) << request;
    } else {
      EXPECT_NE(request.find(std::string(c.range) + "\r\n"), std::string::npos) << request;
    }
  }
}

// A partial file of the full size is checked without a request: whole and
// sound, or damaged.
TEST(PackageFetch, AWholePartialFileIsOnlyChecked) {
  for (const std::string& bytes : {kPackage, std::string(kPackage.size(), 'z')}) {
    TestDir dir;
    WriteAll(dir / "a.part", bytes);
    PackageToFetch package;
    package.size = kPackage.size();
    package.sha256 = DigestOf(kPackage);
    package.resume_from = kPackage.size();
    CurlEasy easy;
    PackageFetch fetch(easy.get(), "http://127.0.0.1:9/unused", dir / "a.part", package, {});
    ASSERT_TRUE(fetch.Prepare());
    ASSERT_TRUE(fetch.Whole());
    const std::optional<Failure> expected =
        bytes == kPackage ? std::nullopt : std::optional<Failure>(Failure::kHashMismatch);
    EXPECT_EQ(fetch.Finish(CURLE_OK).failure, expected);
  }
}

TEST(PackageFetch, FollowsACdnsRedirect) {
  HttpTestServer server;
  ASSERT_TRUE(server.ok());
  server.SetReply("/p/Verpatch10001.qvk", Reply(302, "", "Location: " + server.Url("/edge/Verpatch10001.qvk") + "\r\n"));
  server.SetReply("/edge/Verpatch10001.qvk", Reply(200, kPackage));
  TestDir dir;
  PackageToFetch package;
  package.size = kPackage.size();
  package.sha256 = DigestOf(kPackage);
  CurlEasy easy;
  PackageFetch fetch(easy.get(), server.Url("/p/Verpatch10001.qvk"), dir / "a.part", package, {});
  ASSERT_TRUE(fetch.Prepare());
  EXPECT_EQ(fetch.Finish(curl_easy_perform(easy.get())).failure, std::nullopt);
  EXPECT_EQ(ReadAll(dir / "a.part"), kPackage);
  EXPECT_EQ(server.requests(), 2);
}

}  // namespace
