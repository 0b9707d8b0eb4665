#include "update/http_transfer.h"

#include <cstring>
#include <mutex>
#include <utility>

#include "base/scramble.h"
#include "base/text.h"
#include "update/atomic_file.h"

namespace {

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::atomic<TlsServerCheck> g_tls_server_check{nullptr};

bool IsHttpsScheme(const char* scheme) {
  const char* const https = "https";
  for (int i = 0; i < 6; ++i) {
    if (AsciiLower(scheme[i]) != https[i]) return false;
  }
  return true;
}

// The host of the URL `easy` is fetching, as libcurl parsed it, into `host`
// (with its terminator); false if there is none or it does not fit.
bool TransferHost(CURL* easy, char* host, std::size_t host_size) {
  char* url = nullptr;
  if (curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &url) != CURLE_OK || url == nullptr) return false;
  CURLU* parts = curl_url();
  if (parts == nullptr) return false;
  char* part = nullptr;
  bool ok = curl_url_set(parts, CURLUPART_URL, url, 0) == CURLUE_OK &&
            curl_url_get(parts, CURLUPART_HOST, &part, 0) == CURLUE_OK;
  if (ok) {
    const std::size_t n = std::strlen(part);
    ok = n < host_size;
    if (ok) std::memcpy(host, part, n + 1);
  }
  curl_free(part);
  curl_url_cleanup(parts);
  return ok;
}

}  // namespace

void SetTlsServerCheck(TlsServerCheck check) {
  g_tls_server_check.store(check);
}

CurlEasy::CurlEasy() {
  InitCurlOnce();
  handle_ = curl_easy_init();
}

CurlEasy::~CurlEasy() {
  if (handle_) curl_easy_cleanup(handle_);
}

CurlEasy::CurlEasy(CurlEasy&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

CurlEasy& CurlEasy::operator=(CurlEasy&& other) noexcept {
  if (this != &other) {
    if (handle_) curl_easy_cleanup(handle_);
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

CurlMulti::CurlMulti() {
  InitCurlOnce();
  handle_ = curl_multi_init();
}

CurlMulti::~CurlMulti() {
  if (handle_) curl_multi_cleanup(handle_);
}

HttpTransfer::HttpTransfer(const std::atomic<bool>& stop) : stop_(stop) {}

std::size_t HttpTransfer::OnWrite(char* data, std::size_t size, std::size_t count,
                                  void* self) noexcept {
  auto* t = static_cast<HttpTransfer*>(self);
  if (t->stop_.load(std::memory_order_relaxed)) return 0;
  const std::size_t room = t->body_.size() - static_cast<std::size_t>(t->received_);
  if (size != 0 && count > room / size) {
    t->overflowed_ = true;
    return 0;  // refused: libcurl ends the transfer with CURLE_WRITE_ERROR
  }
  const std::size_t n = size * count;
  std::memcpy(t->body_.data() + t->received_, data, n);
  t->received_ += n;
  return n;
}

bool PassesTlsServerCheck(CURL* easy) noexcept {
  const TlsServerCheck check = g_tls_server_check.load();
  char* scheme = nullptr;
  if (check == nullptr || curl_easy_getinfo(easy, CURLINFO_SCHEME, &scheme) != CURLE_OK ||
      scheme == nullptr || !IsHttpsScheme(scheme)) {
    return true;
  }
  char host[256];
  return TransferHost(easy, host, sizeof host) && check(easy, host);
}

int HttpTransfer::OnConnected(void* self, char*, char*, int, int) noexcept {
  auto* t = static_cast<HttpTransfer*>(self);
  if (PassesTlsServerCheck(t->easy_.get())) return CURL_PREREQFUNC_OK;
  t->server_refused_ = true;
  return CURL_PREREQFUNC_ABORT;  // nothing is sent to a server that is not trusted
}

CURLcode HttpTransfer::Fetch(const char* url, const TransferProfile& profile) {
  body_.assign(kTransferBufferSize, 0);
  received_ = 0;
  overflowed_ = false;
  server_refused_ = false;
  CURLcode result = CURLE_FAILED_INIT;
  CURL* h = easy_.get();
  if (url == nullptr || std::strlen(url) > kMaxUrlBytes) {
    result = CURLE_URL_MALFORMAT;
  } else if (stop_.load()) {
    result = CURLE_ABORTED_BY_CALLBACK;  // the launcher is closing: start nothing
  } else if (h != nullptr && multi_.get() != nullptr) {
    error_text_[0] = 0;
    curl_easy_setopt(h, CURLOPT_URL, url);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &HttpTransfer::OnWrite);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(h, CURLOPT_HEADER, 0L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error_text_);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, profile.connect_timeout_ms);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, profile.total_timeout_ms);
    // Set by both profiles so a link file never depends on which transfer ran first.
    curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    // No signals from a worker thread (name resolution time-outs).
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    // Called on every connection, new or reused, before the request goes out.
    curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, &HttpTransfer::OnConnected);
    curl_easy_setopt(h, CURLOPT_PREREQDATA, this);
    result = Perform(h);
    if (server_refused_) result = CURLE_PEER_FAILED_VERIFICATION;
    long status = 0;
    if (result == CURLE_OK && (curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK ||
                               status < 200 || status > 299 || status == 204)) {
      result = CURLE_HTTP_RETURNED_ERROR;
    }
  }
  if (result == CURLE_OK) {
    body_.resize(static_cast<std::size_t>(received_));
  } else {
    ReleaseBody();
  }
  return result;
}

CURLcode HttpTransfer::Perform(CURL* easy) {
  CURLM* multi = multi_.get();
  if (curl_multi_add_handle(multi, easy) != CURLM_OK) return CURLE_FAILED_INIT;
  CURLcode result = CURLE_FAILED_INIT;
  for (;;) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) break;
    if (running == 0) {
      int queued = 0;
      while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy) result = msg->data.result;
      }
      break;
    }
    if (stop_.load()) {
      result = CURLE_ABORTED_BY_CALLBACK;
      break;
    }
    // Returns when a socket is ready, a libcurl timer is due, or after the
    // poll interval, whichever comes first.
    if (curl_multi_poll(multi, nullptr, 0, kStopPollMs, nullptr) != CURLM_OK) break;
  }
  curl_multi_remove_handle(multi, easy);
  return result;
}

void HttpTransfer::ReleaseBody() {
  std::vector<unsigned char>().swap(body_);
}

DownloadStatus DownloadToFile(HttpTransfer& http, const char* url,
                              const std::filesystem::path& path, bool scramble,
                              const TransferProfile& profile) {
  if (http.Fetch(url, profile) != CURLE_OK) return DownloadStatus::kTransferFailed;
  std::vector<unsigned char>& body = http.body();
  if (scramble) ScrambleBytes(body.data(), body.size());
  const bool written = WriteFileReplacing(path, body.data(), body.size());
  http.ReleaseBody();
  return written ? DownloadStatus::kWritten : DownloadStatus::kWriteFailed;
}
