// The progress box: a small window with a title, a line of text, an image and a progress
// bar over weighted steps. It fills the delivery's IProgressBox seam while a report is sent
// and shows "please wait" while a report is being completed. It lives on the thread that
// opens it and pumps that thread's messages whenever it is told of progress, so the
// window paints and the owner stays responsive without a thread of its own. One box at a
// time: while it is open, calls from other threads do nothing.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "crashreport/delivery/DeliverySystem.h"

namespace vm {

class TIProgressAlert : public IProgressBox {
public:
  ~TIProgressAlert() override;

  // IProgressBox: the send box with the large send image.
  void Open(const std::string& title, const std::vector<TProgressStep>& steps, std::uintptr_t parent,
            bool modal) override;
  void Enter(TSendStep step) override;
  void Close() override;

  // The please-wait box (PlWaitTitle, PlWaitText) with its own image and a moving bar.
  void ShowPleaseWait(const std::string& title, const std::string& text, HWND parent);
  void ClosePleaseWait() { Close(); }
  // Shows the please-wait box while `done` is false, at most `timeoutMs`; true when done.
  template <class F>
  bool WaitShowingPleaseWait(const std::string& title, const std::string& text, HWND parent, F done, DWORD timeoutMs);

  // Handles the thread's waiting messages and repaints; bounded, returns at once when idle.
  void Pump();
  HWND Window() const { return FWindow; }
  int Position() const { return FPosition; }  // 0..1000 of the bar

private:
  void Create(const std::string& title, const std::string& text, const char* image, HWND parent, bool modal);
  void SetText(const std::string& text);
  void SetPosition(int position);

  HWND FWindow = nullptr, FText = nullptr, FBar = nullptr, FImage = nullptr, FParent = nullptr;
  HBITMAP FBitmap = nullptr;
  HFONT FFont = nullptr;
  bool FDisabledParent = false;
  std::atomic<DWORD> FOwnerThread{0};  // the thread whose box is open, or 0
  std::vector<TProgressStep> FSteps;
  DWORD FWaitStart = 0;  // the please-wait box's start, 0 for the send box
  int FPosition = 0;
};

// The one box of the process, installed with SetProgressBox() (the dialog calls this at
// install); returns it.
TIProgressAlert& InstallProgressAlert();

template <class F>
bool TIProgressAlert::WaitShowingPleaseWait(const std::string& title, const std::string& text, HWND parent, F done,
                                            DWORD timeoutMs) {
  if (done()) return true;
  ShowPleaseWait(title, text, parent);
  const DWORD start = GetTickCount();
  bool finished = false;
  while (!(finished = done()) && GetTickCount() - start < timeoutMs) {
    Pump();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  ClosePleaseWait();
  return finished;
}

}  // namespace vm
