// Every switch of the command line, one row each in switches.cpp: the runs
// that do one job and end, and the switches of an ordinary start with what a
// later start hands to the running instance and what a first instance shows.
// A new switch is a row there and its handler.
#pragma once

#include <windows.h>

#include "app/cmdline.h"

class App;

// A run that does its job and ends without becoming an instance: the
// diagnostic jobs, and the questions and orders to a running instance.
struct RunSwitch {
  const wchar_t* name;
  int (*run)(const Args& args);  // returns the exit code
};
// The first row whose switch is given; null for an ordinary start.
const RunSwitch* selectRun(const Args& args);

// Whether a first instance opens a window (its pictures are then prepared
// while it starts).
enum class FirstWindow { Never, Always, UntilSetupDone };

// A switch of an ordinary start. The rows go in order of precedence: the
// first one given decides what a later start sends, and the first one given
// that a first instance acts on decides what it shows.
struct StartSwitch {
  const wchar_t* name;       // null: the last row, a start with none of the others
  const wchar_t* valueName;  // the switch whose number the row takes; null: none
  int value;                 // the number when valueName is not given
  // What a later start sends: wParam is the number plus wParamBias. WM_NULL
  // only asks whether the instance stays. Rows sending one message take it
  // alike.
  UINT message;
  int wParamBias;
  void (*onRunning)(int number);  // null: the running instance has nothing to do
  // null: a first instance starts as if the switch were not given.
  void (*onFirst)(App& app, int number);
  FirstWindow window;
};

// A row an ordinary start's switches picked, with its number.
struct StartChoice {
  const StartSwitch* row = nullptr;
  int number = 0;
};
struct StartRequest {
  StartChoice forwarded;  // what a later start hands over
  StartChoice shown;      // what a first instance shows
};
StartRequest readStartRequest(const Args& args);

// The one message a later start sends to the running instance.
struct ForwardedMessage {
  UINT message = WM_NULL;
  WPARAM wParam = 0;
};
ForwardedMessage forwardedMessageFor(const StartRequest& request);
// Whether `message` is a later start's request to the running instance.
bool isStartRequest(UINT message);
// The running instance acts on a later start's request.
void takeStartRequest(UINT message, WPARAM wParam);

// The wizard until setup is done, the main window when asked for, else a
// balloon saying the app runs; after an upgrade also the "updated" balloon.
void showFirstView(App& app, const StartRequest& request);
// Whether that first view is a window (the wizard or the main window).
bool firstViewOpensWindow(App& app, const StartRequest& request);
