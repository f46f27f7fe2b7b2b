// Runs that only talk to an instance that is already running.
#pragma once

#include "app/cmdline.h"

// --running: 0 when an instance runs, else 1.
int runRunningQuery();
// --quit: asks the instance to close; always 0.
int runQuit();
// --endsession: the instance sees the end of a Windows session; 0 when one
// was found, else 1.
int runEndSession();
// A second start: waits up to five seconds for the instance's window, then
// posts the request's one message (if any). Always 0.
int forwardToRunningInstance(const StartRequest& request);
