// Veilmark's main window.
#pragma once

#include "toolkit/Form_win32.h"

namespace vm {

class TformVeilmark : public TForm {
public:
  TformVeilmark();
};

}  // namespace vm
