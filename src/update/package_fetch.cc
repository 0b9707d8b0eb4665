#include "update/package_fetch.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <vector>

#include "base/text.h"
#include "update/http_transfer.h"

namespace {

// "Name: value" header lines: the value if `line` names `name` (any case).
bool HeaderValue(std::string_view line, std::string_view name, std::string_view* value) {
  if (line.size() <= name.size() || line[name.size()] != ':') return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (AsciiLower(line[i]) != AsciiLower(name[i])) return false;
  }
  std::string_view v = line.substr(name.size() + 1);
  while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
  while (!v.empty() && (v.back() == '\r' || v.back() == '\n' || v.back() == ' ')) v.remove_suffix(1);
  *value = v;
  return true;
}

bool ReadNumber(std::string_view* text, uint64_t* value) {
  size_t n = 0;
  uint64_t v = 0;
  while (n < text->size() && n < 19 && (*text)[n] >= '0' && (*text)[n] <= '9') {
    v = v * 10 + static_cast<uint64_t>((*text)[n] - '0');
    ++n;
  }
  if (n == 0) return false;
  text->remove_prefix(n);
  *value = v;
  return true;
}

// "bytes START-END/TOTAL" or "bytes START-END/*".
bool ParseContentRange(std::string_view v, RangeAnswer* answer) {
  if (v.rfind("bytes ", 0) != 0) return false;
  v.remove_prefix(6);
  uint64_t start = 0, end = 0, total = 0;
  if (!ReadNumber(&v, &start) || v.empty() || v.front() != '-') return false;
  v.remove_prefix(1);
  if (!ReadNumber(&v, &end) || v.empty() || v.front() != '/' || end < start) return false;
  v.remove_prefix(1);
  if (v != "*" && (!ReadNumber(&v, &total) || !v.empty())) return false;
  answer->has_content_range = true;
  answer->range_start = start;
  answer->range_total = total;
  return true;
}

}  // namespace

void SetFetchOptions(CURL* easy, const std::string& url, const FetchSettings& settings) {
  const bool https = url.rfind("https://", 0) == 0;
  curl_easy_reset(easy);
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
  // CDNs redirect; a redirect never leaves https.
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, https ? "https" : "http,https");
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, settings.connect_timeout_ms);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, settings.stall_bytes_per_second);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, settings.stall_seconds);
  if (!settings.proxy.empty()) curl_easy_setopt(easy, CURLOPT_PROXY, settings.proxy.c_str());
}

PackageFetch::PackageFetch(CURL* easy, std::string url, std::filesystem::path partial,
                           const PackageToFetch& package, const FetchSettings& settings)
    : easy_(easy), url_(std::move(url)), partial_(std::move(partial)), package_(package), settings_(settings) {}

PackageFetch::~PackageFetch() { curl_slist_free_all(headers_); }

bool PackageFetch::Prepare() {
  hash_ = std::make_unique<ThreadedSha256>();
  // What an earlier try left is hashed again: the digest covers the whole file.
  file_bytes_ = 0;
  if (package_.resume_from > 0) {
    std::ifstream in(partial_, std::ios::binary);
    std::vector<char> buffer(1 << 16);
    while (in && file_bytes_ < package_.resume_from) {
      const auto want = static_cast<std::streamsize>(
          std::min<uint64_t>(buffer.size(), package_.resume_from - file_bytes_));
      in.read(buffer.data(), want);
      const auto got = static_cast<size_t>(in.gcount());
      hash_->Update(buffer.data(), got);
      file_bytes_ += got;
    }
    if (file_bytes_ != package_.resume_from) {
      // Shorter than it was: start afresh rather than trust it.
      hash_ = std::make_unique<ThreadedSha256>();
      file_bytes_ = 0;
      package_.resume_from = 0;
    }
  }
  SetFetchOptions(easy_, url_, settings_);
  // Large reads: under Wine every socket read is costly, and packages are big.
  curl_easy_setopt(easy_, CURLOPT_BUFFERSIZE, 2048L * 1024);
  if (settings_.max_bytes_per_second > 0) {
    curl_easy_setopt(easy_, CURLOPT_MAX_RECV_SPEED_LARGE, static_cast<curl_off_t>(settings_.max_bytes_per_second));
  }
  curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &PackageFetch::OnHeader);
  curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &PackageFetch::OnWrite);
  curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(easy_, CURLOPT_PREREQFUNCTION, &PackageFetch::OnConnected);
  curl_easy_setopt(easy_, CURLOPT_PREREQDATA, this);
  // Packages are stored compressed already; a cache must not transform them.
  headers_ = curl_slist_append(headers_, "Accept-Encoding: identity");
  if (package_.resume_from > 0) {
    range_header_ = "Range: bytes=" + std::to_string(package_.resume_from) + "-";
    headers_ = curl_slist_append(headers_, range_header_.c_str());
  }
  curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headers_);
  return true;
}

size_t PackageFetch::OnHeader(char* data, size_t size, size_t count, void* self) noexcept {
  auto* f = static_cast<PackageFetch*>(self);
  const std::string_view line(data, size * count);
  std::string_view value;
  if (line.rfind("HTTP/", 0) == 0) {
    // A new answer (after a redirect): forget the previous one's headers.
    f->answer_ = RangeAnswer();
    f->content_type_.clear();
  } else if (HeaderValue(line, "Content-Range", &value)) {
    ParseContentRange(value, &f->answer_);
  } else if (HeaderValue(line, "Content-Type", &value)) {
    f->content_type_.assign(value.substr(0, 200));
  }
  return size * count;
}

int PackageFetch::OnConnected(void* self, char*, char*, int, int) noexcept {
  auto* f = static_cast<PackageFetch*>(self);
  if (PassesTlsServerCheck(f->easy_)) return CURL_PREREQFUNC_OK;
  f->abort_reason_ = Failure::kRefusedSource;
  return CURL_PREREQFUNC_ABORT;  // nothing is asked of a server that is not trusted
}

bool PackageFetch::OpenForWriting(bool truncate) {
  file_.close();
  file_.clear();
  file_.open(partial_, std::ios::binary | (truncate ? std::ios::trunc : std::ios::app));
  return file_.is_open();
}

bool PackageFetch::StartBody() {
  body_started_ = true;
  curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &answer_.status);
  const ResumeAction action = DecideResume(package_.resume_from, package_.size, answer_);
  if (action == ResumeAction::kNotTheFile) return false;  // judged by its status in Finish
  if (action == ResumeAction::kRestart) {
    abort_reason_ = Failure::kRangeRefused;
    return false;
  }
  std::string type = content_type_;
  for (char& c : type) c = AsciiLower(c);
  if (type.rfind("text/html", 0) == 0) {
    abort_reason_ = Failure::kNotAPackage;  // an error page sent as 200
    return false;
  }
  if (action == ResumeAction::kWriteFromStart) {
    hash_ = std::make_unique<ThreadedSha256>();
    file_bytes_ = 0;
    wrote_from_start_ = true;
  }
  if (!OpenForWriting(action == ResumeAction::kWriteFromStart)) {
    abort_reason_ = Failure::kDiskWrite;
    return false;
  }
  return true;
}

size_t PackageFetch::OnWrite(char* data, size_t size, size_t count, void* self) noexcept {
  auto* f = static_cast<PackageFetch*>(self);
  const size_t n = size * count;
  if (!f->body_started_ && !f->StartBody()) return 0;
  if (f->abort_reason_ || !f->file_.is_open()) return 0;
  if (n > f->package_.size - f->file_bytes_) {
    f->abort_reason_ = Failure::kNotAPackage;  // longer than the published size
    return 0;
  }
  f->file_.write(data, static_cast<std::streamsize>(n));
  if (!f->file_) {
    f->abort_reason_ = Failure::kDiskWrite;
    return 0;
  }
  f->hash_->Update(data, n);
  f->file_bytes_ += n;
  f->received_ += n;
  if (f->write_hook_ && !f->write_hook_()) return 0;
  return n;
}

const FetchOutcome& PackageFetch::Finish(CURLcode code) {
  if (file_.is_open()) {
    file_.flush();
    if (!file_) abort_reason_ = abort_reason_.value_or(Failure::kDiskWrite);
    file_.close();
  }
  outcome_.curl_code = code;
  curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &outcome_.status);
  outcome_.file_bytes = file_bytes_;
  if (abort_reason_) {
    outcome_.failure = abort_reason_;
  } else {
    outcome_.failure = ClassifyTransfer(code, outcome_.status, content_type_, file_bytes_, package_.size);
  }
  Sha256Digest digest;
  if (file_bytes_ == package_.size && hash_->Final(&digest)) outcome_.sha256 = digest;
  if (!outcome_.failure && (!outcome_.sha256 || *outcome_.sha256 != package_.sha256)) {
    outcome_.failure = Failure::kHashMismatch;
  }
  return outcome_;
}
