// A stand-in for another program (the game, say): it only idles, for at most
// a minute, until the test ends it.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  Sleep(60000);
  return 0;
}
