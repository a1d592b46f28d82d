// Stand-ins for the toolkit's forms and application object.
#pragma once

#include <string>
#include <vector>

#include "settings/ConfigForms.h"

namespace vm::test {

class TTestForm : public IConfigForm {
public:
  explicit TTestForm(std::string name, TFormBounds bounds = {100, 100, 425, 158},
                     TWindowState state = TWindowState::wsNormal)
      : FName(std::move(name)), FBounds(bounds), FState(state) {}

  std::string ComponentName() const override { return FName; }
  TFormBounds NormalBounds() const override { return FBounds; }
  void SetNormalBounds(const TFormBounds& bounds) override { FBounds = bounds; }
  TWindowState WindowState() const override { return FState; }
  void SetWindowState(TWindowState state) override { FState = state; }

private:
  std::string FName;
  TFormBounds FBounds;
  TWindowState FState;
};

class TTestApplication : public IConfigApplication {
public:
  std::vector<IConfigForm*> Forms;
  int FormCount() const override { return int(Forms.size()); }
  IConfigForm& Form(int index) override { return *Forms.at(size_t(index)); }
};

}  // namespace vm::test
