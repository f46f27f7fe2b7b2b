// The HTTP client: one request per call on a detached worker thread, while
// the caller waits with its own deadline and cancel flag. Responses come back
// in memory or, for downloads, streamed into a new file with a byte limit.
// Failures are a status of 0 with a short English error text.
#pragma once

#include <windows.h>

#include <winhttp.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace api {

struct HttpOpts {
  bool noRedirects = false;
  std::wstring downloadPath;  // when set, a 200 body goes into this new file
  std::int64_t maxBytes = 0;  // download: most bytes the file may get; memory: stop once past it
};

// What the caller and the worker share; lives as long as either holds it.
struct Call {
  std::mutex lock;  // guards everything below but `abandoned`
  std::condition_variable finished;
  bool done = false;
  std::atomic<bool> abandoned{false};  // the caller stopped waiting
  HINTERNET request = nullptr;         // closed (under lock) by whoever finds it open
  std::int32_t status = 0;
  std::string body;
  std::string error;
  std::int64_t bytesWritten = 0;
};

}  // namespace api

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;  // UTF-8, sent in order

// Why a call gave no answer to use. Failed covers everything on the wire or
// on disk; its text tells which.
enum class HttpFailure { None, Cancelled, TimedOut, NotStarted, Failed };

struct HttpResult {
  std::int32_t status = 0;
  std::string body;
  HttpFailure failure = HttpFailure::None;
  std::string error;  // says the failure, for the log; empty with None
  std::int64_t bytesWritten = 0;
};

// Never holds the caller longer than timeoutMs (plus one 100 ms poll); a raised
// cancel flag ends the call as Cancelled. A body that does not match its
// Content-Length (or one that cannot be read) fails the call.
HttpResult httpCall(const std::wstring& verb, const std::wstring& url, const HttpHeaders& headers,
                    const std::string& body, std::uint32_t timeoutMs,
                    const std::atomic<bool>* cancel, const api::HttpOpts& opts);

// The worker's thread entry; its whole result is what it stores in the call.
void httpWorker(std::shared_ptr<api::Call> call, std::wstring url, std::wstring verb,
                HttpHeaders headers, std::string body, std::uint32_t timeoutMs, api::HttpOpts opts);

// A Content-Length value: decimal digits only, blanks around them allowed, at
// most 18 of them. False for a sign, anything else, or nothing.
bool parseContentLength(const std::wstring& text, std::int64_t& length);

// "Cairnstone/<version> (Windows)".
std::wstring httpUserAgent();

// WinHTTP's own time-outs for a call: they always outlast the caller's
// deadline, so on a slow but live connection the caller decides.
struct WinHttpTimeouts {
  int resolve = 0;
  int connect = 0;
  int send = 0;
  int receive = 0;
};
WinHttpTimeouts winHttpTimeoutsFor(std::uint32_t timeoutMs);
