// Stands in for a running Chrome in the end-to-end tests: holds the "lockfile" of a user-data
// folder the way Chrome does (open for writing, others may only read it, deleted when the
// process ends), prints "ready", and ends when its standard input closes.
//   chromestandin.exe LOCKFILE
#include <windows.h>

#include <shellapi.h>

#include <cstdio>

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc != 2) {
    std::fputs("usage: chromestandin LOCKFILE\n", stderr);
    return 2;
  }
  HANDLE lock = CreateFileW(argv[1], GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (lock == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "cannot hold the lock file: %lu\n", GetLastError());
    return 1;
  }
  std::puts("ready");
  std::fflush(stdout);
  while (std::getchar() != EOF) {
  }
  CloseHandle(lock);
  return 0;
}
