// A small program that stores (or reads back) a string list and a form's placement
// through the settings manager, so that a script can check the registry from outside
// with `reg query`. Usage: reg_query_probe save|restore <application name>
#include <cstdio>
#include <cstring>
#include <string>

#include "settings/qbxConfig.h"
#include "tests/settings/TestForms.h"

using namespace vm;

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  ConfigManager.ApplicationName = argv[2];
  test::TTestForm form("formProbe", {0, 0, 1, 1});
  if (std::strcmp(argv[1], "save") == 0) {
    const TStringList ids{"11111111-2222-3333-4444-555555555555", "0F1E2D3C-0000-4000-8000-00000000ABCD"};
    if (!ConfigManager.SaveStrings("", "IDBackup", ids)) return 1;
    form.SetNormalBounds({12, 34, 567, 189});
    if (!ConfigManager.SaveFormPlacement(form)) return 1;
    // Closed while maximised: the normal bounds of the save before stay.
    form.SetNormalBounds({0, 0, 1024, 768});
    form.SetWindowState(TWindowState::wsMaximized);
    return ConfigManager.SaveFormPlacement(form) ? 0 : 1;
  }
  TStringList ids;
  bool listFound = ConfigManager.LoadStrings("", "IDBackup", ids);
  bool placed = ConfigManager.RestoreFormPlacement(form);
  const TFormBounds b = form.NormalBounds();
  std::string joined;
  for (const std::string& id : ids.Items()) joined += (joined.empty() ? "" : "|") + id;
  std::printf("IDBackup %d %s\n", int(listFound), joined.c_str());
  std::printf("formProbe %d %d,%d,%d,%d,%d\n", int(placed), b.Left, b.Top, b.Width, b.Height, int(form.WindowState()));
  return 0;
}
