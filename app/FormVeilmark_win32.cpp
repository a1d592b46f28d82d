#include "app/FormVeilmark_win32.h"

namespace vm {

namespace {

TFormSpec MainFormSpec() {
  TFormSpec spec;
  spec.ClassName = "TformVeilmark";
  spec.Name = "formVeilmark";
  spec.Caption = "Veilmark";
  spec.ClientWidth = 417;
  spec.ClientHeight = 128;
  spec.MinWidth = 425;
  spec.MinHeight = 158;
  spec.CenterOnFirstShow = true;
  return spec;
}

}  // namespace

TformVeilmark::TformVeilmark() : TForm(MainFormSpec()) {}

}  // namespace vm
