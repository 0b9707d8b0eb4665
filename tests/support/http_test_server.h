// A small HTTP/1.1 server on 127.0.0.1 for the transfer tests, run on its own
// thread. Serves one connection at a time; every loop is bounded by time
// limits, so a misbehaving client or test cannot hang it. Test code only
// (implemented in http_test_server.cc).
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

struct TestReply {
  enum class Mode {
    kNormal,       // status line, Content-Length, body, close
    kSilent,       // accept and read the request, call between_blocks(),
                   // then send nothing
    kSplitStall,   // headers announcing announced_length, body[0..split),
                   // then between_blocks(), then body[split..), then nothing more
  };
  Mode mode = Mode::kNormal;
  int status = 200;
  std::string body;
  std::string extra_headers;  // each line ending in "\r\n"
  std::size_t split = 0;
  std::size_t announced_length = 0;
  std::function<void()> between_blocks;
};

class HttpTestServer {
 public:
  HttpTestServer();  // listens on an ephemeral port of 127.0.0.1
  ~HttpTestServer();  // stops the thread and closes every socket
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  bool ok() const { return port_ != 0; }
  int port() const { return port_; }
  // "http://127.0.0.1:<port><path>"; `path` starts with "/".
  std::string Url(const std::string& path) const;
  // Paths without a reply get 404.
  void SetReply(const std::string& path, TestReply reply);
  int requests() const { return requests_.load(); }
  // The head (request line and headers) of the last request received.
  std::string LastRequest();

 private:
  void Serve();
  void Handle(std::intptr_t client);

  std::intptr_t listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> requests_{0};
  std::mutex mutex_;
  std::map<std::string, TestReply> replies_;
  std::string last_request_;
  std::thread thread_;
};
