// The application object: its title, the forms it owns in creation order, the message
// loop, and the single funnel that every exception escaping a callback from Windows ends in.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "settings/ConfigForms.h"

namespace vm {

class TForm;

class TApplication : public IConfigApplication {
public:
  using TExceptionHandler = std::function<void(std::exception_ptr)>;

  // Loads the common controls; call once before the first form.
  void Initialize();

  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& title) { FTitle = title; }

  // Forms register themselves when constructed; the first one is the main form.
  const std::vector<TForm*>& Forms() const { return FForms; }
  TForm* MainForm() const { return FMainForm; }
  void AddForm(TForm* form);
  void RemoveForm(TForm* form);
  int FormCount() const override { return int(FForms.size()); }
  IConfigForm& Form(int index) override;

  // Shows the main form and pumps messages until it is destroyed.
  void Run();
  // Handles one message: dialog navigation for our forms, then dispatch.
  void Dispatch(MSG& msg);

  // The exception funnel. Until a handler is installed (the crash reporter does so), the
  // error text is shown in a box captioned "Error" and the program goes on.
  void HandleException(std::exception_ptr error) noexcept;
  void SetExceptionHandler(TExceptionHandler handler) { FExceptionHandler = std::move(handler); }

private:
  std::string FTitle;
  std::vector<TForm*> FForms;
  TForm* FMainForm = nullptr;
  TExceptionHandler FExceptionHandler;
};

extern TApplication Application;

// The message of any exception: our own, a standard one, or an unknown one.
std::string ExceptionMessage(std::exception_ptr error);

}  // namespace vm
