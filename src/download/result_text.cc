#include "download/result_text.h"

#include "download/downloader_resource.h"
#include "package/release_index.h"

ResultText TextForResult(const RunResult& r) {
  switch (r.status) {
    case RunStatus::kUpToDate:
      return {IDS_DL_UP_TO_DATE, {IndexVersionText(r.reached)}};
    case RunStatus::kUpdated:
      return {IDS_DL_UPDATED, {IndexVersionText(r.reached)}};
    case RunStatus::kNotPublished:
      return {IDS_DL_NOT_PUBLISHED, {IndexVersionText(r.required), IndexVersionText(r.reached)}};
    case RunStatus::kCancelled:
      return {IDS_DL_CANCELLED, {}};
    case RunStatus::kServerUnreachable:
      if (r.failure == Failure::kServerBusy) {
        return {IDS_DL_FAIL_SERVER_BUSY, {std::to_string(r.http_status), r.server}};
      }
      if (r.failure == Failure::kNotFound && r.http_status > 0) {
        return {IDS_DL_FAIL_HTTP, {std::to_string(r.http_status), r.server}};
      }
      if (r.failure == Failure::kRefusedSource) return {IDS_DL_FAIL_UNSAFE, {r.server}};
      return {IDS_DL_FAIL_UNREACHABLE, {r.server.empty() ? r.detail : r.server}};
    case RunStatus::kIndexRefused:
      switch (r.index_problem) {
        case IndexProblem::kOlder: return {IDS_DL_FAIL_INDEX_OLDER, {}};
        case IndexProblem::kExpired: return {IDS_DL_FAIL_INDEX_EXPIRED, {}};
        case IndexProblem::kOtherBase: return {IDS_DL_FAIL_FULL_CLIENT, {}};
        case IndexProblem::kNotSigned: return {IDS_DL_FAIL_NOT_SIGNED, {r.server}};
        case IndexProblem::kKeysUnreadable: return {IDS_DL_FAIL_KEYS, {r.server}};
        case IndexProblem::kMalformed:
        case IndexProblem::kNone: break;
      }
      return {IDS_DL_FAIL_INDEX_UNREADABLE, {r.server}};
    case RunStatus::kPackageUnavailable:
      if (r.failure == Failure::kRefusedSource) return {IDS_DL_FAIL_UNSAFE, {r.server}};
      if (r.failure == Failure::kNotAPackage || r.http_status < 400) return {IDS_DL_FAIL_NOT_PACKAGE, {r.package}};
      return {IDS_DL_FAIL_HTTP, {std::to_string(r.http_status), r.package}};
    case RunStatus::kPackageDamaged:
      return {IDS_DL_FAIL_DAMAGED, {r.package}};
    case RunStatus::kDiskFull: {
      const uint64_t shortfall = r.bytes_needed > r.bytes_free ? r.bytes_needed - r.bytes_free : r.bytes_needed;
      return {IDS_DL_FAIL_DISK, {MegabytesText(shortfall), r.drive}};
    }
    case RunStatus::kWriteRefused:
      return {IDS_DL_FAIL_WRITE, {r.package}};
    case RunStatus::kMoveRefused:
      return {IDS_DL_FAIL_MOVE, {r.package}};
    case RunStatus::kProgramNotReplaced:
      return {IDS_DL_FAIL_PROGRAM, {r.package}};
    case RunStatus::kVersionNotWritten:
      return {IDS_DL_FAIL_VERSION, {}};
  }
  return {IDS_DL_FAIL_UNREACHABLE, {r.detail}};
}

ResultText TextForBlocker(Blocker blocker) {
  switch (blocker) {
    case Blocker::kGame: return {IDS_DL_FAIL_GAME_RUNS, {}};
    case Blocker::kLauncher: return {IDS_DL_FAIL_LAUNCHER_RUNS, {}};
    case Blocker::kDownloader: return {IDS_DL_FAIL_ANOTHER_RUNS, {}};
    case Blocker::kNone: break;
  }
  return {};
}

std::u16string FillText(const std::u16string& format, const std::vector<std::u16string>& args) {
  std::u16string out;
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == u'%' && i + 1 < format.size()) {
      if (format[i + 1] == u's') {
        if (next < args.size()) out += args[next];
        ++next;
        ++i;
        continue;
      }
      if (format[i + 1] == u'%') {
        out += u'%';
        ++i;
        continue;
      }
    }
    out += format[i];
  }
  return out;
}

std::string MegabytesText(uint64_t bytes) {
  // Tenths of a megabyte (2^20 bytes), rounded up, without overflow.
  const uint64_t mib = uint64_t{1} << 20;
  const uint64_t tenths = bytes / mib * 10 + ((bytes % mib) * 10 + mib - 1) / mib;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}
