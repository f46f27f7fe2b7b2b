// A small HTTP/1.1 server on 127.0.0.1 for tests and benchmarks: fixed
// answers by path, and misbehaviour on demand. It listens on an ephemeral
// port, serves each connection on its own thread, answers once per
// connection and closes it. Every wait it makes is bounded.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class LocalService {
 public:
  enum class Mode {
    Normal,      // the whole answer
    Hang,        // read the request, never answer
    CloseEarly,  // no Content-Length; `cutAt` body bytes, then a clean close
    Reset,       // announce the whole body; `cutAt` bytes, then a reset connection
    Stall,       // `cutAt` bytes, then wait for releaseStall() before the rest
    Chunked,     // no Content-Length; the body in chunks of `cutAt` bytes (all at once for 0)
  };

  struct Answer {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    Mode mode = Mode::Normal;
    std::size_t cutAt = 0;
    std::string contentLength;  // when set, announced in place of the body's real length
    bool onePacket = false;     // the head and the body in one send
  };

  struct Request {
    std::string method;
    std::string target;
    std::map<std::string, std::string> headers;  // names in lower case
  };

  LocalService() = default;
  ~LocalService() { stop(); }
  LocalService(const LocalService&) = delete;
  LocalService& operator=(const LocalService&) = delete;

  bool start();
  void stop();
  // "http://127.0.0.1:PORT"
  std::wstring base() const;
  std::string baseUtf8() const;

  // Unknown paths get 404.
  void serve(const std::string& path, Answer answer);
  void serveBody(const std::string& path, std::string body) {
    Answer a;
    a.body = std::move(body);
    serve(path, std::move(a));
  }

  std::vector<Request> requests() const;
  int requestsFor(const std::string& path) const;

  // Stalled and hanging answers go on (or end) once released.
  void releaseStall();
  // Waits (bounded) until a stalled answer has sent its first part.
  bool waitUntilStalled(DWORD timeoutMs);
  // Whether the last stall ended by releaseStall() rather than its own time limit.
  bool stallWasReleased() const { return stallReleased_.load(); }

 private:
  void acceptLoop();
  void handle(SOCKET s);
  bool sendAll(SOCKET s, const char* data, std::size_t size);
  bool waitForRelease();

  SOCKET listener_ = INVALID_SOCKET;
  unsigned short port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
  std::vector<std::thread> workers_;
  mutable std::mutex lock_;
  std::condition_variable released_;
  bool release_ = false;
  bool stalled_ = false;
  std::atomic<bool> stallReleased_{false};
  std::map<std::string, std::shared_ptr<const Answer>> answers_;
  std::vector<Request> requests_;
  bool wsaStarted_ = false;
};
