// Fetching an accepted release's installer into the update folder: streamed
// to a ".part" file, checked for its announced size, renamed, then verified
// by size and SHA-256 and kept open until it is run or dropped.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "update/release.h"
#include "update/verify.h"

constexpr std::uint32_t kInstallerDownloadMs = 600000;  // the whole transfer

// CAIRN_DATA_DIR\update, else the local application data's Cairn\update. Not created.
std::wstring updateDir();
// True when the update folder or the folder of ours it lies in (Cairn, or the
// overriding data folder) is a link: an installer that runs elevated is
// never downloaded into or started from where a link leads.
bool updateDirHoldsLink();
// Deletes every Cairnstone-Setup-* file there that is not held open.
void removeOldInstallers();
// Streams `url` (which must lie on the service) into the new file `target`.
bool downloadFile(const std::wstring& url, const std::wstring& target, std::int64_t maxBytes,
                  std::uint32_t timeoutMs, const std::atomic<bool>* cancel,
                  std::int64_t& bytesWritten, std::string& error);
bool downloadInstaller(const TrustedRelease& release, const std::atomic<bool>* cancel,
                       ReadyInstaller& out, std::string& error);
// "Cairnstone-Setup-" + version + ".exe" in the update folder.
std::wstring installerPath(const std::string& version);
