// The release program the update tests serve: when started, it leaves a file named after
// itself with ".started" appended, so the test can see that it ran.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char path[MAX_PATH + 16] = "";
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  lstrcpyA(path + n, ".started");
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  CloseHandle(file);
  return 0;
}
