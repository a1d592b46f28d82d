// What the stack capture collects for each thread, before the report record lays it out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "crashreport/report/ReportRecords.h"

namespace vm {

struct TThreadFacts {
  TThreadRecord Thread;  // id, name, class, state, current address, creator
  bool StackReadable = true;
  std::vector<TStackItem> Items;  // innermost first
  // The walk failed (a fault in the reporter): the step and the reporter's own stack.
  struct TFailure {
    std::string Step;
    std::vector<TStackItem> OwnStack;
  };
  std::optional<TFailure> Failure;
};

}  // namespace vm
