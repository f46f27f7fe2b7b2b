// The data folder and whole-file operations: reading, replacing writes that
// leave the old file whole on failure, removing trees without following
// links. Free functions, no state; failures are results (false, an empty
// string, a count of zero), never exceptions.
#pragma once

#include <functional>
#include <string>
#include <vector>

// Limits of the helpers below.
constexpr unsigned long long kMaxReadBytes = 0x10000000;  // 256 MiB

// The data folder: CAIRN_DATA_DIR exactly as given, else %APPDATA%\Cairn.
// Created when missing; computed afresh on every call.
std::wstring dataDir();
// A shell folder (CSIDL_APPDATA, CSIDL_LOCAL_APPDATA), made when missing; the
// temporary folder when the shell has none, empty when neither is known.
std::wstring knownFolder(int csidl);

bool fileExists(const std::wstring& path);
bool isDirectory(const std::wstring& path);
bool makeDirs(const std::wstring& path);
bool readWholeFile(const std::wstring& path, std::string& out);
// The same for a file of at most maxBytes: 0, or the Windows error
// (ERROR_FILE_TOO_LARGE past the limit).
unsigned long readFileUpTo(const std::wstring& path, unsigned long long maxBytes,
                           std::string& out);
bool writeWholeFile(const std::wstring& path, const std::string& bytes);

// How a replacing write ended: where it failed and the Windows error.
enum class WriteStep { Done, TempFile, Replace };
struct WriteResult {
  WriteStep failedAt = WriteStep::Done;
  unsigned long error = 0;
  bool ok() const { return failedAt == WriteStep::Done; }
  explicit operator bool() const { return ok(); }
};
// What a user can be told of a failed write, in a few words.
enum class WriteProblem { None, DiskFull, InUse, Refused, Other };
WriteProblem writeProblem(const WriteResult& result);
// "writing the temporary file failed (112)" or "replacing the file failed
// (5)", for the log.
std::string describeWrite(const WriteResult& result);

// Writes path + ".tmp" and moves it over path, retrying while the target is
// held open by someone else (about one second in all). A failed write
// leaves the old file whole and no temporary file beside it.
WriteResult replaceFileAtomic(const std::wstring& path, const std::string& bytes);
// The same for a folder others may change: the temporary file is one made
// anew under a name of this process (a name already taken is passed over,
// never opened or removed), and moving it over path replaces a link there
// rather than writing where it points.
WriteResult replaceFileNoFollow(const std::wstring& path, const std::string& bytes);
// The temporary name replaceFileNoFollow tries at each attempt (0, 1, ...).
std::wstring temporaryName(const std::wstring& path, int attempt);
// The process whose temporaryName `name` (a file name, no folder) is; 0 when
// it is no name temporaryName makes.
unsigned long temporaryNameOwner(const std::wstring& name);
// A folder given as a base folder, taken as its path says, and the names of
// the folders below it down to this one: each of those is opened through
// the one before as itself, so none is reached through a link (a link
// among them makes the place unreachable).
struct PlaceBelow {
  std::wstring base;
  std::vector<std::wstring> names;
};

// Called by removeTree with each folder's path once its entries were read
// and before any of them goes; the tests change the tree there.
using AfterListing = std::function<void(const std::wstring& folder)>;
// Removes a folder and everything below it; true when the folder is gone.
// Each folder is held open and read through its handle, each entry opened
// through its held folder as itself and deleted by its handle. A link
// (junction, symbolic link), met anywhere or given as `folder`, is removed
// itself and never entered; an entry that is no longer what the listing
// read (swapped since) is left, and so is one listed as a link that the
// system opens as its target. Only `folder`'s parent is reached by its path.
bool removeTree(const std::wstring& folder, const AfterListing& afterListing = nullptr);
bool removeTree(const PlaceBelow& folder, const AfterListing& afterListing = nullptr);

// A folder's entry as a listing read it.
struct FolderEntry {
  std::wstring name;
  unsigned long attributes;  // FILE_ATTRIBUTE_* as the listing gave them
  unsigned long long id = 0;  // the file's index; 0: not known, not compared
};
// The entries of a folder but "." and ".."; empty when it cannot be listed.
std::vector<FolderEntry> listFolder(const std::wstring& folder);
// Removes the listed entries below folder as removeTree removes them (each
// opened and checked anew), then the folder itself; true when it is gone.
bool removeFolderEntries(const std::wstring& folder, const std::vector<FolderEntry>& entries);
// Removes what a crash may have left of the replacing writes above, in
// `folder` and the folders below it: each target's name + ".tmp"
// (replaceFileAtomic's) and temporaryName's names of processes that no
// longer run. Only regular files go, by their handles; a link is neither
// removed nor entered. Returns how many went.
int removeLeftoverTemporaries(const std::wstring& folder, const std::vector<std::wstring>& targets);
int removeLeftoverTemporaries(const PlaceBelow& folder, const std::vector<std::wstring>& targets);
// Removes prefix001 ... prefix150 below parent (folders and links to
// folders); returns how many went.
int removeNumberedFolders(const std::wstring& parent, const std::wstring& prefix);
int removeNumberedFolders(const PlaceBelow& parent, const std::wstring& prefix);
