// The program's version ("1.3.0"): log lines, version bookkeeping, the
// User-Agent and update checks. The build sets it (CAIRN_VERSION) and links
// it into each program from app/version.cpp.
#pragma once

extern const char APP_VERSION[];
