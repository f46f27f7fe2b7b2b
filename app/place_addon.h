// --place-addon: the installer's one-job run as the signed-in user. It takes
// the new installation's values over and places the addon and Config.lua;
// when Cairnstone already runs, that instance does the work and answers.
// The exit code says how it went, for the installer's log and finish page.
#pragma once

#include "app/cmdline.h"
#include "game/addon_report.h"

enum class PlaceExit : int {
  Placed = 0,        // the addon and Config.lua are in the game folder
  NoFolder = 1,      // no game folder is known yet
  LinkRefused = 2,   // a link another account made was refused
  AccessDenied = 3,  // Windows refused to write
  DiskFull = 4,
  InUse = 5,
  Failed = 6,
  NoPayload = 7,  // no addon beside the program
  NoAnswer = 8,   // the running instance did not answer in time
};

[[nodiscard]] PlaceExit placeExitOf(const AddonReport& report);
int runPlaceAddon(const Args& args);
