// Diagnostic runs: one job, a short text result written to the --out file,
// then the process ends. No mutex, no window, no COM.
#pragma once

#include "app/cmdline.h"

// Returns the process exit code.
int runDiagnostic(const Args& args);
