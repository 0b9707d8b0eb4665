// One package from one source into its partial file: resumed with Range from
// what the file already holds, hashed while it is written, never longer than
// the published size. The caller owns the easy handle and may drive it with
// curl_easy_perform or through a multi handle beside others; the decisions
// about what an answer or a failure means are download_plan's.
#pragma once

#include <curl/curl.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/sha256.h"
#include "base/threaded_sha256.h"
#include "update/download_plan.h"

struct FetchSettings {
  long connect_timeout_ms = 15000;
  long stall_bytes_per_second = 1024;  // slower than this for stall_seconds: stalled
  long stall_seconds = 30;
  int64_t max_bytes_per_second = 0;    // 0: no limit
  std::string proxy;                   // empty: libcurl's default (the environment)
};

// Resets `easy` and sets what every request of the download program shares:
// the URL, http and https only, redirects (from https only to https), the
// connect time-out, the stall floor and the proxy.
void SetFetchOptions(CURL* easy, const std::string& url, const FetchSettings& settings);

struct FetchOutcome {
  CURLcode curl_code = CURLE_FAILED_INIT;
  long status = 0;
  uint64_t file_bytes = 0;  // what the partial file holds now
  // nullopt: the file is whole, of the published size and SHA-256.
  std::optional<Failure> failure;
  std::optional<Sha256Digest> sha256;  // of the whole file, when it reached the published size
};

class PackageFetch {
 public:
  // Fetches `url` into `partial`, which holds `package.resume_from` bytes of
  // an earlier try (or none). Redirects are followed, from https only to
  // https; the installed TlsServerCheck judges https servers.
  PackageFetch(CURL* easy, std::string url, std::filesystem::path partial, const PackageToFetch& package,
               const FetchSettings& settings);
  ~PackageFetch();  // frees the request headers; the handle stays the caller's
  PackageFetch(const PackageFetch&) = delete;
  PackageFetch& operator=(const PackageFetch&) = delete;

  // Hashes what the partial file holds and sets the handle's options. False
  // (with outcome() set) when the partial file cannot be read or created.
  bool Prepare();
  // True after Prepare when the partial file already holds the whole
  // package: no transfer is needed, Finish(CURLE_OK) only checks it.
  bool Whole() const { return package_.resume_from == package_.size; }
  // After the transfer: closes the file and judges it.
  const FetchOutcome& Finish(CURLcode code);
  const FetchOutcome& outcome() const { return outcome_; }
  uint64_t bytes_received() const { return received_; }
  // What the partial file holds now, the bytes of earlier tries included.
  uint64_t file_bytes() const { return file_bytes_; }
  // Whether this answer replaced what the partial file held (a 200).
  bool wrote_from_start() const { return wrote_from_start_; }
  // Called after each piece of the body is written: libcurl keeps reading
  // as long as bytes wait, so the caller's progress and stop cannot wait for
  // the transfer to return. False ends the transfer (libcurl reports a write
  // error; the caller, which asked for it, knows better).
  void set_write_hook(std::function<bool()> hook) { write_hook_ = std::move(hook); }

 private:
  static size_t OnHeader(char* data, size_t size, size_t count, void* self) noexcept;
  static size_t OnWrite(char* data, size_t size, size_t count, void* self) noexcept;
  static int OnConnected(void* self, char*, char*, int, int) noexcept;
  // At the first bytes of the body: what to do with the partial file.
  bool StartBody();
  // Opens the partial file for writing, from its start when `truncate`.
  bool OpenForWriting(bool truncate);

  CURL* easy_;
  std::function<bool()> write_hook_;
  std::string url_;
  std::filesystem::path partial_;
  PackageToFetch package_;
  FetchSettings settings_;
  std::ofstream file_;
  std::unique_ptr<ThreadedSha256> hash_;  // hashed on the hashing thread while bytes arrive
  uint64_t file_bytes_ = 0;
  uint64_t received_ = 0;
  bool body_started_ = false;
  bool wrote_from_start_ = false;
  RangeAnswer answer_;
  std::string content_type_;
  std::optional<Failure> abort_reason_;
  std::string range_header_;
  curl_slist* headers_ = nullptr;
  FetchOutcome outcome_;
};
