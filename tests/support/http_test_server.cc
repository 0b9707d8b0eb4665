// The test HTTP server. Test code, built into the tests of this folder for
// Linux and for Windows, hence the one socket shim below.
#include "support/http_test_server.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using SocketHandle = SOCKET;
constexpr int kSendFlags = 0;
void CloseSocket(SocketHandle s) { closesocket(s); }
bool SocketsUp() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
using SocketHandle = int;
constexpr int kSendFlags = MSG_NOSIGNAL;
void CloseSocket(SocketHandle s) { close(s); }
bool SocketsUp() { return true; }
#endif

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kTickMs = 20;
constexpr auto kRequestTimeLimit = std::chrono::seconds(5);
constexpr auto kSilenceTimeLimit = std::chrono::seconds(15);
constexpr std::size_t kMaxRequestBytes = 65536;

SocketHandle ToSocket(std::intptr_t s) { return static_cast<SocketHandle>(s); }

// True when `s` has something to read (or was closed) within one tick.
bool Readable(SocketHandle s) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval tv{0, kTickMs * 1000};
  return select(static_cast<int>(s) + 1, &set, nullptr, nullptr, &tv) > 0;
}

bool SendAll(SocketHandle s, const char* data, std::size_t size) {
  while (size > 0) {
    const int chunk = size > 65536 ? 65536 : static_cast<int>(size);
    const int n = send(s, data, chunk, kSendFlags);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

const char* Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 302: return "Found";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
  }
}

}  // namespace

HttpTestServer::HttpTestServer() {
  if (!SocketsUp()) return;
  SocketHandle s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof(addr);
  if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(s, 8) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    CloseSocket(s);
    return;
  }
  listener_ = static_cast<std::intptr_t>(s);
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

HttpTestServer::~HttpTestServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ != -1) CloseSocket(ToSocket(listener_));
}

std::string HttpTestServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void HttpTestServer::SetReply(const std::string& path, TestReply reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  replies_[path] = std::move(reply);
}

void HttpTestServer::Serve() {
  while (!stop_) {
    if (!Readable(ToSocket(listener_))) continue;
    SocketHandle client = accept(ToSocket(listener_), nullptr, nullptr);
    if (client == static_cast<SocketHandle>(-1)) continue;
    Handle(static_cast<std::intptr_t>(client));
    CloseSocket(client);
  }
}

void HttpTestServer::Handle(std::intptr_t handle) {
  const SocketHandle client = ToSocket(handle);
  // Read the request head.
  std::string request;
  const auto request_deadline = std::chrono::steady_clock::now() + kRequestTimeLimit;
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxRequestBytes) {
    if (stop_ || std::chrono::steady_clock::now() > request_deadline) return;
    if (!Readable(client)) continue;
    char buffer[4096];
    const int n = recv(client, buffer, sizeof(buffer), 0);
    if (n <= 0) return;
    request.append(buffer, static_cast<std::size_t>(n));
  }
  ++requests_;
  std::string path;
  const std::size_t first_space = request.find(' ');
  if (first_space != std::string::npos) {
    const std::size_t second_space = request.find(' ', first_space + 1);
    if (second_space != std::string::npos) {
      path = request.substr(first_space + 1, second_space - first_space - 1);
    }
  }
  TestReply reply;
  reply.status = 404;
  reply.body = "not here";
  {
    std::lock_guard<std::mutex> lock(mutex_);
    last_request_ = request.substr(0, request.find("\r\n\r\n"));
    auto it = replies_.find(path);
    if (it != replies_.end()) reply = it->second;
  }

  if (reply.mode == TestReply::Mode::kSilent && reply.between_blocks) reply.between_blocks();
  if (reply.mode != TestReply::Mode::kSilent) {
    const std::size_t length = reply.mode == TestReply::Mode::kSplitStall
                                   ? reply.announced_length
                                   : reply.body.size();
    char status_line[160];
    std::snprintf(status_line, sizeof(status_line),
                  "HTTP/1.1 %d %s\r\nContent-Type: application/octet-stream\r\n"
                  "Content-Length: %lu\r\nConnection: close\r\n",
                  reply.status, Reason(reply.status), static_cast<unsigned long>(length));
    const std::string head = status_line + reply.extra_headers + "\r\n";
    if (!SendAll(client, head.data(), head.size())) return;
    if (reply.mode == TestReply::Mode::kNormal) {
      SendAll(client, reply.body.data(), reply.body.size());
      return;
    }
    const std::size_t split = reply.split < reply.body.size() ? reply.split : reply.body.size();
    if (!SendAll(client, reply.body.data(), split)) return;
    if (reply.between_blocks) reply.between_blocks();
    if (!SendAll(client, reply.body.data() + split, reply.body.size() - split)) return;
  }
  // Send nothing more; wait until the client gives up (closes) or the test ends.
  const auto silence_deadline = std::chrono::steady_clock::now() + kSilenceTimeLimit;
  while (!stop_ && std::chrono::steady_clock::now() < silence_deadline) {
    if (!Readable(client)) continue;
    char buffer[1024];
    if (recv(client, buffer, sizeof(buffer), 0) <= 0) return;
  }
}

std::string HttpTestServer::LastRequest() {
  std::lock_guard<std::mutex> lock(mutex_);
  return last_request_;
}
