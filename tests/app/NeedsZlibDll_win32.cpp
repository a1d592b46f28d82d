// Imports zlib1.dll, which no Windows installation has: tests/app's wine.missing_dll_refused
// shows that the Wine harness refuses to start it, as Windows' loader would.
#include <zlib.h>

#include <cstdio>

int main() {
  std::printf("zlib version %s\n", zlibVersion());
  return 0;
}
