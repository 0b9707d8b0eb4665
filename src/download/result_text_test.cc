#include "download/result_text.h"

#include <gtest/gtest.h>

#include "download/downloader_resource.h"

namespace {

RunResult Result(RunStatus status) {
  RunResult r;
  r.status = status;
  return r;
}

TEST(ResultTextTest, EachEndNamesWhatFailedWithTheValuesThePlayerNeeds) {
  RunResult updated = Result(RunStatus::kUpdated);
  updated.reached = 10003;
  RunResult unreachable = Result(RunStatus::kServerUnreachable);
  unreachable.failure = Failure::kConnection;
  unreachable.server = "http://host/packages.txt";
  RunResult busy = unreachable;
  busy.failure = Failure::kServerBusy;
  busy.http_status = 503;
  RunResult index_404 = unreachable;
  index_404.failure = Failure::kNotFound;
  index_404.http_status = 404;
  RunResult missing = Result(RunStatus::kPackageUnavailable);
  missing.failure = Failure::kNotFound;
  missing.http_status = 404;
  missing.package = "Verpatch10002.qvk";
  RunResult html = missing;
  html.failure = Failure::kNotAPackage;
  html.http_status = 200;
  RunResult unsafe = missing;
  unsafe.failure = Failure::kRefusedSource;
  unsafe.http_status = 0;
  unsafe.server = "https://cdn/Verpatch10002.qvk";
  RunResult damaged = Result(RunStatus::kPackageDamaged);
  damaged.package = "Verpatch10003.qvk";
  RunResult full = Result(RunStatus::kDiskFull);
  full.drive = "D:";
  full.bytes_needed = 300u << 20;
  full.bytes_free = 100u << 20;
  RunResult full_midway = full;
  full_midway.bytes_free = 1u << 20;  // the drive filled while writing
  RunResult refused = Result(RunStatus::kWriteRefused);
  refused.package = "Verpatch10002.qvk";
  RunResult older = Result(RunStatus::kIndexRefused);
  older.index_problem = IndexProblem::kOlder;
  RunResult other_base = Result(RunStatus::kIndexRefused);
  other_base.index_problem = IndexProblem::kOtherBase;
  RunResult malformed = Result(RunStatus::kIndexRefused);
  malformed.index_problem = IndexProblem::kMalformed;
  malformed.server = "http://host/packages.txt";
  RunResult not_signed = malformed;
  not_signed.index_problem = IndexProblem::kNotSigned;
  RunResult keys_unreadable = Result(RunStatus::kIndexRefused);
  keys_unreadable.index_problem = IndexProblem::kKeysUnreadable;
  keys_unreadable.server = "updatecfg.ini [trust] root: \"x\" is not a public key";
  RunResult program = Result(RunStatus::kProgramNotReplaced);
  program.package = "launcher.exe";
  RunResult not_published = Result(RunStatus::kNotPublished);
  not_published.required = 10004;
  not_published.reached = 10003;
  RunResult held = Result(RunStatus::kMoveRefused);
  held.package = "Verpatch10002.qvk";

  const struct {
    const char* name;
    RunResult result;
    unsigned id;
    std::vector<std::string> args;
  } cases[] = {
      {"updated", updated, IDS_DL_UPDATED, {"1.0.3"}},
      {"connection", unreachable, IDS_DL_FAIL_UNREACHABLE, {"http://host/packages.txt"}},
      {"busy", busy, IDS_DL_FAIL_SERVER_BUSY, {"503", "http://host/packages.txt"}},
      {"index 404", index_404, IDS_DL_FAIL_HTTP, {"404", "http://host/packages.txt"}},
      {"package 404", missing, IDS_DL_FAIL_HTTP, {"404", "Verpatch10002.qvk"}},
      {"html page", html, IDS_DL_FAIL_NOT_PACKAGE, {"Verpatch10002.qvk"}},
      {"https to http", unsafe, IDS_DL_FAIL_UNSAFE, {"https://cdn/Verpatch10002.qvk"}},
      {"damaged", damaged, IDS_DL_FAIL_DAMAGED, {"Verpatch10003.qvk"}},
      {"disk full", full, IDS_DL_FAIL_DISK, {"200.0", "D:"}},
      {"disk full midway", full_midway, IDS_DL_FAIL_DISK, {"299.0", "D:"}},
      {"write refused", refused, IDS_DL_FAIL_WRITE, {"Verpatch10002.qvk"}},
      {"older index", older, IDS_DL_FAIL_INDEX_OLDER, {}},
      {"other base", other_base, IDS_DL_FAIL_FULL_CLIENT, {}},
      {"malformed index", malformed, IDS_DL_FAIL_INDEX_UNREADABLE, {"http://host/packages.txt"}},
      {"index not signed", not_signed, IDS_DL_FAIL_NOT_SIGNED, {"http://host/packages.txt"}},
      {"keys unreadable", keys_unreadable, IDS_DL_FAIL_KEYS, {"updatecfg.ini [trust] root: \"x\" is not a public key"}},
      {"move refused", held, IDS_DL_FAIL_MOVE, {"Verpatch10002.qvk"}},
      {"not published", not_published, IDS_DL_NOT_PUBLISHED, {"1.0.4", "1.0.3"}},
      {"program not replaced", program, IDS_DL_FAIL_PROGRAM, {"launcher.exe"}},
  };
  for (const auto& c : cases) {
    const ResultText text = TextForResult(c.result);
    EXPECT_EQ(text.id, c.id) << c.name;
    EXPECT_EQ(text.args, c.args) << c.name;
  }
}

TEST(ResultTextTest, EachBlockerHasItsText) {
  EXPECT_EQ(TextForBlocker(Blocker::kGame).id, static_cast<unsigned>(IDS_DL_FAIL_GAME_RUNS));
  EXPECT_EQ(TextForBlocker(Blocker::kLauncher).id, static_cast<unsigned>(IDS_DL_FAIL_LAUNCHER_RUNS));
  EXPECT_EQ(TextForBlocker(Blocker::kDownloader).id, static_cast<unsigned>(IDS_DL_FAIL_ANOTHER_RUNS));
}

TEST(ResultTextTest, FillTextReplacesPlaceholdersInOrderAndNeverReadsPastTheArguments) {
  EXPECT_EQ(FillText(u"free %s MB on drive %s", {u"12.5", u"C:"}), u"free 12.5 MB on drive C:");
  EXPECT_EQ(FillText(u"%s and %s", {u"one"}), u"one and ");
  EXPECT_EQ(FillText(u"100%% of %s%", {u"x"}), u"100% of x%");
  EXPECT_EQ(FillText(u"%d stays", {u"x"}), u"%d stays");
}

TEST(ResultTextTest, MegabytesAreRoundedUpToATenth) {
  EXPECT_EQ(MegabytesText(0), "0.0");
  EXPECT_EQ(MegabytesText(1), "0.1");
  EXPECT_EQ(MegabytesText(1u << 20), "1.0");
  EXPECT_EQ(MegabytesText((1u << 20) + 1), "1.1");
}

}  // namespace
