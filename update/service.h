// The one service the program talks to: its base address, whether a URL lies
// on it, and the version request that asks which release is current.
#pragma once

#include <windows.h>

#include <winhttp.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "json/json.h"

// The service's answer as parsed, not yet checked.
struct ReleaseInfo {
  std::string version;  // trimmed
  std::string download;
  std::string sha256;
  std::string signature;
  std::int64_t size = -1;  // -1 when missing or not a whole number
};

constexpr std::uint32_t kVersionRequestMs = 20000;
constexpr std::int64_t kVersionAnswerMaxBytes = 65536;

// CAIRN_API_BASE, else the built-in origin; trailing slashes removed.
std::wstring apiBase();
// Host lower-cased; port and scheme as WinHTTP reports them.
bool crackUrl(const std::wstring& url, std::wstring& host, INTERNET_PORT& port,
              INTERNET_SCHEME& scheme);
bool isServiceUrl(const std::wstring& url);
// True when the service answered with an object that names a version; then
// `out` is filled, otherwise it is left alone.
bool fetchRelease(const std::atomic<bool>* cancel, ReleaseInfo& out);
ReleaseInfo parseReleaseInfo(const JsonValue& object);
