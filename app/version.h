// The program's version, shared by the code and the resource script.
#pragma once

#define CAIRN_VERSION_TEXT "1.3.0"
#define CAIRN_VERSION_NUMBERS 1, 3, 0, 0

#ifndef RC_INVOKED
constexpr char APP_VERSION[] = CAIRN_VERSION_TEXT;
#endif
