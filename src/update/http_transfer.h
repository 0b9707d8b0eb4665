// HTTP GET of small files into one bounded memory buffer with libcurl's easy
// interface. One HttpTransfer per worker; it owns one easy handle that every
// transfer of the worker reuses, one at a time. No retries here: callers
// decide what a failure means.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

// The body buffer: a longer body is refused (the transfer fails with
// CURLE_WRITE_ERROR and nothing is stored past the buffer).
inline constexpr std::size_t kTransferBufferSize = 262144;
// Longest URL accepted (a 1024-byte buffer with its terminator). Longer URLs
// are refused with CURLE_URL_MALFORMAT before any network access.
inline constexpr std::size_t kMaxUrlBytes = 1023;

// Time-outs of one transfer profile, in milliseconds. Both profiles also set:
// body only (no header), fail on HTTP status >= 400, no redirects, an error
// text buffer, http/https only. Proxy, authentication and TLS stay default.
// Only a 2xx status other than 204 is a success: a redirect's page or an
// empty "no content" answer is not the file that was asked for.
struct TransferProfile {
  long connect_timeout_ms;
  long total_timeout_ms;
};
inline constexpr TransferProfile kServerListProfile{3000, 20000};
inline constexpr TransferProfile kLinkFileProfile{2000, 2000};

// How often a transfer looks at the stop flag while it waits for the network.
inline constexpr int kStopPollMs = 50;

// A check of the server certificate of an https transfer, run once the TLS
// connection stands and before the request is sent: true if the chain that
// `easy`'s connection received leads to a trusted root and names `host` (the
// URL's host). Needed where the TLS layer may accept any certificate (Wine's
// Schannel); the check must agree with a TLS layer that does verify. A
// refusal fails the transfer with CURLE_PEER_FAILED_VERIFICATION.
using TlsServerCheck = bool (*)(CURL* easy, const char* host) noexcept;
// Installs the check for every later https transfer (null: none, the TLS
// layer's verdict alone). Install once at start-up, before any transfer.
void SetTlsServerCheck(TlsServerCheck check);

// Runs the installed TlsServerCheck on `easy`'s connection: true when none is
// installed, the scheme is not https, or the check accepts the server. For a
// CURLOPT_PREREQFUNCTION.
bool PassesTlsServerCheck(CURL* easy) noexcept;

// Move-only owner of a CURL easy handle (curl_easy_cleanup on destruction).
// Creating one initialises libcurl once per process in a thread-safe way.
class CurlEasy {
 public:
  CurlEasy();  // get() is null if libcurl could not create a handle
  ~CurlEasy();
  CurlEasy(CurlEasy&& other) noexcept;
  CurlEasy& operator=(CurlEasy&& other) noexcept;
  CurlEasy(const CurlEasy&) = delete;
  CurlEasy& operator=(const CurlEasy&) = delete;
  CURL* get() const { return handle_; }

 private:
  CURL* handle_ = nullptr;
};

// Move-only owner of a CURL multi handle, which drives the easy handle so
// that a transfer can look at the stop flag while nothing arrives.
class CurlMulti {
 public:
  CurlMulti();  // get() is null if libcurl could not create a handle
  ~CurlMulti();
  CurlMulti(const CurlMulti&) = delete;
  CurlMulti& operator=(const CurlMulti&) = delete;
  CURLM* get() const { return handle_; }

 private:
  CURLM* handle_ = nullptr;
};

class HttpTransfer {
 public:
  // `stop` is the worker's stop flag; it must outlive this object. Once it is
  // true, no transfer starts, and a running one ends within kStopPollMs
  // (CURLE_ABORTED_BY_CALLBACK) or at its next block of data
  // (CURLE_WRITE_ERROR). Construct on any thread; use only from one thread
  // at a time (the worker).
  explicit HttpTransfer(const std::atomic<bool>& stop);
  HttpTransfer(const HttpTransfer&) = delete;
  HttpTransfer& operator=(const HttpTransfer&) = delete;

  // GET `url` with `profile` into the body buffer. Returns libcurl's result:
  // CURLE_OK on success (a 2xx status other than 204, the whole body stored);
  // CURLE_HTTP_RETURNED_ERROR for any other status; CURLE_FAILED_INIT without
  // a handle; CURLE_WRITE_ERROR when the body is longer than
  // kTransferBufferSize; CURLE_ABORTED_BY_CALLBACK or CURLE_WRITE_ERROR when
  // the stop flag was set; CURLE_PEER_FAILED_VERIFICATION when the installed
  // TlsServerCheck refused the server's certificate. On failure the body is
  // released; received_count() still tells how much had arrived.
  CURLcode Fetch(const char* url, const TransferProfile& profile);

  // The body of the last successful Fetch (empty after a failure or after
  // ReleaseBody). Valid until the next Fetch or ReleaseBody.
  std::vector<unsigned char>& body() { return body_; }
  // Bytes stored by the last Fetch, kept until the next one starts.
  std::uint64_t received_count() const { return received_; }
  // True if the last Fetch was refused because the body did not fit.
  bool body_overflowed() const { return overflowed_; }
  void ReleaseBody();

 private:
  static std::size_t OnWrite(char* data, std::size_t size, std::size_t count,
                             void* self) noexcept;
  static int OnConnected(void* self, char* remote_ip, char* local_ip, int remote_port,
                         int local_port) noexcept;
  // curl_easy_perform, but through the multi handle, looking at the stop flag
  // at least every kStopPollMs.
  CURLcode Perform(CURL* easy);

  const std::atomic<bool>& stop_;
  CurlEasy easy_;
  CurlMulti multi_;
  std::vector<unsigned char> body_;
  std::uint64_t received_ = 0;
  bool overflowed_ = false;
  bool server_refused_ = false;  // the TlsServerCheck refused the certificate
  char error_text_[CURL_ERROR_SIZE] = {};
};

enum class DownloadStatus {
  kWritten,         // the destination now holds the body (scrambled if asked)
  kTransferFailed,  // the destination was not touched
  kWriteFailed,     // body received, but the destination kept its old content
};

// Fetches `url` with `profile` (the link file profile by default) and, on
// success, stores the body at `path`, scrambled if `scramble`, through
// WriteFileReplacing (a read-only destination is made writable first). The
// body is released on every path. Worker thread. Callers that follow the
// "no report" rule may ignore the result.
DownloadStatus DownloadToFile(HttpTransfer& http, const char* url,
                              const std::filesystem::path& path, bool scramble,
                              const TransferProfile& profile = kLinkFileProfile);
