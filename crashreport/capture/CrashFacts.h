// What the stack capture collects for each thread, before the report record lays it out.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "crashreport/report/ReportRecords.h"

namespace vm {

struct TThreadFacts {
  TThreadRecord Thread;       // id, name, class, state, current address, creator
  bool StackReadable = true;
  std::vector<TStackItem> Items;  // innermost first
};

}  // namespace vm
