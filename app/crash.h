// What a crash leaves behind: a minidump in crash\ of the data folder and one
// line in the log, written by a handler that asks for little of a broken
// process (paths, dbghelp and the writer thread made in advance, static
// buffers, none of our locks, the dump written on that thread with its
// whole stack; no DLL loaded and no thread started). The next start says
// so in the log. Nothing is sent anywhere. Windows starts the program again
// after a crash or a restart for updates, until the user quits it.
#pragma once

constexpr int kKeptDumps = 3;

// Once per first instance, before anything else runs: every thread's
// unhandled exception (and an uncaught C++ exception) then writes a dump.
void installCrashHandler();
// Ends the program as a crash does, with its dump (an uncaught C++ exception).
[[noreturn]] void endWithCrash();
// A crash that the previous run left: one log line naming its dump.
void reportPreviousCrash();
// Keeps the `keep` newest dumps in `folder` (their names are their date and
// time); files of other names stay.
void pruneDumps(const wchar_t* folder, int keep);

// Windows starts the program again (--background) after a crash of a run
// that lasted a minute, and after a restart for updates.
void registerRestart();
// A quit the user asked for: the program stays ended.
void withdrawRestart();
