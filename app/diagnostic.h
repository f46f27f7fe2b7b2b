// Diagnostic runs: one job, a short text result written to the --out file,
// then the process ends. No mutex, no window, no COM.
#pragma once

#include "app/cmdline.h"

// Each returns the process exit code.
// The JSON parser's and writer's surrogate handling, as bytes.
int runJsonTest(const Args& args);
// One update check; with --install it runs the installer made ready.
int runUpdateCheck(const Args& args);
// --verify-release RECORD --file INSTALLER: every check of a real update.
int runVerifyRelease(const Args& args);
