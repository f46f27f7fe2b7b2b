// A worker thread nobody joins: it owns what it was given and ends on its own.
// Made with the Windows thread API rather than std::thread::detach, which with
// MinGW's winpthreads may throw when the thread has already finished.
#pragma once

#include <functional>

// Runs `work` on a new thread; false (and `work` not run) when no thread
// could be made.
bool startDetached(std::function<void()> work);
