// The version text of the program being linked. The build compiles this once
// into the shared library (its own version, for the tests) and once more into
// each program with that program's cairn_version.h, so that a program built
// as another version needs nothing else recompiled: its own definition is
// found first and the library's is never pulled in.
#include "base/version.h"

#include "cairn_version.h"

extern const char APP_VERSION[] = CAIRN_VERSION_TEXT;
