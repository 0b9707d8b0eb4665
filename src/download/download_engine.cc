#include "download/download_engine.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <limits>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "base/file_flush.h"
#include "base/launch_log.h"
#include "base/sha256.h"
#include "download/disk_flusher.h"
#include "package/archive_check.h"
#include "package/release_index.h"
#include "update/download_plan.h"
#include "update/http_transfer.h"
#include "update/program_swap.h"
#include "update/serverlist_download.h"

namespace fs = std::filesystem;

namespace {

constexpr char kIndexFile[] = "packages.txt";
constexpr char kKeyStatementFile[] = "keys.txt";
// Left free beside the packages: the launcher, its logs and the game need room too.
constexpr uint64_t kSpaceMargin = 16ull << 20;

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t UnixNow(const DownloadHooks& hooks) {
  if (hooks.now) return hooks.now();
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

// Waits `ms`, ending early when `stop` becomes true. False when stopped.
bool WaitUnlessStopped(int ms, const std::atomic<bool>& stop) {
  const int64_t end = NowMs() + ms;
  while (!stop.load()) {
    const int64_t left = end - NowMs();
    if (left <= 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(left, 50)));
  }
  return false;
}

std::string HexDigest(const Sha256Digest& d) { return Sha256Hex(d); }

uint64_t FileSize(const fs::path& path) {
  std::error_code ec;
  const uint64_t size = fs::file_size(path, ec);
  return ec ? 0 : size;
}

std::optional<Sha256Digest> HashWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  Sha256 hash;
  std::vector<char> buffer(1 << 16);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    hash.Update(buffer.data(), static_cast<size_t>(in.gcount()));
  }
  if (in.bad()) return std::nullopt;
  Sha256Digest digest;
  if (!hash.Final(&digest)) return std::nullopt;
  return digest;
}

// "Z:" on Windows, "/" elsewhere: what the player frees space on.
std::string DriveOf(const fs::path& root) {
  const fs::path drive = root.has_root_name() ? root.root_name() : root.root_path();
  return drive.u8string();
}

std::string JoinUrl(const std::string& base, const std::string& name) {
  if (!base.empty() && base.back() == '/') return base + name;
  return base + "/" + name;
}

const char* FailureName(Failure f) {
  switch (f) {
    case Failure::kConnection: return "connection failed";
    case Failure::kServerBusy: return "server busy";
    case Failure::kStalled: return "stalled";
    case Failure::kNotFound: return "not found";
    case Failure::kNotAPackage: return "not the package";
    case Failure::kHashMismatch: return "damaged";
    case Failure::kRefusedSource: return "source refused";
    case Failure::kRangeRefused: return "range refused";
    case Failure::kDiskWrite: return "disk write failed";
  }
  return "failed";
}

RunResult Fail(RunStatus status, std::string detail) {
  RunResult r;
  r.status = status;
  r.detail = std::move(detail);
  return r;
}

RunResult RefusedIndex(IndexProblem problem, std::string detail) {
  RunResult r = Fail(RunStatus::kIndexRefused, std::move(detail));
  r.index_problem = problem;
  return r;
}

// ---- The release index ------------------------------------------------------

struct TextBody {
  size_t cap = kMaxReleaseIndexBytes;
  std::string text;
  bool too_long = false;
};

size_t OnTextBody(char* data, size_t size, size_t count, void* user) noexcept {
  auto* body = static_cast<TextBody*>(user);
  const size_t n = size * count;
  if (n > body->cap - body->text.size()) {
    body->too_long = true;
    return 0;
  }
  body->text.append(data, n);
  return n;
}

int OnTextConnected(void* easy, char*, char*, int, int) noexcept {
  return PassesTlsServerCheck(static_cast<CURL*>(easy)) ? CURL_PREREQFUNC_OK : CURL_PREREQFUNC_ABORT;
}

int OnTextProgress(void* stop, curl_off_t, curl_off_t, curl_off_t, curl_off_t) noexcept {
  return static_cast<const std::atomic<bool>*>(stop)->load() ? 1 : 0;
}

// One GET of the index into memory, with the packages' network settings.
std::optional<Failure> FetchIndexOnce(CURL* easy, const std::string& url, const FetchSettings& settings,
                                      const std::atomic<bool>& stop, TextBody* body, long* status,
                                      int* retry_after_s) {
  body->text.clear();
  body->too_long = false;
  SetFetchOptions(easy, url, settings);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &OnTextBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, body);
  curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &OnTextConnected);
  curl_easy_setopt(easy, CURLOPT_PREREQDATA, easy);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &OnTextProgress);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &stop);
  // A cache must not hand out an index older than the one published.
  curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  const CURLcode code = curl_easy_perform(easy);
  curl_slist_free_all(headers);
  *status = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, status);
  curl_off_t retry_after = -1;
  *retry_after_s = curl_easy_getinfo(easy, CURLINFO_RETRY_AFTER, &retry_after) == CURLE_OK && retry_after > 0
                       ? static_cast<int>(std::min<curl_off_t>(retry_after, 3600))
                       : -1;
  if (body->too_long) return Failure::kNotAPackage;
  if (code == CURLE_OK && *status == 200) return std::nullopt;
  return ClassifyTransfer(code, *status, "", 0, 1).value_or(Failure::kNotFound);
}

// ---- The packages -----------------------------------------------------------

struct Job {
  PackageToFetch package;
  size_t source = 0;
  int tries_here = 0;
  int hash_failures = 0;
  int64_t not_before_ms = 0;
  bool running = false;
  bool done = false;
  bool program = false;  // a program: it waits in download/ for the swap
  uint64_t on_disk = 0;  // bytes of its partial file (or its size once done)
};

struct Slot {
  CurlEasy easy;
  std::unique_ptr<PackageFetch> fetch;
  size_t job = 0;
  bool busy = false;
  uint64_t start_bytes = 0;
  uint64_t flush_asked_at = 0;  // file bytes when a flush was last asked for
  int64_t started_ms = 0;
};

// How much a partial file grows between two flushes on the flusher's thread.
constexpr uint64_t kFlushEveryBytes = 64 << 20;

class PackageRun {
 public:
  PackageRun(const InstallationState& installation, const DownloadSettings& settings, const DownloadHooks& hooks,
             const std::atomic<bool>& stop, const ReleaseIndex& index, const std::vector<PackageToFetch>& fetch,
             const std::vector<PackageToFetch>& programs)
      : installation_(installation), settings_(settings), hooks_(hooks), stop_(stop), index_(index) {
    for (const std::string& m : index.mirrors) sources_.push_back(m);
    sources_.push_back(installation.server_list_base_url);
    for (const auto* list : {&fetch, &programs}) {
      for (const PackageToFetch& p : *list) {
        Job job;
        job.package = p;
        job.on_disk = p.resume_from;
        job.program = list == &programs;
        jobs_.push_back(job);
        total_ += p.size;
      }
    }
  }

  // Fetches every job; nullopt when all are in System.
  std::optional<RunResult> Run();

 private:
  fs::path PartialPath(const Job& job) const { return installation_.root / kDownloadDir / job.package.file_name; }
  fs::path SystemPath(const Job& job) const { return installation_.root / "System" / job.package.file_name; }
  enum class Started { kTransfer, kChecksOnly, kFileRefused };
  Started Start(Slot& slot, size_t job_index);
  // Handles a finished transfer; a result ends the run.
  std::optional<RunResult> Finished(Slot& slot, CURLcode code);
  std::optional<RunResult> Placed(Job& job);
  // `trusted_bytes`: how much of the partial file came from earlier tries
  // and this one did not replace; `from_start`: the request had no Range.
  std::optional<RunResult> Failed(Job& job, Failure failure, const FetchOutcome& outcome, int retry_after_s,
                                  bool from_start, uint64_t trusted_bytes);
  void AbortAll();
  // After each piece of a transfer is written: progress, flushes, the stop.
  bool OnBytes(Slot& slot);

  void Report(bool force);

  const InstallationState& installation_;
  const DownloadSettings& settings_;
  const DownloadHooks& hooks_;
  const std::atomic<bool>& stop_;
  const ReleaseIndex& index_;
  std::vector<std::string> sources_;
  std::vector<Job> jobs_;
  std::vector<Slot> slots_;
  CurlMulti multi_;
  uint64_t total_ = 0;
  std::string current_;
  int64_t last_report_ms_ = 0;
  DiskFlusher flusher_;  // last: it stops before the files it flushes go
};

PackageRun::Started PackageRun::Start(Slot& slot, size_t job_index) {
  Job& job = jobs_[job_index];
  const std::string url = JoinUrl(sources_[job.source], job.package.file_name);
  job.package.resume_from = job.on_disk <= job.package.size ? job.on_disk : 0;
  slot.fetch = std::make_unique<PackageFetch>(slot.easy.get(), url, PartialPath(job), job.package, settings_.fetch);
  slot.job = job_index;
  slot.busy = true;
  slot.started_ms = NowMs();
  job.running = true;
  current_ = job.package.file_name;
  if (!slot.fetch->Prepare()) return Started::kFileRefused;
  slot.start_bytes = slot.fetch->file_bytes();
  slot.flush_asked_at = slot.start_bytes;
  if (slot.fetch->Whole()) return Started::kChecksOnly;
  slot.fetch->set_write_hook([this, &slot] { return OnBytes(slot); });
  LaunchLogf("GET %s from byte %llu of %llu\n", url.c_str(), static_cast<unsigned long long>(slot.start_bytes),
             static_cast<unsigned long long>(job.package.size));
  curl_multi_add_handle(multi_.get(), slot.easy.get());
  return Started::kTransfer;
}

std::optional<RunResult> PackageRun::Placed(Job& job) {
  const fs::path partial = PartialPath(job);
  const std::vector<std::string> problems =
      job.program ? std::vector<std::string>() : CheckPackageArchive(partial, job.package.version, index_.base);
  if (!problems.empty()) {
    LaunchLogf("%s: archive check failed: %s\n", job.package.file_name.c_str(), problems.front().c_str());
    FetchOutcome outcome;
    outcome.file_bytes = job.on_disk;
    return Failed(job, Failure::kHashMismatch, outcome, -1, false, 0);
  }
  if (!FlushFileToDisk(partial)) {
    LaunchLogf("%s: cannot be flushed to the disk\n", job.package.file_name.c_str());
    FetchOutcome outcome;
    outcome.file_bytes = job.on_disk;
    return Failed(job, Failure::kDiskWrite, outcome, -1, false, job.on_disk);
  }
  if (job.program) {
    job.done = true;
    job.running = false;
    job.on_disk = job.package.size;
    LaunchLogf("%s: verified, waits in %s for the swap\n", job.package.file_name.c_str(), kDownloadDir);
    return std::nullopt;
  }
  const fs::path target = SystemPath(job);
  const int64_t give_up = NowMs() + settings_.move_retry_ms;
  std::error_code ec;
  for (;;) {
    fs::rename(partial, target, ec);
    if (!ec) break;
    if (stop_.load()) return Fail(RunStatus::kCancelled, "cancelled");
    if (NowMs() >= give_up) {
      LaunchLogf("%s: cannot move into System: %s\n", job.package.file_name.c_str(), ec.message().c_str());
      RunResult r = Fail(RunStatus::kMoveRefused, "System refuses " + job.package.file_name + ": " + ec.message());
      r.package = job.package.file_name;
      return r;
    }
    // A virus scanner may hold the new file for a moment.
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  job.done = true;
  job.running = false;
  job.on_disk = job.package.size;
  LaunchLogf("%s: verified and placed in System\n", job.package.file_name.c_str());
  return std::nullopt;
}

std::optional<RunResult> PackageRun::Failed(Job& job, Failure failure, const FetchOutcome& outcome,
                                            int retry_after_s, bool from_start, uint64_t trusted_bytes) {
  job.running = false;
  const bool damaged = failure == Failure::kHashMismatch;
  if (damaged) ++job.hash_failures;
  ++job.tries_here;
  SourceState state;
  state.tries_here = job.tries_here;
  state.another_source = job.source + 1 < sources_.size();
  state.hash_failures = job.hash_failures;
  state.retry_after_s = retry_after_s;
  state.from_start = from_start;
  const NextStep step = DecideNextStep(failure, state);
  const fs::path partial = PartialPath(job);
  std::error_code ec;
  if (damaged || step.kind == NextStep::kRestartFile) {
    fs::remove(partial, ec);
    job.on_disk = 0;
  } else if (failure == Failure::kNotAPackage) {
    // What a source sent that is not the package (a wrong size, a body too
    // long) must not be continued from another source: back to what earlier
    // tries left.
    if (trusted_bytes == 0) {
      fs::remove(partial, ec);
    } else if (FileSize(partial) > trusted_bytes) {
      fs::resize_file(partial, trusted_bytes, ec);
      if (ec) fs::remove(partial, ec);
    }
    job.on_disk = FileSize(partial);
  } else {
    job.on_disk = FileSize(partial);
  }
  const std::string url = JoinUrl(sources_[job.source], job.package.file_name);
  switch (step.kind) {
    case NextStep::kRetrySameSource:
      LaunchLogf("%s: %s, try %d again in %d ms\n", url.c_str(), FailureName(failure), job.tries_here + 1,
                 step.delay_ms);
      job.not_before_ms = NowMs() + step.delay_ms;
      return std::nullopt;
    case NextStep::kResume:
    case NextStep::kRestartFile:
      LaunchLogf("%s: %s, %s\n", url.c_str(), FailureName(failure),
                 step.kind == NextStep::kResume ? "resuming" : "starting the file again");
      job.not_before_ms = 0;
      return std::nullopt;
    case NextStep::kNextSource:
      ++job.source;
      job.tries_here = 0;
      job.not_before_ms = 0;
      LaunchLogf("%s: %s, next source %s\n", url.c_str(), FailureName(failure), sources_[job.source].c_str());
      return std::nullopt;
    case NextStep::kGiveUp:
      break;
  }
  LaunchLogf("%s: %s, giving up\n", url.c_str(), FailureName(failure));
  RunResult r;
  r.package = job.package.file_name;
  r.server = url;
  r.failure = failure;
  r.http_status = outcome.status;
  if (failure == Failure::kDiskWrite) {
    r.status = RunStatus::kDiskFull;
    uint64_t left = 0;
    for (const Job& j : jobs_) left += j.done ? 0 : j.package.size - std::min(j.on_disk, j.package.size);
    r.bytes_needed = left;
    // Unknown free space counts as none: a full drive may not tell (the
    // library then reports all ones without an error).
    std::error_code space_error;
    const uint64_t measured = hooks_.free_space ? hooks_.free_space(installation_.root)
                                                : fs::space(installation_.root, space_error).available;
    const bool known = !space_error && measured != std::numeric_limits<uint64_t>::max();
    r.bytes_free = known ? measured : 0;
    LaunchLogf("%s: %s bytes free on %s, %llu bytes still to write\n", job.package.file_name.c_str(),
               known ? std::to_string(measured).c_str() : "unknown", DriveOf(installation_.root).c_str(),
               static_cast<unsigned long long>(left));
    r.drive = DriveOf(installation_.root);
    r.detail = "not enough free space on " + DriveOf(installation_.root) + " to write " + job.package.file_name;
    if (r.bytes_free >= left + kSpaceMargin) {
      // The drive has room (with the margin asked for before the start): the
      // file itself refused (a scanner, rights). What a failed write counted
      // may not be on the disk, so a nearly full drive stays "disk full".
      r.status = RunStatus::kWriteRefused;
      r.detail = job.package.file_name + " cannot be written";
    }
  } else if (damaged) {
    r.status = RunStatus::kPackageDamaged;
    r.detail = job.package.file_name + " arrived damaged twice";
  } else {
    r.status = failure == Failure::kConnection || failure == Failure::kServerBusy || failure == Failure::kStalled
                   ? RunStatus::kServerUnreachable
                   : RunStatus::kPackageUnavailable;
    r.detail = std::string(FailureName(failure)) + (outcome.status ? " (HTTP " + std::to_string(outcome.status) + ")" : "");
  }
  return r;
}

std::optional<RunResult> PackageRun::Finished(Slot& slot, CURLcode code) {
  slot.busy = false;
  Job& job = jobs_[slot.job];
  flusher_.Settle(PartialPath(job));
  const FetchOutcome outcome = slot.fetch->Finish(code);
  curl_off_t retry_after = -1;
  if (curl_easy_getinfo(slot.easy.get(), CURLINFO_RETRY_AFTER, &retry_after) != CURLE_OK) retry_after = -1;
  const double seconds = static_cast<double>(NowMs() - slot.started_ms) / 1000.0;
  LaunchLogf("%s: curl %d, HTTP %ld, %llu of %llu bytes, %llu received in %.1f s, expected %s, got %s\n",
             job.package.file_name.c_str(), static_cast<int>(outcome.curl_code), outcome.status,
             static_cast<unsigned long long>(outcome.file_bytes), static_cast<unsigned long long>(job.package.size),
             static_cast<unsigned long long>(slot.fetch->bytes_received()), seconds,
             HexDigest(job.package.sha256).c_str(),
             outcome.sha256 ? HexDigest(*outcome.sha256).c_str() : "-");
  const bool from_start = slot.start_bytes == 0;
  const uint64_t trusted_bytes = slot.fetch->wrote_from_start() ? 0 : slot.start_bytes;
  slot.fetch.reset();
  job.on_disk = outcome.file_bytes;
  if (!outcome.failure) return Placed(job);
  const int retry_after_s = retry_after > 0 ? static_cast<int>(std::min<curl_off_t>(retry_after, 3600)) : -1;
  return Failed(job, *outcome.failure, outcome, retry_after_s, from_start, trusted_bytes);
}

bool PackageRun::OnBytes(Slot& slot) {
  if (slot.fetch->file_bytes() >= slot.flush_asked_at + kFlushEveryBytes) {
    slot.flush_asked_at = slot.fetch->file_bytes();
    flusher_.Request(PartialPath(jobs_[slot.job]));
  }
  Report(false);
  return !stop_.load();
}

void PackageRun::AbortAll() {
  for (Slot& slot : slots_) {
    if (!slot.busy) continue;
    curl_multi_remove_handle(multi_.get(), slot.easy.get());
    slot.fetch->Finish(CURLE_ABORTED_BY_CALLBACK);  // closes the partial file, which is kept
    slot.fetch.reset();
    slot.busy = false;
  }
}

void PackageRun::Report(bool force) {
  if (!hooks_.progress) return;
  const int64_t now = NowMs();
  if (!force && now - last_report_ms_ < 100) return;
  last_report_ms_ = now;
  DownloadProgress p;
  p.bytes_total = total_;
  for (const Job& j : jobs_) p.bytes_done += std::min(j.on_disk, j.package.size);
  for (const Slot& s : slots_) {
    if (!s.busy) continue;
    const Job& j = jobs_[s.job];
    const uint64_t now_on_disk = s.fetch->file_bytes();
    p.bytes_done = p.bytes_done - std::min(j.on_disk, j.package.size) + std::min(now_on_disk, j.package.size);
  }
  p.package = current_;
  hooks_.progress(p);
}

std::optional<RunResult> PackageRun::Run() {
  if (!multi_.get()) return Fail(RunStatus::kServerUnreachable, "libcurl cannot start");
  const int parallel = std::clamp(settings_.parallel, 1, 8);
  slots_.resize(static_cast<size_t>(parallel));
  for (Slot& s : slots_) {
    if (!s.easy.get()) return Fail(RunStatus::kServerUnreachable, "libcurl cannot start");
  }
  Report(true);
  for (;;) {
    if (stop_.load()) {
      AbortAll();
      Report(true);
      return Fail(RunStatus::kCancelled, "cancelled");
    }
    // Fill the free slots with jobs that may start now.
    int64_t next_wake = NowMs() + 100;
    for (Slot& slot : slots_) {
      if (slot.busy) continue;
      for (size_t i = 0; i < jobs_.size(); ++i) {
        Job& job = jobs_[i];
        if (job.done || job.running) continue;
        if (job.not_before_ms > NowMs()) {
          next_wake = std::min(next_wake, job.not_before_ms);
          continue;
        }
        const Started started = Start(slot, i);
        if (started == Started::kTransfer) break;
        std::optional<RunResult> r;
        if (started == Started::kChecksOnly) {
          r = Finished(slot, CURLE_OK);  // the partial file is whole: only the checks remain
        } else {
          slot.busy = false;
          slot.fetch.reset();
          r = Failed(job, Failure::kDiskWrite, FetchOutcome(), -1, false, job.on_disk);
        }
        if (r) {
          AbortAll();
          return r;
        }
      }
    }
    if (std::all_of(jobs_.begin(), jobs_.end(), [](const Job& j) { return j.done; })) {
      Report(true);
      return std::nullopt;
    }
    int running = 0;
    curl_multi_perform(multi_.get(), &running);
    if (stop_.load()) continue;  // the transfers a stop ended are not failures
    while (CURLMsg* msg = curl_multi_info_read(multi_.get(), &running)) {
      if (msg->msg != CURLMSG_DONE) continue;
      for (Slot& slot : slots_) {
        if (!slot.busy || slot.easy.get() != msg->easy_handle) continue;
        const CURLcode code = msg->data.result;
        curl_multi_remove_handle(multi_.get(), slot.easy.get());
        if (std::optional<RunResult> r = Finished(slot, code)) {
          AbortAll();
          Report(true);
          return r;
        }
        break;
      }
    }
    Report(false);
    const int64_t wait = std::clamp<int64_t>(next_wake - NowMs(), 0, 100);
    curl_multi_poll(multi_.get(), nullptr, 0, static_cast<int>(wait), nullptr);
  }
}

// ---- The programs -------------------------------------------------------------

// The programs of the index whose installed copy differs from it: fetched
// into download/ under their served names (resumed like a package).
std::vector<PackageToFetch> ProgramsToFetch(const ReleaseIndex& index, const fs::path& root) {
  std::vector<PackageToFetch> fetch;
  for (const IndexedProgram& p : index.programs) {
    const fs::path installed = root / p.installed_name;
    if (FileSize(installed) == p.size) {
      const std::optional<Sha256Digest> digest = HashWholeFile(installed);
      if (digest && *digest == p.sha256) continue;
    }
    PackageToFetch f;
    f.file_name = p.served_name;
    f.size = p.size;
    f.sha256 = p.sha256;
    const uint64_t partial = FileSize(root / kDownloadDir / p.served_name);
    f.resume_from = partial <= p.size ? partial : 0;
    fetch.push_back(f);
  }
  return fetch;
}

// Swaps each fetched program in, a refused rename retried for as long as a
// refused move of a package.
std::optional<RunResult> SwapPrograms(const ReleaseIndex& index, const fs::path& root,
                                      const std::vector<PackageToFetch>& fetched, const DownloadSettings& settings) {
  DiskSwapFiles files(settings.move_retry_ms);
  for (const PackageToFetch& f : fetched) {
    const auto p = std::find_if(index.programs.begin(), index.programs.end(),
                                [&](const IndexedProgram& q) { return q.served_name == f.file_name; });
    if (p == index.programs.end()) continue;
    // The download program is the one running: it renames itself aside.
    const bool running = p->installed_name == "downloader.exe";
    if (!SwapProgram(files, root / p->installed_name, root / kDownloadDir / p->served_name, running)) {
      LaunchLogf("%s: cannot be replaced by %s\n", p->installed_name.c_str(), p->served_name.c_str());
      RunResult r = Fail(RunStatus::kProgramNotReplaced, p->installed_name + " cannot be replaced");
      r.package = p->installed_name;
      return r;
    }
    LaunchLogf("%s: replaced by %s\n", p->installed_name.c_str(), p->served_name.c_str());
  }
  return std::nullopt;
}

// ---- The run's steps ----------------------------------------------------------

// The server list, exactly as the launcher fetches, checks and stores it.
// `required` receives the version the list requires.
std::optional<RunResult> FetchServerList(const InstallationState& installation, const std::atomic<bool>& stop,
                                         VersionNumber* required) {
  const std::string& base_url = installation.server_list_base_url;
  HttpTransfer http(stop);
  int failures = 0;
  const fs::path stored = installation.root / kStoredServerListPath;
  const ServerListLoader load = [&](const std::vector<unsigned char>* document) {
    ServerList list;
    const bool loaded =
        document ? LoadServerListDocument(*document, u"", list) : LoadServerListFile(stored, u"", list);
    if (loaded) *required = list.required_version;
    return loaded;
  };
  ServerListOutcome outcome = ServerListOutcome::kRetry;
  for (int attempt = 1; outcome == ServerListOutcome::kRetry; ++attempt) {
    if (stop.load()) return Fail(RunStatus::kCancelled, "cancelled");
    if (attempt > 1 && !WaitUnlessStopped(BackoffDelayMs(attempt - 1, -1), stop)) {
      return Fail(RunStatus::kCancelled, "cancelled");
    }
    outcome = DownloadServerlist(http, base_url, failures, load, stored);
  }
  if (outcome == ServerListOutcome::kGiveUp) {
    if (stop.load()) return Fail(RunStatus::kCancelled, "cancelled");
    RunResult r = Fail(RunStatus::kServerUnreachable, "the server list cannot be fetched");
    r.server = ServerListUrl(base_url);
    return r;
  }
  return std::nullopt;
}

// A small text file from the base URL only (the release index, the key
// statement), at most `cap` bytes, retried like a package.
std::optional<RunResult> FetchIndexText(const std::string& url, const DownloadSettings& settings,
                                        const std::atomic<bool>& stop, size_t cap, std::string* text) {
  CurlEasy easy;
  if (!easy.get()) return Fail(RunStatus::kServerUnreachable, "libcurl cannot start");
  TextBody body;
  body.cap = cap;
  for (int tries = 1;; ++tries) {
    if (stop.load()) return Fail(RunStatus::kCancelled, "cancelled");
    long status = 0;
    int retry_after = -1;
    const std::optional<Failure> failure =
        FetchIndexOnce(easy.get(), url, settings.fetch, stop, &body, &status, &retry_after);
    LaunchLogf("GET %s: HTTP %ld, %llu bytes%s%s\n", url.c_str(), status,
               static_cast<unsigned long long>(body.text.size()), failure ? ", " : "",
               failure ? FailureName(*failure) : "");
    if (!failure) break;
    if (stop.load()) return Fail(RunStatus::kCancelled, "cancelled");
    SourceState state;
    state.tries_here = tries;
    state.retry_after_s = retry_after;
    const NextStep step = DecideNextStep(*failure, state);
    if (step.kind != NextStep::kRetrySameSource && step.kind != NextStep::kResume) {
      RunResult r = Fail(RunStatus::kServerUnreachable, url + ": " + FailureName(*failure) +
                                                            (status ? " (HTTP " + std::to_string(status) + ")" : ""));
      r.server = url;
      r.failure = failure;
      r.http_status = status;
      return r;
    }
    if (!WaitUnlessStopped(step.delay_ms, stop)) return Fail(RunStatus::kCancelled, "cancelled");
  }
  *text = std::move(body.text);
  return std::nullopt;
}

std::string KeyIds(const std::vector<EcPublicKey>& keys) {
  std::string ids;
  for (const EcPublicKey& key : keys) ids += (ids.empty() ? "" : " ") + KeyId(key);
  return ids.empty() ? "none" : ids;
}

// The key statement beside the index, for an installation that missed the
// index that rotated its keys: `statement` receives the keys it names when a
// root key the installation trusts signed it and it is newer than the keys
// held. A cancel or an unreachable server ends the run; a missing or refused
// statement leaves `statement` empty.
std::optional<RunResult> FetchKeyStatement(const InstallationState& installation, const DownloadSettings& settings,
                                           const std::atomic<bool>& stop, std::optional<KeyStatement>* statement) {
  const std::string url = JoinUrl(installation.server_list_base_url, kKeyStatementFile);
  std::string text;
  if (std::optional<RunResult> failed = FetchIndexText(url, settings, stop, kMaxKeyStatementBytes, &text)) {
    const bool missing = failed->failure == Failure::kNotFound || failed->failure == Failure::kNotAPackage;
    if (failed->status == RunStatus::kCancelled || !missing) return failed;
    LaunchLogf("no key statement: %s\n", failed->detail.c_str());
    return std::nullopt;
  }
  const SignatureCheck check = CheckIndexSignature(text, installation.keys);
  KeyStatement read;
  std::string error;
  if (check.verdict != SignatureVerdict::kValid || check.role != KeyRole::kRoot) {
    LaunchLogf("key statement refused: %s\n", DescribeSignature(check, installation.keys).c_str());
  } else if (!ParseKeyStatement(text, &read, &error)) {
    LaunchLogf("key statement refused: %s\n", error.c_str());
  } else if (!TrustRecordsAreNewer(read.serial, installation.keys_serial)) {
    LaunchLogf("key statement of serial %llu ignored: the keys held are of serial %llu\n",
               static_cast<unsigned long long>(read.serial),
               static_cast<unsigned long long>(installation.keys_serial));
  } else {
    LaunchLogf("key statement of serial %llu, %s\n", static_cast<unsigned long long>(read.serial),
               DescribeSignature(check, installation.keys).c_str());
    *statement = read;
  }
  return std::nullopt;
}

// Verifies the index's signature over its raw bytes, only then parses and
// judges it, and adopts the keys it (or the key statement) names. Nothing is
// changed on a refusal.
std::optional<RunResult> AcceptIndex(const InstallationState& installation, const DownloadSettings& settings,
                                     const DownloadHooks& hooks, const std::atomic<bool>& stop,
                                     const std::string& url, std::string_view text, ReleaseIndex* index) {
  const auto refused = [&](IndexProblem problem, const std::string& detail) {
    RunResult r = RefusedIndex(problem, detail);
    r.server = url;
    return r;
  };
  if (!installation.keys_problem.empty()) {
    RunResult r = refused(IndexProblem::kKeysUnreadable,
                          "the installation's keys cannot be read: " + installation.keys_problem);
    r.server = installation.keys_problem;
    return r;
  }
  const bool has_keys = !installation.keys.empty();
  TrustedKeys keys = installation.keys;
  uint64_t keys_serial = installation.keys_serial;
  SignatureCheck signature = CheckIndexSignature(text, keys);
  if (signature.verdict == SignatureVerdict::kUnknownKey && !keys.root.empty()) {
    std::optional<KeyStatement> statement;
    if (std::optional<RunResult> failed = FetchKeyStatement(installation, settings, stop, &statement)) {
      return failed;
    }
    if (statement) {
      keys = KeysAfter(keys, statement->trust_root, statement->trust_release);
      keys_serial = statement->serial;
      signature = CheckIndexSignature(text, keys);
    }
  }
  if (has_keys && signature.verdict != SignatureVerdict::kValid) {
    return refused(IndexProblem::kNotSigned, "the release index is refused: " + DescribeSignature(signature, keys));
  }
  LaunchLogf("release index %s%s\n", DescribeSignature(signature, keys).c_str(),
             has_keys ? "" : "; this installation has no keys to check it with");

  std::string error;
  if (!ParseReleaseIndex(text, index, &error)) {
    return refused(IndexProblem::kMalformed, "the release index is malformed: " + error);
  }
  LaunchLogf("index serial %llu, base %s, latest %s, %llu packages\n", static_cast<unsigned long long>(index->serial),
             IndexVersionText(index->base).c_str(), IndexVersionText(index->latest).c_str(),
             static_cast<unsigned long long>(index->packages.size()));
  const bool names_keys = !index->trust_root.empty() || !index->trust_release.empty();
  if (has_keys && !TrustRecordsAllowed(*index, signature)) {
    return refused(IndexProblem::kNotSigned, "the release index names keys to trust but is not signed by a root key");
  }
  switch (JudgeIndex(*index, installation.base_version, installation.highest_serial, UnixNow(hooks))) {
    case IndexVerdict::kUsable:
      break;
    case IndexVerdict::kOlderSerial:
      return RefusedIndex(IndexProblem::kOlder, "the release index is older than one used before (serial " +
                                                    std::to_string(index->serial) + " < " +
                                                    std::to_string(installation.highest_serial) + ")");
    case IndexVerdict::kExpired:
      return RefusedIndex(IndexProblem::kExpired, "the release index expired at " + FormatUtcTime(index->expires));
    case IndexVerdict::kOtherBase:
      return RefusedIndex(IndexProblem::kOtherBase, "the release index is for base version " +
                                                        IndexVersionText(index->base) + ", the installation is " +
                                                        IndexVersionText(installation.base_version) +
                                                        ": it needs the full client");
  }
  if (names_keys && !has_keys) {
    // Trusting keys from an unchecked index would let anyone lock players out.
    LaunchLogf("the keys the index names are ignored: this installation has no keys\n");
  } else if (names_keys && !TrustRecordsAreNewer(index->serial, keys_serial)) {
    LaunchLogf("the keys the index names are ignored: the keys held are of serial %llu\n",
               static_cast<unsigned long long>(keys_serial));
  } else if (names_keys) {
    keys = KeysAfter(keys, *index);
    keys_serial = index->serial;
  }
  // Written also when only the serial grew: it guards against older rotations.
  if (keys.root != installation.keys.root || keys.release != installation.keys.release ||
      keys_serial > installation.keys_serial) {
    if (!hooks.adopt_keys || !hooks.adopt_keys(keys, keys_serial, index->serial)) {
      return Fail(RunStatus::kVersionNotWritten, "update.ini cannot be written: the new keys were not adopted");
    }
    LaunchLogf("keys of serial %llu adopted: root %s; release %s\n", static_cast<unsigned long long>(keys_serial),
               KeyIds(keys.root).c_str(), KeyIds(keys.release).c_str());
  }
  return std::nullopt;
}

}  // namespace

RunResult RunDownload(const InstallationState& installation, const DownloadSettings& settings,
                           const DownloadHooks& hooks, const std::atomic<bool>& stop) {
  const std::string& base_url = installation.server_list_base_url;
  if (base_url.empty()) return Fail(RunStatus::kServerUnreachable, "updatecfg.ini names no server list");
  LaunchLogf("installation at %s, base %s, version %s, index serial seen %llu, keys: root %s; release %s\n",
             installation.root.u8string().c_str(), IndexVersionText(installation.base_version).c_str(),
             IndexVersionText(installation.current_version).c_str(),
             static_cast<unsigned long long>(installation.highest_serial), KeyIds(installation.keys.root).c_str(),
             KeyIds(installation.keys.release).c_str());

  VersionNumber required = 0;
  if (std::optional<RunResult> failed = FetchServerList(installation, stop, &required)) return *failed;
  // Up to date, but below what the server list requires: the operator has
  // not published that version yet, and the launcher would refuse again.
  const auto settled = [required](RunResult done) {
    if (required <= done.reached) return done;
    done.status = RunStatus::kNotPublished;
    done.required = required;
    done.detail = "the server list requires " + IndexVersionText(required) + ", the index offers " +
                  IndexVersionText(done.latest);
    return done;
  };
  const std::string index_url = JoinUrl(base_url, kIndexFile);
  std::string index_text;
  if (std::optional<RunResult> failed = FetchIndexText(index_url, settings, stop, kMaxReleaseIndexBytes, &index_text)) {
    return *failed;
  }
  ReleaseIndex index;
  if (std::optional<RunResult> failed = AcceptIndex(installation, settings, hooks, stop, index_url, index_text, &index)) {
    return *failed;
  }

  // What to fetch.
  const fs::path system = installation.root / "System";
  const fs::path partial_dir = installation.root / kDownloadDir;
  const auto local_of = [&](VersionNumber v) {
    LocalPackage local;
    const IndexedPackage* published = index.Find(v);
    const std::string name = published ? published->file_name : "Verpatch" + FiveDigitForm(v) + ".qvk";
    std::error_code ec;
    const fs::path installed = system / name;
    local.present = fs::is_regular_file(installed, ec);
    if (local.present) {
      local.size = FileSize(installed);
      if (settings.repair) {
        local.sha256 = HashWholeFile(installed);
        if (!local.sha256) local.present = false;
        else if (published && *local.sha256 != published->sha256) {
          LaunchLogf("%s: damaged, expected %s, got %s\n", name.c_str(), HexDigest(published->sha256).c_str(),
                     HexDigest(*local.sha256).c_str());
        }
      }
    }
    local.partial_bytes = FileSize(partial_dir / name);
    return local;
  };
  const DownloadPlan plan = PlanDownload(index, installation.current_version, local_of);
  const std::vector<PackageToFetch> programs = ProgramsToFetch(index, installation.root);
  uint64_t bytes_to_fetch = plan.bytes_to_fetch;
  for (const PackageToFetch& p : programs) bytes_to_fetch += p.size - p.resume_from;
  RunResult done;
  done.latest = index.latest;
  if (plan.up_to_date && programs.empty()) {
    if (index.serial > installation.highest_serial && installation.current_version == index.latest &&
        hooks.write_version && !hooks.write_version(installation.current_version, index.serial)) {
      LaunchLogf("the index serial could not be recorded\n");
    }
    done.status = RunStatus::kUpToDate;
    done.reached = installation.current_version;
    done.detail = "up to date at " + IndexVersionText(installation.current_version);
    return settled(done);
  }
  LaunchLogf("%llu packages and %llu programs to fetch, %llu bytes\n",
             static_cast<unsigned long long>(plan.fetch.size()), static_cast<unsigned long long>(programs.size()),
             static_cast<unsigned long long>(bytes_to_fetch));

  std::error_code ec;
  fs::create_directories(partial_dir, ec);
  fs::create_directories(system, ec);
  const uint64_t free_bytes =
      hooks.free_space ? hooks.free_space(installation.root) : fs::space(installation.root, ec).available;
  if (bytes_to_fetch + kSpaceMargin > free_bytes) {
    RunResult r = Fail(RunStatus::kDiskFull, "not enough free space on " + DriveOf(installation.root));
    r.latest = index.latest;
    r.drive = DriveOf(installation.root);
    r.bytes_needed = bytes_to_fetch + kSpaceMargin;
    r.bytes_free = free_bytes;
    return r;
  }

  if (!plan.fetch.empty() || !programs.empty()) {
    PackageRun run(installation, settings, hooks, stop, index, plan.fetch, programs);
    if (std::optional<RunResult> failed = run.Run()) {
      failed->latest = index.latest;
      return *failed;
    }
  }
  // Every needed package is in System: now the programs, then the version.
  if (std::optional<RunResult> failed = SwapPrograms(index, installation.root, programs, settings)) {
    failed->latest = index.latest;
    return *failed;
  }
  // An installation above the index's latest (a repair) keeps its version.
  const VersionNumber reached = std::max(index.latest, installation.current_version);
  if (!hooks.write_version || !hooks.write_version(reached, index.serial)) {
    RunResult r = Fail(RunStatus::kVersionNotWritten, "update.ini cannot be written");
    r.latest = index.latest;
    return r;
  }
  fs::remove(partial_dir, ec);  // only when empty
  done.status = RunStatus::kUpdated;
  done.reached = reached;
  done.detail = "updated to " + IndexVersionText(reached);
  return settled(done);
}

std::string DescribeResult(const RunResult& r) {
  std::string text;
  switch (r.status) {
    case RunStatus::kUpToDate: text = "up to date"; break;
    case RunStatus::kUpdated: text = "updated"; break;
    case RunStatus::kNotPublished: text = "not published"; break;
    case RunStatus::kCancelled: text = "cancelled"; break;
    case RunStatus::kServerUnreachable: text = "server unreachable"; break;
    case RunStatus::kIndexRefused: text = "index refused"; break;
    case RunStatus::kPackageUnavailable: text = "package unavailable"; break;
    case RunStatus::kPackageDamaged: text = "package damaged"; break;
    case RunStatus::kDiskFull: text = "disk full"; break;
    case RunStatus::kWriteRefused: text = "write refused"; break;
    case RunStatus::kMoveRefused: text = "move refused"; break;
    case RunStatus::kProgramNotReplaced: text = "program not replaced"; break;
    case RunStatus::kVersionNotWritten: text = "version not written"; break;
  }
  if (!r.detail.empty()) text += ": " + r.detail;
  if (!r.package.empty()) text += "; package " + r.package;
  if (!r.server.empty()) text += "; " + r.server;
  if (r.status == RunStatus::kDiskFull) {
    text += "; " + std::to_string((r.bytes_needed + (1 << 20) - 1) >> 20) + " MB needed, " +
            std::to_string(r.bytes_free >> 20) + " MB free";
  }
  return text;
}
