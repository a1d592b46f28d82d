// The assistant pages' resources (RCDATA "TCRASH" + page name) and their parser.
// A page is a form stream ("TPF0", class "TCrash" + name, object name, then properties):
//   page properties      Title, Message, MinWidth, OnAction, Timer, ActiveControl
//   an item              <item> T "TNVButton" | "TNVLabel" | "TNVEdit" | "TNVCheckBox" | "TNVImage"
//   its properties       <item>.<property>, after the item's own line
// The readable sources are crashreport/dialog/pages/*.form (make_settings_stream.py --object).
// Entry point: ParseAssistantPage. Tests: tests/crashreport/dialog/AssistantPagesTest.cpp,
// fuzzer: tests/crashreport/dialog/AssistantPageFuzzer.cpp.
#pragma once

#include <string>
#include <string_view>

#include "crashreport/dialog/Assistant.h"

namespace vm {

struct TAssistantPageParse {
  TNVForm Form;        // built from what was read, also when parsing stopped early
  bool Found = false;  // the bytes started with the page's prefix
  std::string Error;   // "Internal error: Invalid assistant resource (...).", or empty
};

TAssistantPageParse ParseAssistantPage(std::string_view bytes, std::string_view formName);

}  // namespace vm
