// Links in tests. Windows makes symbolic links and junctions; Wine 8 makes
// neither (its CreateSymbolicLinkW makes nothing), but it follows a Unix
// symbolic link inside its drives as Windows follows a junction, and its
// folder listings report one to a folder as a reparse point. So a test makes
// Windows' own link where it can and a Unix one under Wine.
#pragma once

#include <string>

// The Unix path Wine maps a Windows path to; empty outside Wine.
std::string unixPath(const std::wstring& path);
// Runs `/bin/sh -c command` on the Unix side; false outside Wine or when the
// command fails. The command must not hold a double quote.
bool runUnixShell(const std::string& command);
// A Unix path quoted for the shell.
std::string shellQuoted(const std::string& path);
// A symbolic link at `link` to `target` (a folder or a file), of whichever
// kind the system makes; false when none could be made.
bool makeLink(const std::wstring& link, const std::wstring& target, bool folder);
// True when the system reports `path` itself as a link (a reparse point).
bool reportedAsLink(const std::wstring& path);
// Removes a link made by makeLink, never what it points at.
bool removeLinkItself(const std::wstring& link);
// Whether this system opens a link as itself when asked to (Windows does;
// Wine 8 opens a Unix link's target), tried on a link made for the purpose.
bool linksOpenAsThemselves();
