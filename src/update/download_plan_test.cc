#include "update/download_plan.h"

#include <gtest/gtest.h>

#include <map>

namespace {

Sha256Digest Digest(uint8_t fill) {
  Sha256Digest d;
  d.fill(fill);
  return d;
}

LocalPackage Local(bool present, uint64_t size, std::optional<Sha256Digest> sha256 = std::nullopt,
                   uint64_t partial_bytes = 0) {
  LocalPackage local;
  local.present = present;
  local.size = size;
  local.sha256 = sha256;
  local.partial_bytes = partial_bytes;
  return local;
}

// Base 1.0.0, latest 1.0.3 whose manifest names 1.0.1 and 1.0.3; 1.0.2 is
// published but superseded.
ReleaseIndex ThreeReleases() {
  ReleaseIndex index;
  index.serial = 5;
  index.base = 10000;
  index.latest = 10003;
  index.needs = {10001, 10003};
  for (VersionNumber v : {10001u, 10002u, 10003u}) {
    index.packages.push_back({v, "Verpatch" + FiveDigitForm(v) + ".qvk", 1000 * (v - 10000),
                              Digest(static_cast<uint8_t>(v))});
  }
  return index;
}

TEST(JudgeIndex, SerialExpiryAndBase) {
  ReleaseIndex index = ThreeReleases();
  index.expires = 2000;
  struct Case {
    VersionNumber base;
    uint64_t seen;
    int64_t now;
    IndexVerdict verdict;
  } cases[] = {
      {10000, 0, 1000, IndexVerdict::kUsable},
      {10000, 5, 2000, IndexVerdict::kUsable},  // the same index again; expiry is inclusive
      {10000, 6, 1000, IndexVerdict::kOlderSerial},
      {10000, 5, 2001, IndexVerdict::kExpired},
      {20000, 0, 1000, IndexVerdict::kOtherBase},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(JudgeIndex(index, c.base, c.seen, c.now), c.verdict) << c.base << " " << c.seen << " " << c.now;
  }
  index.expires = 0;
  EXPECT_EQ(JudgeIndex(index, 10000, 0, INT64_MAX), IndexVerdict::kUsable) << "no expiry";
}

TEST(PlanDownload, FetchesOnlyWhatTheLatestNeedsAndIsNotSound) {
  const ReleaseIndex index = ThreeReleases();
  struct Case {
    const char* what;
    std::map<VersionNumber, LocalPackage> local;
    VersionNumber current;
    std::vector<VersionNumber> fetched;
    std::vector<uint64_t> resume_from;
    uint64_t bytes;
    bool up_to_date;
  } cases[] = {
      {"a fresh installation: never the superseded 1.0.2", {}, 10000, {10001, 10003}, {0, 0}, 4000, false},
      {"two releases behind, 1.0.1 in place", {{10001, Local(true, 1000)}}, 10001, {10003}, {0}, 3000, false},
      {"everything in place, update.ini behind", {{10001, Local(true, 1000)}, {10003, Local(true, 3000)}}, 10001, {}, {},
       0, false},
      {"everything in place and current", {{10001, Local(true, 1000)}, {10003, Local(true, 3000)}}, 10003, {}, {}, 0,
       true},
      {"a wrong size is damaged", {{10001, Local(true, 999)}, {10003, Local(true, 3000)}}, 10003, {10001}, {0}, 1000,
       false},
      {"a hashed package must match", {{10001, Local(true, 1000, Digest(1))}, {10003, Local(true, 3000, Digest(3))}},
       10003, {10001}, {0}, 1000, false},
      {"a partial file is resumed", {{10003, Local(false, 0, std::nullopt, 1200)}}, 10000, {10001, 10003},
       {0, 1200}, 2800, false},
      {"a whole partial file needs only its checks", {{10003, Local(false, 0, std::nullopt, 3000)}}, 10000,
       {10001, 10003}, {0, 3000}, 1000, false},
      {"a partial file longer than the package starts afresh", {{10003, Local(false, 0, std::nullopt, 3001)}},
       10000, {10001, 10003}, {0, 0}, 4000, false},
  };
  cases[5].local[10003].sha256 = Digest(static_cast<uint8_t>(10003));
  for (const Case& c : cases) {
    const DownloadPlan plan = PlanDownload(index, c.current, [&c](VersionNumber v) {
      const auto it = c.local.find(v);
      return it == c.local.end() ? LocalPackage() : it->second;
    });
    std::vector<VersionNumber> fetched;
    std::vector<uint64_t> resume_from;
    for (const PackageToFetch& f : plan.fetch) {
      fetched.push_back(f.version);
      resume_from.push_back(f.resume_from);
      EXPECT_EQ(f.file_name, "Verpatch" + FiveDigitForm(f.version) + ".qvk") << c.what;
    }
    EXPECT_EQ(fetched, c.fetched) << c.what;
    EXPECT_EQ(resume_from, c.resume_from) << c.what;
    EXPECT_EQ(plan.bytes_to_fetch, c.bytes) << c.what;
    EXPECT_EQ(plan.up_to_date, c.up_to_date) << c.what;
  }
}

TEST(DecideResume, EachServerAnswer) {
  struct Case {
    const char* what;
    uint64_t resume_from;
    RangeAnswer answer;
    ResumeAction action;
  } cases[] = {
      {"a first request", 0, {200}, ResumeAction::kWriteFromStart},
      {"the part asked for", 400, {206, true, 400, 1000}, ResumeAction::kAppend},
      {"the part asked for, total unknown", 400, {206, true, 400, 0}, ResumeAction::kAppend},
      {"200 to a range request: the whole file, from its start", 400, {200}, ResumeAction::kWriteFromStart},
      {"416", 400, {416}, ResumeAction::kRestart},
      {"another start", 400, {206, true, 0, 1000}, ResumeAction::kRestart},
      {"another file's total", 400, {206, true, 400, 2000}, ResumeAction::kRestart},
      {"206 without Content-Range", 400, {206}, ResumeAction::kRestart},
      {"206 to a request without range", 0, {206, true, 0, 1000}, ResumeAction::kRestart},
      {"404", 400, {404}, ResumeAction::kNotTheFile},
      {"a redirect's page", 0, {302}, ResumeAction::kNotTheFile},
  };
  for (const Case& c : cases) EXPECT_EQ(DecideResume(c.resume_from, 1000, c.answer), c.action) << c.what;
}

TEST(DecideNextStep, TheFailureTable) {
  using K = NextStep::Kind;
  struct Case {
    const char* what;
    Failure failure;
    SourceState state;
    K kind;
    int delay_ms;
  } cases[] = {
      {"refused, first try", Failure::kConnection, {1, true}, K::kRetrySameSource, 1000},
      {"reset, fourth try", Failure::kConnection, {4, true}, K::kRetrySameSource, 8000},
      {"5xx, fifth try: the next mirror", Failure::kServerBusy, {5, true}, K::kNextSource, 0},
      {"5xx, fifth try, no source left", Failure::kServerBusy, {5, false}, K::kGiveUp, 0},
      {"429 with Retry-After", Failure::kServerBusy, {1, true, 0, 7}, K::kRetrySameSource, 7000},
      {"stalled", Failure::kStalled, {1, false}, K::kResume, 0},
      {"stalled again and again", Failure::kStalled, {5, true}, K::kNextSource, 0},
      {"404", Failure::kNotFound, {1, true}, K::kNextSource, 0},
      {"404 at the last source", Failure::kNotFound, {1, false}, K::kGiveUp, 0},
      {"an HTML page", Failure::kNotAPackage, {1, true}, K::kNextSource, 0},
      {"https to http", Failure::kRefusedSource, {1, false}, K::kGiveUp, 0},
      {"416", Failure::kRangeRefused, {1, false}, K::kRestartFile, 0},
      {"416 to a request from byte 0: not a file server", Failure::kRangeRefused, {1, true, 0, -1, true},
       K::kNextSource, 0},
      {"416 to a request from byte 0, no source left", Failure::kRangeRefused, {1, false, 0, -1, true},
       K::kGiveUp, 0},
      {"a wrong hash: once more elsewhere", Failure::kHashMismatch, {1, true, 1}, K::kNextSource, 0},
      {"a wrong hash twice", Failure::kHashMismatch, {1, true, 2}, K::kGiveUp, 0},
      {"a wrong hash, no other source: once more here", Failure::kHashMismatch, {1, false, 1}, K::kRestartFile,
       0},
      {"a wrong hash twice, no other source", Failure::kHashMismatch, {1, false, 2}, K::kGiveUp, 0},
  };
  for (const Case& c : cases) {
    const NextStep step = DecideNextStep(c.failure, c.state);
    EXPECT_EQ(step.kind, c.kind) << c.what;
    EXPECT_EQ(step.delay_ms, c.delay_ms) << c.what;
  }
  EXPECT_EQ(BackoffDelayMs(10, -1), 30000) << "doubling stops at 30 s";
  EXPECT_EQ(BackoffDelayMs(1, 100000), 300000) << "a Retry-After is capped";
}

TEST(ClassifyTransfer, AnswersAndTransportErrors) {
  struct Case {
    const char* what;
    int curl_code;
    long status;
    const char* type;
    uint64_t bytes;
    std::optional<Failure> failure;
  } cases[] = {
      {"the file", 0, 200, "application/octet-stream", 1000, std::nullopt},
      {"the rest of the file", 0, 206, "", 1000, std::nullopt},
      {"connection refused", 7, 0, "", 0, Failure::kConnection},
      {"reset mid-body", 56, 200, "", 300, Failure::kConnection},
      {"under the speed floor", 28, 200, "", 300, Failure::kStalled},
      {"no answer before the time-out", 28, 0, "", 0, Failure::kConnection},
      {"500", 22, 500, "text/html", 0, Failure::kServerBusy},
      {"429", 22, 429, "", 0, Failure::kServerBusy},
      {"404", 22, 404, "text/html", 0, Failure::kNotFound},
      {"403", 22, 403, "", 0, Failure::kNotFound},
      {"416", 22, 416, "", 400, Failure::kRangeRefused},
      {"an HTML page with 200", 0, 200, "Text/HTML; charset=utf-8", 1000, Failure::kNotAPackage},
      {"short", 0, 200, "", 999, Failure::kNotAPackage},
      {"past the published size", 23, 200, "", 1000, Failure::kNotAPackage},
      {"a redirect to http", 1, 302, "", 0, Failure::kRefusedSource},
      {"a refused certificate", 60, 0, "", 0, Failure::kRefusedSource},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifyTransfer(c.curl_code, c.status, c.type, c.bytes, 1000), c.failure) << c.what;
  }
}

}  // namespace
