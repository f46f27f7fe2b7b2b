// Runs that only talk to an instance that is already running.
#pragma once

#include <windows.h>

#include "app/switches.h"

// --running: 0 when an instance runs, else 1.
int runRunningQuery();
// --quit: asks the instance to close; always 0.
int runQuit();
// --endsession: the instance sees the end of a Windows session; 0 when one
// was found, else 1.
int runEndSession();
enum class Forwarding { Taken, InstanceLeft, GaveUp };
// A later start, whose `mutex` handle found the mutex taken: hands the
// request to the running instance. While that instance has no window yet or
// is about to close, waits (bounded) for the mutex; InstanceLeft means this
// start now owns it and runs as the first instance.
Forwarding forwardToRunningInstance(const StartRequest& request, HANDLE mutex);
