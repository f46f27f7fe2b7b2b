// The releases made at build time with the TEST-ONLY key (make_fixtures.sh),
// and a local service that serves them the way the real service would.
#pragma once

#include <windows.h>

#include <atomic>
#include <sstream>
#include <string>

#include "base/paths.h"
#include "base/text.h"
#include "json/json.h"
#include "storage/files.h"
#include "tests/support/local_service.h"
#include "tests/support/test_support.h"
#include "update/download.h"
#include "update/release.h"
#include "update/service.h"
#include "update/status.h"

namespace fixtures {

constexpr char kVersionPath[] = "/api/app/version";
constexpr char kInstallerPath[] = "/download/Cairnstone-Setup-1.4.0.exe";

inline std::wstring dir() { return joinPath(binFolder(), L"release-fixtures"); }

inline std::string installer() {
  return readFileText(dir() + L"\\published\\download\\Cairnstone-Setup-1.4.0.exe");
}

// The answer of a published tree, its download at `path` moved onto `base`.
inline JsonValue answerOf(const wchar_t* tree, const char* path, const std::string& base) {
  JsonValue v;
  jsonParse(readFileText(dir() + L"\\" + tree + L"\\api\\app\\version"), v);
  v.set("download", jsonString(base + path));
  return v;
}

// The published answer, its download moved onto `base`.
inline JsonValue answer(const std::string& base) {
  return answerOf(L"published", kInstallerPath, base);
}

// The installer served slowly: the first `cutAt` bytes, then nothing until
// the test releases the stall.
inline LocalService::Answer stalledInstaller(size_t cutAt) {
  LocalService::Answer a;
  a.body = installer();
  a.mode = LocalService::Mode::Stall;
  a.cutAt = cutAt;
  return a;
}

// The release whose installer is the tests' test_installer.exe: version
// 1.5.0, served at kProgramPath.
constexpr char kProgramPath[] = "/download/Cairnstone-Setup-1.5.0.exe";

inline std::string program() {
  return readFileText(dir() + L"\\program\\download\\Cairnstone-Setup-1.5.0.exe");
}

inline JsonValue programAnswer(const std::string& base) {
  return answerOf(L"program", kProgramPath, base);
}

// A signature made at build time: other_key, no_final_lf, der or openssl.
inline std::string signature(const std::string& name) {
  std::istringstream lines(readFileText(dir() + L"\\signatures"));
  std::string key, value;
  while (lines >> key >> value) {
    if (key == name) return value;
  }
  return {};
}

// A service with the published release on it, and the program pointed at it
// with its own data folder.
class Service {
 public:
  Service()
      : ready_(service_.start()),
        base_(L"CAIRN_API_BASE", service_.base()),
        data_(L"CAIRN_DATA_DIR", dataDir_.path()) {
    serveAnswer(answer(service_.baseUtf8()));
    service_.serveBody(kInstallerPath, installer());
  }
  bool ready() const { return ready_; }
  LocalService& http() { return service_; }
  const std::wstring& dataDir() const { return dataDir_.path(); }
  void serveAnswer(const JsonValue& v) { service_.serveBody(kVersionPath, jsonWrite(v)); }
  std::string base() const { return service_.baseUtf8(); }
  // Offers the test installer's release instead of the plain one.
  void offerProgram() {
    serveAnswer(programAnswer(service_.baseUtf8()));
    service_.serveBody(kProgramPath, program());
  }

 private:
  LocalService service_;
  bool ready_;
  TempDir dataDir_;
  ScopedEnv base_;
  ScopedEnv data_;
};

// One update check as the program makes it: ask, evaluate, download, verify.
// Its status text, as the log would say it.
inline std::string checkOnce(ReadyInstaller& ready, const std::atomic<bool>* cancel = nullptr) {
  ReleaseInfo info;
  if (!fetchRelease(cancel, info)) return UpdateStatus::noServer().text();
  TrustedRelease release;
  std::string error;
  switch (evaluateRelease(info, "1.3.0", release, error)) {
    case ReleaseVerdict::NotNewer:
      return UpdateStatus::notNewer(info.version).text();
    case ReleaseVerdict::Refused:
      return UpdateStatus::refused(error).text();
    default:
      break;
  }
  if (!downloadInstaller(release, cancel, ready, error)) {
    return UpdateStatus::failed(release.version, error).text();
  }
  return UpdateStatus::ready(release.version).text();
}

// Names of the files in the update folder.
inline std::string updateFolderListing() {
  std::string names;
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW(joinPath(updateDir(), L"*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = entry.cFileName;
    if (name != L"." && name != L"..") names += (names.empty() ? "" : " ") + toUtf8(name);
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  return names;
}

}  // namespace fixtures
