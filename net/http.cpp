#include "net/http.h"

#include <algorithm>
#include <chrono>
#include <climits>

#include "base/scoped_handle.h"
#include "base/scoped_internet.h"
#include "base/text.h"
#include "base/thread.h"
#include "base/version.h"

namespace {

constexpr std::chrono::milliseconds kPollInterval{100};
constexpr DWORD kHostChars = 256;
constexpr DWORD kPathChars = 2048;
constexpr DWORD kChunkBytes = 65536;
constexpr std::int64_t kErrorPageBytes = 65536;

// WinHTTP time-out rule.
constexpr std::uint32_t kShortCallMs = 1000;
constexpr int kShortCallWinHttpMs = 6000;
constexpr std::uint64_t kWinHttpGraceMs = 5000;
constexpr std::uint64_t kMaxResolveConnectMs = 15000;
constexpr std::uint64_t kMaxSendMs = 30000;

constexpr DWORD kStatusQuery = WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER;

// How the server framed the body.
constexpr std::int64_t kUnannounced = -1;  // chunked, or until the connection closes
constexpr std::int64_t kMalformed = -2;
constexpr DWORD kHeaderChars = 64;         // more than any usable length needs
constexpr DWORD kMaxLengthHeaders = 8;
constexpr size_t kMaxLengthDigits = 18;    // always fits a signed 64-bit count

struct UrlParts {
  INTERNET_SCHEME scheme = INTERNET_SCHEME_HTTP;
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring path;
};

bool splitUrl(const std::wstring& url, UrlParts& out) {
  wchar_t host[kHostChars] = {};
  wchar_t path[kPathChars] = {};
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host;
  parts.dwHostNameLength = kHostChars;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = kPathChars;
  if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return false;
  out.scheme = parts.nScheme;
  out.host.assign(host, parts.dwHostNameLength);
  out.port = parts.nPort;
  out.path.assign(path, parts.dwUrlPathLength);
  return true;
}

HINTERNET openSession() {
  const std::wstring agent = httpUserAgent();
  HINTERNET session = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                  WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  if (!session) {
    session = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                          WINHTTP_NO_PROXY_BYPASS, 0);
  }
  return session;
}

std::wstring headerBlock(const HttpHeaders& headers) {
  std::wstring block;
  for (const auto& header : headers) block += toWide(header.first + ": " + header.second) + L"\r\n";
  return block;
}

std::string transportError(DWORD code) {
  switch (code) {
    case ERROR_WINHTTP_TIMEOUT:
      return "timeout";
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      return "no internet (name not resolved)";
    case ERROR_WINHTTP_CANNOT_CONNECT:
      return "cannot connect";
    default:
      return sformat("network error %lu", code);
  }
}

enum class Header { Missing, Present, Unreadable };

// The `index`th occurrence of a header; WinHTTP moves `index` on to the next.
Header queryHeader(HINTERNET request, DWORD query, DWORD& index, std::wstring& value) {
  wchar_t buffer[kHeaderChars] = {};
  DWORD bytes = sizeof buffer;
  if (WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, buffer, &bytes, &index)) {
    value.assign(buffer, bytes / sizeof(wchar_t));
    return Header::Present;
  }
  return GetLastError() == ERROR_WINHTTP_HEADER_NOT_FOUND ? Header::Missing : Header::Unreadable;
}

// Whether an answer to this request carries a body at all.
bool hasBody(const std::wstring& verb, std::int32_t status) {
  return verb != L"HEAD" && status != HTTP_STATUS_NO_CONTENT && status != HTTP_STATUS_NOT_MODIFIED;
}

// The body's length as the headers announce it. A Transfer-Encoding frames
// the body itself and overrides any Content-Length; several Content-Length
// headers must agree.
std::int64_t announcedLength(HINTERNET request) {
  DWORD index = 0;
  std::wstring value;
  if (queryHeader(request, WINHTTP_QUERY_TRANSFER_ENCODING, index, value) != Header::Missing) {
    return kUnannounced;
  }
  std::int64_t announced = kUnannounced;
  index = 0;
  for (DWORD seen = 0; seen < kMaxLengthHeaders; ++seen) {
    const DWORD asked = index;
    const Header header = queryHeader(request, WINHTTP_QUERY_CONTENT_LENGTH, index, value);
    if (header == Header::Missing) break;
    std::int64_t length = 0;
    if (header == Header::Unreadable || !parseContentLength(value, length) ||
        (announced != kUnannounced && length != announced)) {
      return kMalformed;
    }
    announced = length;
    if (index == asked) break;  // no further occurrence to ask for
  }
  return announced;
}

// What is wrong with `received` bytes of a body announced as `announced`, or
// nothing; `ended` once the server has sent all it will.
std::string framingError(std::int64_t announced, std::int64_t received, bool ended) {
  if (announced == kUnannounced) return {};
  if (received > announced) return "the answer is longer than its content length";
  if (ended && received < announced) {
    return sformat("the answer is shorter than its content length (%lld of %lld bytes)",
                   static_cast<long long>(received), static_cast<long long>(announced));
  }
  return {};
}

bool markForDeletion(HANDLE file, bool deleteOnClose) {
  FILE_DISPOSITION_INFO disposition = {};
  disposition.DeleteFile = deleteOnClose ? TRUE : FALSE;
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                    sizeof disposition) != 0;
}

// The worker's view of one exchange: it owns the session and connection,
// and the request until it retires it (the caller may close it first).
class Exchange {
 public:
  Exchange(api::Call& call, const api::HttpOpts& opts) : call_(call), opts_(opts) {}

  void run(const std::wstring& url, const std::wstring& verb, const HttpHeaders& headers,
           const std::string& body, std::uint32_t timeoutMs) {
    if (!open(url, verb, timeoutMs)) return;
    if (!send(headers, body)) return;
    status_ = readStatus();
    if (status_ == 0) return;
    // The body is held to the length its headers announce, whatever the
    // HTTP stack below lets through.
    if (hasBody(verb, status_)) announced_ = announcedLength(request_);
    if (announced_ == kMalformed) {
      failTransfer("the answer's content length is malformed");
      return;
    }
    if (status_ == HTTP_STATUS_OK && !opts_.downloadPath.empty()) {
      download();
    } else {
      // A download's error page is only kept for its text: the installer's
      // size is no measure for it.
      readBody(opts_.downloadPath.empty() ? opts_.maxBytes
                                          : std::min(opts_.maxBytes, kErrorPageBytes));
    }
  }

  // Retires the request (if the caller did not) and stores the result.
  void finish() {
    {
      std::lock_guard<std::mutex> guard(call_.lock);
      if (call_.request == request_ && request_) WinHttpCloseHandle(request_);
      call_.request = nullptr;
    }
    connection_.reset();
    session_.reset();
    std::lock_guard<std::mutex> guard(call_.lock);
    call_.status = status_;
    call_.body = std::move(body_);
    call_.error = std::move(error_);
    call_.bytesWritten = bytesWritten_;
    call_.done = true;
    call_.finished.notify_all();
  }

 private:
  bool open(const std::wstring& url, const std::wstring& verb, std::uint32_t timeoutMs) {
    UrlParts parts;
    if (!splitUrl(url, parts)) return fail("bad server address");
    session_.reset(openSession());
    if (!session_.valid()) return fail(sformat("WinHttpOpen failed (%lu)", GetLastError()));
    const WinHttpTimeouts t = winHttpTimeoutsFor(timeoutMs);
    WinHttpSetTimeouts(session_, t.resolve, t.connect, t.send, t.receive);
    connection_.reset(WinHttpConnect(session_, parts.host.c_str(), parts.port, 0));
    if (!connection_.valid()) return fail(sformat("cannot connect (%lu)", GetLastError()));
    const DWORD flags = parts.scheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    ScopedInternet request(WinHttpOpenRequest(connection_, verb.c_str(), parts.path.c_str(),
                                              nullptr, WINHTTP_NO_REFERER,
                                              WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!request.valid()) return fail(sformat("cannot connect (%lu)", GetLastError()));
    if (opts_.noRedirects) {
      DWORD feature = WINHTTP_DISABLE_REDIRECTS;
      if (!WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &feature, sizeof feature)) {
        return fail(sformat("cannot turn redirects off (%lu)", GetLastError()));
      }
    }
    request_ = request.release();
    std::lock_guard<std::mutex> guard(call_.lock);
    // A caller that gave up before the request existed had nothing to
    // close; the exchange must not go on without anyone to stop it.
    if (call_.abandoned.load()) {
      WinHttpCloseHandle(request_);
      request_ = nullptr;
      return fail("abandoned");
    }
    call_.request = request_;
    return true;
  }

  bool send(const HttpHeaders& headers, const std::string& body) {
    const std::wstring block = headerBlock(headers);
    const DWORD length = static_cast<DWORD>(body.size());
    void* data = body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body.data());
    if (!WinHttpSendRequest(request_, block.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : block.c_str(),
                            static_cast<DWORD>(-1), data, length, length, 0) ||
        !WinHttpReceiveResponse(request_, nullptr)) {
      return fail(transportError(GetLastError()));
    }
    return true;
  }

  std::int32_t readStatus() {
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!WinHttpQueryHeaders(request_, kStatusQuery, WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                             WINHTTP_NO_HEADER_INDEX)) {
      return 0;
    }
    return static_cast<std::int32_t>(status);
  }

  void readBody(std::int64_t maxBytes) {
    for (;;) {
      DWORD available = 0;
      if (!WinHttpQueryDataAvailable(request_, &available) || available == 0) break;
      // Never more than one byte past the limit, however much the server
      // offers at once: the limit bounds what a hostile answer can cost.
      const std::int64_t room = maxBytes - static_cast<std::int64_t>(body_.size()) + 1;
      if (room <= 0) return;
      const DWORD want =
          room < static_cast<std::int64_t>(available) ? static_cast<DWORD>(room) : available;
      std::string piece(want, '\0');
      DWORD read = 0;
      if (!WinHttpReadData(request_, &piece[0], want, &read) || read == 0) break;
      body_.append(piece.data(), read);
      const std::int64_t size = static_cast<std::int64_t>(body_.size());
      if (size > maxBytes) return;  // cut short on purpose: not the server's fault
      if (!framedAsAnnounced(size, false)) return;
    }
    framedAsAnnounced(static_cast<std::int64_t>(body_.size()), true);
  }

  // False, with nothing of the answer kept, once the body disagrees with
  // its Content-Length.
  bool framedAsAnnounced(std::int64_t received, bool ended) {
    std::string wrong = framingError(announced_, received, ended);
    if (wrong.empty()) return true;
    failTransfer(std::move(wrong));
    return false;
  }

  void download() {
    ScopedHandle file(CreateFileW(opts_.downloadPath.c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
      status_ = 0;
      error_ = sformat("cannot create the download file (%lu)", GetLastError());
      return;
    }
    // Until it is complete the file is marked for deletion, so that even a
    // process that ends mid-download (shut-down, a kill) leaves no part behind.
    const bool marked = markForDeletion(file, true);
    if (streamInto(file)) {
      // No flush to the disk: whoever uses the file reads it back and checks
      // it (the installer's size and SHA-256), and a download cut short by
      // the machine going down is simply made again.
      const bool kept = !marked || markForDeletion(file, false);
      file.reset();
      if (kept) return;
    } else {
      file.reset();
    }
    DeleteFileW(opts_.downloadPath.c_str());
    status_ = 0;
  }

  // False with the error set when the download must not stand.
  bool streamInto(HANDLE file) {
    std::vector<char> buffer(kChunkBytes, 0);
    for (;;) {
      if (call_.abandoned.load()) return fail("abandoned");
      DWORD read = 0;
      if (!WinHttpReadData(request_, buffer.data(), kChunkBytes, &read)) {
        return fail(sformat("download broke off (%lu)", GetLastError()));
      }
      const std::int64_t received = bytesWritten_ + static_cast<std::int64_t>(read);
      std::string wrong = framingError(announced_, received, read == 0);
      if (!wrong.empty()) return fail(std::move(wrong));
      if (read == 0) return true;
      if (received > opts_.maxBytes) return fail("the download is larger than announced");
      DWORD written = 0;
      if (!WriteFile(file, buffer.data(), read, &written, nullptr) || written != read) {
        return fail(sformat("cannot write the download (%lu)", GetLastError()));
      }
      bytesWritten_ += read;
    }
  }

  bool fail(std::string error) {
    error_ = std::move(error);
    return false;
  }

  // The answer came, but not as its headers framed it: nothing of it stands.
  void failTransfer(std::string error) {
    status_ = 0;
    body_.clear();
    error_ = std::move(error);
  }

  api::Call& call_;
  const api::HttpOpts& opts_;
  ScopedInternet session_;
  ScopedInternet connection_;
  HINTERNET request_ = nullptr;
  std::int32_t status_ = 0;
  std::int64_t announced_ = kUnannounced;
  std::string body_;
  std::string error_;
  std::int64_t bytesWritten_ = 0;
};

// Gives up on the call: the worker stops at its next chunk, and closing the
// request makes a blocked WinHTTP call fail at once.
void abandon(api::Call& call) {
  call.abandoned.exchange(true);
  if (call.request) {
    WinHttpCloseHandle(call.request);
    call.request = nullptr;
  }
}

// The log's words for a call that ended before any answer.
const char* earlyEndText(HttpFailure failure) {
  switch (failure) {
    case HttpFailure::Cancelled:
      return "cancelled";
    case HttpFailure::TimedOut:
      return "timeout";
    default:
      return "cannot start the request";
  }
}

HttpResult failedCall(HttpFailure failure) {
  HttpResult result;
  result.failure = failure;
  result.error = earlyEndText(failure);
  return result;
}

}  // namespace

bool parseContentLength(const std::wstring& text, std::int64_t& length) {
  const size_t first = text.find_first_not_of(L" \t");
  const size_t last = text.find_last_not_of(L" \t");
  if (first == std::wstring::npos || last - first + 1 > kMaxLengthDigits) return false;
  std::int64_t value = 0;
  for (size_t i = first; i <= last; ++i) {
    if (text[i] < L'0' || text[i] > L'9') return false;
    value = value * 10 + (text[i] - L'0');
  }
  length = value;
  return true;
}

std::wstring httpUserAgent() { return L"Cairnstone/" + toWide(APP_VERSION) + L" (Windows)"; }

WinHttpTimeouts winHttpTimeoutsFor(std::uint32_t timeoutMs) {
  WinHttpTimeouts t;
  if (timeoutMs < kShortCallMs) {
    t.resolve = t.connect = t.send = t.receive = kShortCallWinHttpMs;
    return t;
  }
  const std::uint64_t total = timeoutMs + kWinHttpGraceMs;
  t.resolve = static_cast<int>(std::min(total, kMaxResolveConnectMs));
  t.connect = t.resolve;
  t.send = static_cast<int>(std::min(total, kMaxSendMs));
  t.receive = static_cast<int>(std::min<std::uint64_t>(total, INT_MAX));
  return t;
}

void httpWorker(std::shared_ptr<api::Call> call, std::wstring url, std::wstring verb,
                HttpHeaders headers, std::string body, std::uint32_t timeoutMs,
                api::HttpOpts opts) {
  Exchange exchange(*call, opts);
  exchange.run(url, verb, headers, body, timeoutMs);
  exchange.finish();
}

HttpResult httpCall(const std::wstring& verb, const std::wstring& url, const HttpHeaders& headers,
                    const std::string& body, std::uint32_t timeoutMs,
                    const std::atomic<bool>* cancel, const api::HttpOpts& opts) {
  if (cancel && cancel->load()) return failedCall(HttpFailure::Cancelled);
  auto call = std::make_shared<api::Call>();
  if (!startDetached([=] { httpWorker(call, url, verb, headers, body, timeoutMs, opts); })) {
    return failedCall(HttpFailure::NotStarted);
  }
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  std::unique_lock<std::mutex> guard(call->lock);
  while (!call->done) {
    if (cancel && cancel->load()) {
      abandon(*call);
      return failedCall(HttpFailure::Cancelled);
    }
    if (GetTickCount64() >= deadline) {
      abandon(*call);
      return failedCall(HttpFailure::TimedOut);
    }
    call->finished.wait_for(guard, kPollInterval);
  }
  HttpResult result;
  result.status = call->status;
  result.body = call->body;
  result.failure = call->error.empty() ? HttpFailure::None : HttpFailure::Failed;
  result.error = call->error;
  result.bytesWritten = call->bytesWritten;
  return result;
}
