#include "update/download.h"

#include <windows.h>

#include <shlobj.h>

#include "base/paths.h"
#include "base/scoped_handle.h"
#include "base/text.h"
#include "net/http.h"
#include "storage/files.h"
#include "storage/log.h"
#include "update/service.h"

namespace {

constexpr wchar_t kInstallerPrefix[] = L"Cairnstone-Setup-";
constexpr wchar_t kPartSuffix[] = L".part";

std::wstring installerName(const std::string& version) {
  return kInstallerPrefix + toWide(version) + L".exe";
}

}  // namespace

std::wstring updateDir() {
  const std::wstring overridden = envVar(L"CAIRN_DATA_DIR");
  if (!overridden.empty()) return joinPath(overridden, L"update");
  const std::wstring base = knownFolder(CSIDL_LOCAL_APPDATA);
  // Never a folder relative to wherever the process happens to stand: an
  // elevated installer is started from here.
  if (base.empty()) return {};
  return joinPath(joinPath(base, L"Cairn"), L"update");
}

bool updateDirHoldsLink() {
  const std::wstring folder = updateDir();
  if (folder.empty()) return false;
  for (const std::wstring& step : {parentPath(folder), folder}) {
    const DWORD attributes = GetFileAttributesW(step.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      return true;
    }
  }
  return false;
}

std::wstring installerPath(const std::string& version) {
  return joinPath(updateDir(), installerName(version));
}

void removeOldInstallers() {
  const std::wstring folder = updateDir();
  if (folder.empty()) return;
  WIN32_FIND_DATAW entry;
  ScopedFind find(
      FindFirstFileW(joinPath(folder, std::wstring(kInstallerPrefix) + L"*").c_str(), &entry));
  if (!find.valid()) return;
  int removed = 0;
  do {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (DeleteFileW(joinPath(folder, entry.cFileName).c_str())) ++removed;
  } while (FindNextFileW(find, &entry));
  find.reset();
  if (removed > 0) logLine(sformat("update: removed %d old installer file(s)", removed));
}

bool downloadFile(const std::wstring& url, const std::wstring& target, std::int64_t maxBytes,
                  std::uint32_t timeoutMs, const std::atomic<bool>* cancel,
                  std::int64_t& bytesWritten, std::string& error) {
  bytesWritten = 0;
  if (!isServiceUrl(url)) {
    error = "the download is not on " + toUtf8(apiBase());
    return false;
  }
  api::HttpOpts opts;
  opts.noRedirects = true;
  opts.downloadPath = target;
  opts.maxBytes = maxBytes;
  const HttpResult r = httpCall(L"GET", url, {{"Accept", "application/octet-stream"}},
                                std::string(), timeoutMs, cancel, opts);
  if (r.status == HTTP_STATUS_OK) {
    bytesWritten = r.bytesWritten;
    return true;
  }
  if (r.status != 0) {
    error = sformat("server status %d", r.status);
  } else {
    error = r.error.empty() ? "network error" : r.error;
  }
  DeleteFileW(target.c_str());
  return false;
}

bool downloadInstaller(const TrustedRelease& release, const std::atomic<bool>* cancel,
                       ReadyInstaller& out, std::string& error) {
  const std::wstring folder = updateDir();
  if (updateDirHoldsLink()) {
    error = "the update folder " + toUtf8(folder) + " is reached through a link";
    return false;
  }
  if (folder.empty() || !makeDirs(folder)) {
    error = "cannot make the folder " + toUtf8(folder);
    return false;
  }
  const std::wstring finalPath = joinPath(folder, installerName(release.version));
  const std::wstring partPath = finalPath + kPartSuffix;
  DeleteFileW(finalPath.c_str());
  DeleteFileW(partPath.c_str());
  std::int64_t received = 0;
  std::string failure;
  if (!downloadFile(release.url, partPath, release.size, kInstallerDownloadMs, cancel, received,
                    failure)) {
    error = "download failed: " + failure;
    return false;
  }
  if (received != release.size) {
    DeleteFileW(partPath.c_str());
    error = sformat("the download has %lld bytes, the release %lld",
                    static_cast<long long>(received), static_cast<long long>(release.size));
    return false;
  }
  if (!MoveFileExW(partPath.c_str(), finalPath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    const DWORD code = GetLastError();
    DeleteFileW(partPath.c_str());
    error = sformat("cannot rename the download (%lu)", code);
    return false;
  }
  return verifyInstallerFile(finalPath, release, out, error);
}
