#include "tests/support/local_service.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

constexpr int kMaxConnections = 400;  // over the service's whole life
constexpr std::size_t kMaxRequestBytes = 65536;
constexpr DWORD kReceiveTimeoutMs = 5000;
constexpr std::chrono::seconds kMaxStall{30};
constexpr long kAcceptPollUs = 50000;
constexpr std::size_t kSendChunk = 65536;

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}

const char* reason(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 302:
      return "Found";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    default:
      return "Status";
  }
}

bool parseRequest(const std::string& head, LocalService::Request& out) {
  const size_t lineEnd = head.find("\r\n");
  const std::string line = head.substr(0, lineEnd);
  const size_t sp1 = line.find(' ');
  const size_t sp2 = line.find(' ', sp1 + 1);
  if (sp1 == std::string::npos || sp2 == std::string::npos) return false;
  out.method = line.substr(0, sp1);
  out.target = line.substr(sp1 + 1, sp2 - sp1 - 1);
  size_t pos = lineEnd + 2;
  while (pos < head.size()) {
    const size_t end = head.find("\r\n", pos);
    const std::string h = head.substr(pos, end - pos);
    if (h.empty()) break;
    const size_t colon = h.find(':');
    if (colon != std::string::npos) {
      size_t v = colon + 1;
      while (v < h.size() && h[v] == ' ') ++v;
      out.headers[lower(h.substr(0, colon))] = h.substr(v);
    }
    if (end == std::string::npos) break;
    pos = end + 2;
  }
  return true;
}

// The body in the chunked transfer coding, `size` bytes a chunk.
std::string chunked(const std::string& body, std::size_t size) {
  if (size == 0) size = std::max<std::size_t>(body.size(), 1);
  std::string out;
  char line[32];
  for (std::size_t at = 0; at < body.size(); at += size) {
    const std::size_t n = std::min(size, body.size() - at);
    snprintf(line, sizeof line, "%zx\r\n", n);
    out += line;
    out.append(body, at, n);
    out += "\r\n";
  }
  return out + "0\r\n\r\n";
}

}  // namespace

bool LocalService::start() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
  wsaStarted_ = true;
  listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener_ == INVALID_SOCKET) return false;
  sockaddr_in addr = {};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listener_, SOMAXCONN) != 0) {
    return false;
  }
  int len = sizeof addr;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread(&LocalService::acceptLoop, this);
  return true;
}

void LocalService::stop() {
  stopping_ = true;
  releaseStall();
  if (acceptor_.joinable()) acceptor_.join();
  for (std::thread& t : workers_) {
    if (t.joinable()) t.join();
  }
  workers_.clear();
  if (listener_ != INVALID_SOCKET) closesocket(listener_);
  listener_ = INVALID_SOCKET;
  if (wsaStarted_) WSACleanup();
  wsaStarted_ = false;
}

std::wstring LocalService::base() const { return L"http://127.0.0.1:" + std::to_wstring(port_); }

std::string LocalService::baseUtf8() const { return "http://127.0.0.1:" + std::to_string(port_); }

void LocalService::serve(const std::string& path, Answer answer) {
  std::lock_guard<std::mutex> guard(lock_);
  answers_[path] = std::make_shared<const Answer>(std::move(answer));
}

std::vector<LocalService::Request> LocalService::requests() const {
  std::lock_guard<std::mutex> guard(lock_);
  return requests_;
}

int LocalService::requestsFor(const std::string& path) const {
  std::lock_guard<std::mutex> guard(lock_);
  return static_cast<int>(std::count_if(requests_.begin(), requests_.end(),
                                        [&](const Request& r) { return r.target == path; }));
}

void LocalService::releaseStall() {
  std::lock_guard<std::mutex> guard(lock_);
  release_ = true;
  released_.notify_all();
}

bool LocalService::waitUntilStalled(DWORD timeoutMs) {
  std::unique_lock<std::mutex> guard(lock_);
  return released_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return stalled_; });
}

bool LocalService::waitForRelease() {
  std::unique_lock<std::mutex> guard(lock_);
  stalled_ = true;
  released_.notify_all();
  const bool released = released_.wait_for(guard, kMaxStall, [&] { return release_; });
  stallReleased_ = released && !stopping_.load();
  return released;
}

void LocalService::acceptLoop() {
  int accepted = 0;
  while (!stopping_ && accepted < kMaxConnections) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(listener_, &set);
    timeval wait = {0, kAcceptPollUs};
    if (select(0, &set, nullptr, nullptr, &wait) <= 0) continue;
    SOCKET s = accept(listener_, nullptr, nullptr);
    if (s == INVALID_SOCKET) continue;
    ++accepted;
    workers_.emplace_back(&LocalService::handle, this, s);
  }
}

bool LocalService::sendAll(SOCKET s, const char* data, std::size_t size) {
  while (size > 0 && !stopping_) {
    const int n = send(s, data, static_cast<int>(std::min(size, kSendChunk)), 0);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return size == 0;
}

void LocalService::handle(SOCKET s) {
  DWORD timeout = kReceiveTimeoutMs;
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  std::string head;
  char buf[4096];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < kMaxRequestBytes) {
    const int n = recv(s, buf, sizeof buf, 0);
    if (n <= 0) break;
    head.append(buf, static_cast<std::size_t>(n));
  }
  Request request;
  static const Answer kNotHere = [] {
    Answer answer;
    answer.status = 404;
    answer.body = "not here";
    return answer;
  }();
  // Shared, not copied: a release's installer may be large.
  std::shared_ptr<const Answer> chosen;
  if (parseRequest(head, request)) {
    std::lock_guard<std::mutex> guard(lock_);
    requests_.push_back(request);
    auto found = answers_.find(request.target);
    if (found != answers_.end()) chosen = found->second;
  }
  const Answer& answer = chosen ? *chosen : kNotHere;
  if (answer.mode == Mode::Hang) {
    waitForRelease();
    closesocket(s);
    return;
  }
  std::string response = "HTTP/1.1 " + std::to_string(answer.status) + " " + reason(answer.status) +
                         "\r\nConnection: close\r\n";
  if (!answer.contentLength.empty()) {
    response += "Content-Length: " + answer.contentLength + "\r\n";
  } else if (answer.mode != Mode::CloseEarly && answer.mode != Mode::Chunked) {
    response += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n";
  }
  std::string chunkedBody;
  if (answer.mode == Mode::Chunked) {
    response += "Transfer-Encoding: chunked\r\n";
    chunkedBody = chunked(answer.body, answer.cutAt);
  }
  const std::string& body = answer.mode == Mode::Chunked ? chunkedBody : answer.body;
  for (const auto& h : answer.headers) response += h.first + ": " + h.second + "\r\n";
  response += "\r\n";
  const bool whole = answer.mode == Mode::Normal || answer.mode == Mode::Chunked;
  const std::size_t cut = whole ? body.size() : std::min(answer.cutAt, body.size());
  if (answer.onePacket) response.append(body, 0, cut);
  bool ok = sendAll(s, response.data(), response.size()) &&
            (answer.onePacket || sendAll(s, body.data(), cut));
  if (ok && answer.mode == Mode::Stall && waitForRelease() && !stopping_) {
    sendAll(s, body.data() + cut, body.size() - cut);
  }
  if (answer.mode == Mode::Reset) {
    linger hard = {1, 0};
    setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
  } else {
    shutdown(s, SD_SEND);
  }
  closesocket(s);
}
