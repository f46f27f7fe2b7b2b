#include "storage/files.h"

#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "base/paths.h"
#include "base/scoped_handle.h"
#include "base/text.h"

namespace {

constexpr DWORD kMoveFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
constexpr int kMoveAttempts = 20;
constexpr int kTemporaryNameAttempts = 16;
constexpr wchar_t kTemporarySuffix[] = L".tmp";
constexpr size_t kProcessIdDigits = 10;  // a DWORD
constexpr size_t kAttemptDigits = 2;
constexpr DWORD kMoveRetryMs = 50;

bool isDotEntry(const wchar_t* name) {
  return (name[0] == L'.' && name[1] == 0) ||
         (name[0] == L'.' && name[1] == L'.' && name[2] == 0);
}

// 0, or the Windows error. A write that moves on by less than it was given
// is written on until it fails, so the error is the disk's own.
DWORD writeAll(HANDLE file, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                   nullptr)) {
      return GetLastError();
    }
    if (written == 0) return ERROR_HANDLE_DISK_FULL;
    done += written;
  }
  return FlushFileBuffers(file) ? ERROR_SUCCESS : GetLastError();
}

DWORD writeFileReporting(const std::wstring& path, const std::string& bytes) {
  ScopedHandle h(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.valid()) return GetLastError();
  return writeAll(h, bytes);
}

// A target held open by another program (a scanner, an editor) may be
// free a moment later; a full disk or a folder in the way will not be.
bool mayPass(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED;
}

// Moves temp over path, retrying while path is held open by someone else;
// on failure temp is removed.
WriteResult moveIntoPlace(const std::wstring& temp, const std::wstring& path) {
  DWORD error = ERROR_SUCCESS;
  for (int attempt = 0; attempt < kMoveAttempts; ++attempt) {
    if (MoveFileExW(temp.c_str(), path.c_str(), kMoveFlags)) return {};
    error = GetLastError();
    if (!mayPass(error)) break;
    Sleep(kMoveRetryMs);
  }
  DeleteFileW(temp.c_str());
  return {WriteStep::Replace, error};
}

}  // namespace

std::wstring dataDir() {
  std::wstring overridden = envVar(L"CAIRN_DATA_DIR");
  if (!overridden.empty()) {
    makeDirs(overridden);
    return overridden;
  }
  std::wstring dir = joinPath(knownFolder(CSIDL_APPDATA), L"Cairn");
  makeDirs(dir);
  return dir;
}

std::wstring knownFolder(int csidl) {
  wchar_t base[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, 0, base))) {
    base[0] = 0;
    GetTempPathW(MAX_PATH, base);
  }
  return base;
}

bool fileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isDirectory(const std::wstring& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool makeDirs(const std::wstring& path) {
  if (path.empty() || isDirectory(path)) return true;
  std::wstring parent = parentPath(path);
  if (!parent.empty() && parent != path && !isDirectory(parent)) makeDirs(parent);
  if (CreateDirectoryW(path.c_str(), nullptr)) return true;
  return GetLastError() == ERROR_ALREADY_EXISTS;
}

bool readWholeFile(const std::wstring& path, std::string& out) {
  return readFileUpTo(path, kMaxReadBytes, out) == ERROR_SUCCESS;
}

unsigned long readFileUpTo(const std::wstring& path, unsigned long long maxBytes,
                           std::string& out) {
  ScopedHandle h(CreateFileW(path.c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.valid()) return GetLastError();
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(h, &size)) return GetLastError();
  if (size.QuadPart < 0 || static_cast<unsigned long long>(size.QuadPart) > maxBytes) {
    return ERROR_FILE_TOO_LARGE;
  }
  out.assign(static_cast<size_t>(size.QuadPart), '\0');
  if (out.empty()) return ERROR_SUCCESS;
  DWORD read = 0;
  if (!ReadFile(h, &out[0], static_cast<DWORD>(out.size()), &read, nullptr)) return GetLastError();
  return read == out.size() ? ERROR_SUCCESS : ERROR_HANDLE_EOF;
}

bool writeWholeFile(const std::wstring& path, const std::string& bytes) {
  return writeFileReporting(path, bytes) == ERROR_SUCCESS;
}

WriteProblem writeProblem(const WriteResult& result) {
  switch (result.error) {
    case ERROR_SUCCESS:
      return result.ok() ? WriteProblem::None : WriteProblem::Other;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return WriteProblem::DiskFull;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return WriteProblem::InUse;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return WriteProblem::Refused;
    default:
      return WriteProblem::Other;
  }
}

std::string describeWrite(const WriteResult& result) {
  const char* step =
      result.failedAt == WriteStep::TempFile ? "writing the temporary file" : "replacing the file";
  return sformat("%s failed (%lu)", step, result.error);
}

WriteResult replaceFileAtomic(const std::wstring& path, const std::string& bytes) {
  const std::wstring temp = path + L".tmp";
  const DWORD written = writeFileReporting(temp, bytes);
  if (written != ERROR_SUCCESS) {
    DeleteFileW(temp.c_str());  // never a half-written file beside the old one
    return {WriteStep::TempFile, written};
  }
  return moveIntoPlace(temp, path);
}

std::wstring temporaryName(const std::wstring& path, int attempt) {
  return path + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt) +
         kTemporarySuffix;
}

unsigned long temporaryNameOwner(const std::wstring& name) {
  // "<target>.<process>-<attempt>.tmp"
  const size_t suffix = name.size() - std::min(name.size(), wcslen(kTemporarySuffix));
  if (suffix == 0 || name.compare(suffix, std::wstring::npos, kTemporarySuffix) != 0) return 0;
  const size_t dot = name.rfind(L'.', suffix - 1);
  const size_t dash = name.find(L'-', dot == std::wstring::npos ? 0 : dot);
  if (dot == std::wstring::npos || dot == 0 || dash == std::wstring::npos || dash > suffix)
    return 0;
  const std::wstring process = name.substr(dot + 1, dash - dot - 1);
  const std::wstring attempt = name.substr(dash + 1, suffix - dash - 1);
  const auto digits = [](const std::wstring& text, size_t most) {
    return !text.empty() && text.size() <= most &&
           text.find_first_not_of(L"0123456789") == std::wstring::npos;
  };
  if (!digits(process, kProcessIdDigits) || !digits(attempt, kAttemptDigits)) return 0;
  const unsigned long long owner = std::stoull(process);
  if (std::stoi(attempt) >= kTemporaryNameAttempts || owner == 0 || owner > MAXDWORD) return 0;
  return static_cast<unsigned long>(owner);
}

WriteResult replaceFileNoFollow(const std::wstring& path, const std::string& bytes) {
  // Only a file made here is written or removed: a name already taken, by
  // whatever (a link, a leftover), is passed over, never opened or deleted.
  std::wstring temp;
  ScopedHandle h;
  DWORD error = ERROR_SUCCESS;
  for (int attempt = 0; attempt < kTemporaryNameAttempts && !h.valid(); ++attempt) {
    temp = temporaryName(path, attempt);
    h.reset(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL, nullptr));
    error = GetLastError();
    if (!h.valid() && error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      return {WriteStep::TempFile, error};
    }
  }
  if (!h.valid()) return {WriteStep::TempFile, error};
  error = writeAll(h, bytes);
  h.reset();
  if (error != ERROR_SUCCESS) {
    DeleteFileW(temp.c_str());
    return {WriteStep::TempFile, error};
  }
  return moveIntoPlace(temp, path);
}

std::vector<FolderEntry> listFolder(const std::wstring& folder) {
  std::vector<FolderEntry> entries;
  WIN32_FIND_DATAW entry;
  ScopedFind find(FindFirstFileW(joinPath(folder, L"*").c_str(), &entry));
  if (!find.valid()) return entries;
  do {
    if (!isDotEntry(entry.cFileName)) entries.push_back({entry.cFileName, entry.dwFileAttributes});
  } while (FindNextFileW(find, &entry));
  return entries;
}
