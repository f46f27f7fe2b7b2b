#include "update/service.h"

#include <cmath>

#include "base/paths.h"
#include "base/text.h"
#include "net/http.h"
#include "storage/log.h"

#ifndef CAIRN_SERVICE_ORIGIN
#define CAIRN_SERVICE_ORIGIN "https://cairnstone.app"
#endif

namespace {

constexpr DWORD kHostChars = 256;
constexpr wchar_t kVersionPath[] = L"/api/app/version";

bool isUrlChar(wchar_t c) { return c > 32 && c < 127 && c != L'\\' && c != L'@'; }

std::string textMember(const JsonValue& object, const char* key) {
  const JsonValue& v = object.get(key);
  return v.kind == JsonKind::String ? v.text : std::string();
}

}  // namespace

std::wstring apiBase() {
  std::wstring base = envVar(L"CAIRN_API_BASE");
  if (base.empty()) base = toWide(CAIRN_SERVICE_ORIGIN);
  while (!base.empty() && base.back() == L'/') base.pop_back();
  return base;
}

bool crackUrl(const std::wstring& url, std::wstring& host, INTERNET_PORT& port,
              INTERNET_SCHEME& scheme) {
  wchar_t hostBuf[kHostChars] = {};
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = hostBuf;
  parts.dwHostNameLength = kHostChars;
  if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return false;
  host = lowerWide(std::wstring(hostBuf, parts.dwHostNameLength));
  port = parts.nPort;
  scheme = parts.nScheme;
  return true;
}

bool isServiceUrl(const std::wstring& url) {
  const std::wstring base = apiBase();
  const std::wstring prefix = base + L"/";
  if (url.size() <= prefix.size() || url.compare(0, prefix.size(), prefix) != 0) return false;
  std::wstring urlHost, baseHost;
  INTERNET_PORT urlPort = 0, basePort = 0;
  INTERNET_SCHEME urlScheme = INTERNET_SCHEME_HTTP, baseScheme = INTERNET_SCHEME_HTTP;
  if (!crackUrl(url, urlHost, urlPort, urlScheme) ||
      !crackUrl(base, baseHost, basePort, baseScheme)) {
    return false;
  }
  if (urlHost != baseHost || urlPort != basePort || urlScheme != baseScheme) return false;
  for (wchar_t c : url) {
    if (!isUrlChar(c)) return false;
  }
  return true;
}

ReleaseInfo parseReleaseInfo(const JsonValue& object) {
  ReleaseInfo info;
  info.version = trimText(textMember(object, "version"));
  info.download = textMember(object, "download");
  info.sha256 = textMember(object, "sha256");
  info.signature = textMember(object, "signature");
  const JsonValue& size = object.get("size");
  if (size.kind == JsonKind::Number) {
    // A size is a whole number of bytes: a fraction, or a number out of
    // range, reads as missing rather than being truncated or overflowing.
    constexpr double kLimit = 9.2e18;
    const double n = size.number;
    if (std::isfinite(n) && n == std::trunc(n) && n > -kLimit && n < kLimit) {
      info.size = static_cast<std::int64_t>(n);
    }
  }
  return info;
}

bool fetchRelease(const std::atomic<bool>* cancel, ReleaseInfo& out) {
  api::HttpOpts opts;
  opts.noRedirects = true;
  opts.maxBytes = kVersionAnswerMaxBytes;
  const HttpResult r = httpCall(L"GET", apiBase() + kVersionPath, {{"Accept", "application/json"}},
                                std::string(), kVersionRequestMs, cancel, opts);
  JsonValue answer;
  if (r.status == HTTP_STATUS_OK && jsonParse(r.body, answer) && answer.kind == JsonKind::Object) {
    ReleaseInfo info = parseReleaseInfo(answer);
    if (info.version.empty()) return false;
    out = std::move(info);
    return true;
  }
  if (r.failure != HttpFailure::Cancelled) {
    logLine(sformat("update check: no answer from the server (status=%d %s)", r.status,
                    r.error.c_str()));
  }
  return false;
}
