// The details view of the error dialog: a tab control above a content area, a list view
// with columns for tables and a read-only fixed-pitch edit for texts. The dialog owns the
// fonts and the layout; the view keeps the user's tab (and its scroll position) across
// refreshes. The controls sit in a window of the view's own, which receives their
// notifications itself.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "crashreport/dialog/DetailsTabs.h"

namespace vm {

class TDetailsView {
public:
  TDetailsView(HWND parent, HFONT textFont, HFONT fixedFont);
  ~TDetailsView();
  TDetailsView(const TDetailsView&) = delete;
  TDetailsView& operator=(const TDetailsView&) = delete;

  void Place(const RECT& area);             // the dialog's layout gives the area
  void Show(const std::string& bugReport);  // first fill, and refresh keeping the tab
  std::string CurrentText() const;          // the current tab's content, for Ctrl+C
  bool HandleNotify(LPARAM lParam);         // the dialog forwards WM_NOTIFY; true when handled
  // A notification of the view's controls; `result` is the window procedure's answer.
  bool Notify(const NMHDR* header, LRESULT& result);

  HWND Window() const { return FHost; }
  HWND TabWindow() const { return FTabs; }
  HWND ListWindow() const { return FList; }
  HWND TextWindow() const { return FText; }
  int CurrentTab() const { return FCurrent; }

private:
  void ShowTab(int index, bool keepScroll);
  void FillList(const TDetailsTab& tab);
  LRESULT DrawListRow(const NMLVCUSTOMDRAW* draw);

  HWND FParent, FHost = nullptr, FTabs = nullptr, FList = nullptr, FText = nullptr;
  HFONT FTextFont, FFixedFont;
  RECT FArea{};
  std::vector<TDetailsTab> FContent;
  int FCurrent = 0;
  bool FShown = false;
};

}  // namespace vm
