// The download program's engine: brings an installation to the latest
// release its operator has published. It fetches the server list as the
// launcher does, then the release index beside it, plans with download_plan,
// fetches the missing or damaged packages into download/ (two at a time,
// resumed, hashed while written), checks each, moves it into System in one
// step and, when every needed package is in place, has update.ini raised.
// Portable: the Windows program supplies the installation's state and the
// update.ini writer; the tests run it natively against real servers.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "base/version.h"
#include "package/index_signature.h"
#include "update/package_fetch.h"

// Partial downloads, at the installation's root (never in System, whose
// package listing the launcher's clean-up walks).
inline constexpr char kDownloadDir[] = "download";

struct DownloadSettings {
  FetchSettings fetch;
  int parallel = 2;        // transfers at once, 1 to 8
  bool repair = false;     // hash every needed package present
  int move_retry_ms = 30000;  // how long a refused move into System is retried
};

// What the installation is, read by the caller before the run.
struct InstallationState {
  std::filesystem::path root;
  std::string server_list_base_url;  // updatecfg.ini [home] serverlist
  VersionNumber base_version = 0;
  VersionNumber current_version = 0;
  uint64_t highest_serial = 0;       // of the indexes used before; 0: none
  // The keys an index must be signed by (none: unsigned indexes are taken,
  // as before signing existed). `keys_problem` set: the installation's keys
  // cannot be read, and every index is refused.
  TrustedKeys keys;
  uint64_t keys_serial = 0;  // the serial of the records the keys came from
  std::string keys_problem;
};

enum class RunStatus {
  kUpToDate,           // nothing to fetch, update.ini already at the latest
  kUpdated,            // every needed package in place, update.ini raised
  kNotPublished,       // at the index's latest, but the server list requires more
  kCancelled,          // the stop flag; partial files kept
  kServerUnreachable,  // the server list or the index could not be fetched
  kIndexRefused,       // malformed, older, expired, or for another base
  kPackageUnavailable, // no source gave the package (404, HTML, wrong size, refused)
  kPackageDamaged,     // it arrived twice with a wrong hash or a damaged archive
  kDiskFull,           // not enough space on the installation's drive
  kWriteRefused,       // a file could not be written, though the drive has space
  kMoveRefused,        // System refused the finished package
  kProgramNotReplaced, // launcher.exe or downloader.exe could not be swapped (a launcher runs, a scanner)
  kVersionNotWritten,  // update.ini could not be written
};

// Why an index was refused.
enum class IndexProblem { kNone, kMalformed, kOlder, kExpired, kOtherBase, kNotSigned, kKeysUnreadable };

struct RunResult {
  RunStatus status = RunStatus::kServerUnreachable;
  VersionNumber latest = 0;  // the index's latest version, once it was read
  VersionNumber reached = 0; // kUpToDate, kUpdated, kNotPublished: the installation's version now
  VersionNumber required = 0;  // kNotPublished: the version the server list requires
  std::string detail;        // what failed, for the log
  std::string package;       // the package concerned, if any
  std::string server;        // the URL that failed (kKeysUnreadable: the file), if any
  std::optional<Failure> failure;  // the last failure of that URL, if any
  long http_status = 0;      // its HTTP status, if it answered
  IndexProblem index_problem = IndexProblem::kNone;
  std::string drive;         // kDiskFull: the installation's drive ("C:")
  uint64_t bytes_needed = 0; // kDiskFull: what the drive must still hold
  uint64_t bytes_free = 0;   // kDiskFull: what it holds
};

struct DownloadProgress {
  uint64_t bytes_done = 0;   // of the bytes to fetch this run
  uint64_t bytes_total = 0;
  std::string package;       // the file being fetched last started
};

// The installation's update.ini raised to `latest` with the index's serial,
// written whole in one step. False when it could not be written.
using VersionWriter = std::function<bool(VersionNumber latest, uint64_t serial)>;
// The keys adopted from trust records, written whole in one step with the
// serial of those records and the index's serial. False when they could not
// be written.
using KeysWriter = std::function<bool(const TrustedKeys& keys, uint64_t keys_serial, uint64_t index_serial)>;
using ProgressSink = std::function<void(const DownloadProgress&)>;
// Free bytes on the drive of `path`; tests make a disk smaller.
using FreeSpaceProbe = std::function<uint64_t(const std::filesystem::path& path)>;

struct DownloadHooks {
  VersionWriter write_version;
  KeysWriter adopt_keys;
  ProgressSink progress;      // optional; called from the run's thread
  FreeSpaceProbe free_space;  // optional; std::filesystem::space otherwise
  std::function<int64_t()> now;  // seconds since 1970 UTC; optional
};

// Runs the whole download. Returns when done, failed, or `stop` became true
// (within some 100 ms). Logs every step with LaunchLogf.
RunResult RunDownload(const InstallationState& installation, const DownloadSettings& settings,
                           const DownloadHooks& hooks, const std::atomic<bool>& stop);

// A one-line text of the result for the log and the quiet program's output.
std::string DescribeResult(const RunResult& result);
