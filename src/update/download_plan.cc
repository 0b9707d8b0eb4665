#include "update/download_plan.h"

#include <algorithm>

IndexVerdict JudgeIndex(const ReleaseIndex& index, VersionNumber installation_base,
                        uint64_t highest_serial_seen, int64_t now) {
  if (index.base != installation_base) return IndexVerdict::kOtherBase;
  if (index.serial < highest_serial_seen) return IndexVerdict::kOlderSerial;
  if (index.expires != 0 && now > index.expires) return IndexVerdict::kExpired;
  return IndexVerdict::kUsable;
}

DownloadPlan PlanDownload(const ReleaseIndex& index, VersionNumber current_version,
                          const std::function<LocalPackage(VersionNumber)>& local_of) {
  DownloadPlan plan;
  for (VersionNumber v : index.needs) {
    const IndexedPackage* published = index.Find(v);
    if (published == nullptr) continue;  // a parsed index has one for every need
    const LocalPackage local = local_of(v);
    const bool sound = local.present && local.size == published->size &&
                       (!local.sha256 || *local.sha256 == published->sha256);
    if (sound) continue;
    PackageToFetch f;
    f.version = v;
    f.file_name = published->file_name;
    f.size = published->size;
    f.sha256 = published->sha256;
    f.resume_from = local.partial_bytes <= published->size ? local.partial_bytes : 0;
    f.replaces_damaged = local.present;
    plan.bytes_to_fetch += f.size - f.resume_from;
    plan.fetch.push_back(std::move(f));
  }
  plan.up_to_date = plan.fetch.empty() && current_version >= index.latest;
  return plan;
}

ResumeAction DecideResume(uint64_t resume_from, uint64_t expected_size, const RangeAnswer& answer) {
  // 200 is the whole file, also to a range request: the partial file is
  // dropped and the body written from its start.
  if (answer.status == 200) return ResumeAction::kWriteFromStart;
  if (answer.status == 416) return ResumeAction::kRestart;
  if (answer.status != 206) return ResumeAction::kNotTheFile;
  // A part is only taken where it continues the file on disk and belongs to
  // a file of the published size; anything else would splice two files.
  if (resume_from == 0 || !answer.has_content_range || answer.range_start != resume_from ||
      (answer.range_total != 0 && answer.range_total != expected_size)) {
    return ResumeAction::kRestart;
  }
  return ResumeAction::kAppend;
}

int BackoffDelayMs(int tries, int retry_after_s) {
  if (retry_after_s >= 0) return std::min(retry_after_s, 300) * 1000;
  int delay = kFirstBackoffMs;
  for (int i = 1; i < tries && delay < kMaxBackoffMs; ++i) delay *= 2;
  return std::min(delay, kMaxBackoffMs);
}

NextStep DecideNextStep(Failure failure, const SourceState& state) {
  const NextStep elsewhere = {state.another_source ? NextStep::kNextSource : NextStep::kGiveUp, 0};
  switch (failure) {
    case Failure::kConnection:
    case Failure::kServerBusy:
      if (state.tries_here < kTriesPerSource) {
        return {NextStep::kRetrySameSource, BackoffDelayMs(state.tries_here, state.retry_after_s)};
      }
      return elsewhere;
    case Failure::kStalled:
      // A stall is a slow path, not a wrong file: go on from what arrived.
      if (state.tries_here < kTriesPerSource) return {NextStep::kResume, 0};
      return elsewhere;
    case Failure::kRangeRefused:
      // Asked from byte 0 already: the source cannot give the file at all.
      if (state.from_start) return elsewhere;
      return {NextStep::kRestartFile, 0};
    case Failure::kDiskWrite:
      return {NextStep::kGiveUp, 0};  // no source helps; the partial file is kept
    case Failure::kHashMismatch:
      // The file is dropped and fetched once more, from another source if
      // there is one; a second mismatch is no accident.
      if (state.hash_failures >= 2) return {NextStep::kGiveUp, 0};
      return {state.another_source ? NextStep::kNextSource : NextStep::kRestartFile, 0};
    case Failure::kNotFound:
    case Failure::kNotAPackage:
    case Failure::kRefusedSource:
      return elsewhere;
  }
  return {NextStep::kGiveUp, 0};
}

std::optional<Failure> ClassifyTransfer(int curl_code, long status, const std::string& content_type,
                                        uint64_t file_bytes, uint64_t expected_size) {
  // libcurl's codes, spelled out so that this file needs no curl header.
  constexpr int kOk = 0, kUnsupportedProtocol = 1, kTooManyRedirects = 47, kPeerFailedVerification = 60,
                kOperationTimedOut = 28, kWriteError = 23;
  if (status == 416) return Failure::kRangeRefused;
  if (status == 429 || (status >= 500 && status <= 599)) return Failure::kServerBusy;
  if (status >= 400 && status <= 499) return Failure::kNotFound;
  if (curl_code == kUnsupportedProtocol || curl_code == kTooManyRedirects ||
      curl_code == kPeerFailedVerification) {
    return Failure::kRefusedSource;
  }
  // A time-out before any answer is a connection that never stood.
  if (curl_code == kOperationTimedOut) return status == 0 ? Failure::kConnection : Failure::kStalled;
  // The fetch refused a body longer than the published size (a disk that
  // refused the bytes is told apart by the fetch itself).
  if (curl_code == kWriteError) return Failure::kNotAPackage;
  if (curl_code != kOk) return Failure::kConnection;
  std::string type = content_type;
  std::transform(type.begin(), type.end(), type.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  if (type.rfind("text/html", 0) == 0) return Failure::kNotAPackage;
  if (file_bytes != expected_size) return Failure::kNotAPackage;
  return std::nullopt;
}
