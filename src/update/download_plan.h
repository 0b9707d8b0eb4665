// The download program's decisions, as pure functions over what it has seen:
// whether a release index may be used, which packages to fetch, what to do
// with a partial file when the server answers a resumed request, and what
// each failure gets. The engine feeds them the network and the disk and
// carries out the result. Callable from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/sha256.h"
#include "base/version.h"
#include "package/release_index.h"

// --- The index -------------------------------------------------------------

enum class IndexVerdict {
  kUsable,
  kOlderSerial,  // below the highest serial this installation has seen: a stale cache or a rollback
  kExpired,      // past its expiry: a frozen mirror
  kOtherBase,    // for another base version: the installation needs the full client
};

// `highest_serial_seen` is 0 before any index was used; `now` in seconds
// since 1970 UTC. An index with the serial already seen is usable (the same
// index fetched again).
IndexVerdict JudgeIndex(const ReleaseIndex& index, VersionNumber installation_base,
                        uint64_t highest_serial_seen, int64_t now);

// --- Which packages ----------------------------------------------------------

// What the installation holds of one needed package.
struct LocalPackage {
  bool present = false;            // System/Verpatch%05d.qvk exists
  uint64_t size = 0;               // its size
  std::optional<Sha256Digest> sha256;  // its hash, when it was hashed (--repair)
  uint64_t partial_bytes = 0;      // size of its partial download, 0 if none
};

struct PackageToFetch {
  VersionNumber version = 0;
  std::string file_name;
  uint64_t size = 0;
  Sha256Digest sha256 = {};
  uint64_t resume_from = 0;  // bytes of a usable partial file; == size: only the checks remain
  bool replaces_damaged = false;
};

struct DownloadPlan {
  std::vector<PackageToFetch> fetch;  // ascending by version
  uint64_t bytes_to_fetch = 0;        // what remains to come over the network
  // True when nothing is to be fetched and update.ini already reads the
  // latest version (or above): nothing to do at all.
  bool up_to_date = false;
};

// `local` gives, for each version the index needs, what the installation
// holds (`local_of(v)`). A present package is sound when its size matches and,
// if it was hashed, its hash; otherwise it is fetched again. A partial file
// shorter than the package is resumed; one of its full size needs no request,
// only the checks; a longer one is started afresh.
// Superseded packages (not needed by the latest version) are never fetched.
DownloadPlan PlanDownload(const ReleaseIndex& index, VersionNumber current_version,
                          const std::function<LocalPackage(VersionNumber)>& local_of);

// --- A resumed request -------------------------------------------------------

// What the server answered a request for the package, made with
// "Range: bytes=<resume_from>-" when resume_from > 0.
struct RangeAnswer {
  long status = 0;
  bool has_content_range = false;
  uint64_t range_start = 0;  // Content-Range: bytes START-END/TOTAL
  uint64_t range_total = 0;  // 0 when the total is "*"
};

enum class ResumeAction {
  kWriteFromStart,  // the body is the whole file (200, also to a range request):
                    // truncate the partial file, write from 0
  kAppend,          // the body continues the partial file
  kRestart,         // the answer cannot continue it: drop the partial file and ask again from 0
  kNotTheFile,      // not a file answer at all: a failure of the source (see the table)
};

ResumeAction DecideResume(uint64_t resume_from, uint64_t expected_size, const RangeAnswer& answer);

// --- Failures ----------------------------------------------------------------

enum class Failure {
  kConnection,    // refused, reset, time-out while connecting, lost mid-body
  kServerBusy,    // 5xx, 429
  kStalled,       // under the speed floor for the stall window
  kNotFound,      // 404, 403, 410 and other 4xx
  kNotAPackage,   // an HTML page, a wrong size
  kHashMismatch,  // SHA-256 or the archive check failed once the file was whole
  kRefusedSource, // a redirect from https to http, a refused certificate
  kRangeRefused,  // 416 or a part that does not continue the file: ask again from 0
  kDiskWrite,     // the partial file could not be written (the disk is full)
};

// What the engine does next for a package, given how often this source and
// the package have failed.
struct NextStep {
  enum Kind {
    kRetrySameSource,  // after delay_ms
    kResume,           // at once, from what is on disk, same source
    kRestartFile,      // drop the partial file, ask the same source from 0
    kNextSource,       // the next mirror, then the base URL
    kGiveUp,           // no source left: a box naming the package and the server
  } kind = kGiveUp;
  int delay_ms = 0;
};

struct SourceState {
  int tries_here = 0;          // failed tries at the current source, this one included
  bool another_source = false; // a further mirror or the base URL is left
  int hash_failures = 0;       // of this package, this one included
  int retry_after_s = -1;      // the server's Retry-After, -1 without one
  bool from_start = false;     // the request asked for the whole file (no Range)
};

inline constexpr int kTriesPerSource = 5;
inline constexpr int kFirstBackoffMs = 1000;
inline constexpr int kMaxBackoffMs = 30000;

NextStep DecideNextStep(Failure failure, const SourceState& state);

// 1 s doubling to 30 s for the n-th failed try (n from 1); a Retry-After of
// the server is honoured up to 5 minutes.
int BackoffDelayMs(int tries, int retry_after_s);

// The failure a finished transfer is, from libcurl's result and the answer;
// nullopt when it delivered the file. `content_type` as the server sent it;
// `file_bytes` is what the file on disk holds after the transfer.
std::optional<Failure> ClassifyTransfer(int curl_code, long status, const std::string& content_type,
                                        uint64_t file_bytes, uint64_t expected_size);
