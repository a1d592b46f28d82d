// Veilmark's entry: names the application, creates the main window and runs the loop.
#include <windows.h>

#include "app/FormVeilmark_win32.h"
#include "toolkit/Application_win32.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  vm::Application.Initialize();
  vm::Application.SetTitle("Veilmark");
  vm::TformVeilmark formVeilmark;
  formVeilmark.CreateHandle();
  vm::Application.Run();
  return 0;
}
