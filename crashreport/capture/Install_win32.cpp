// Installation in two stages. A program's static objects are made before its main function,
// and a throw or a fault in one of their constructors must end in the reporter as well: the
// capture points are taken by an object made before all of them, which this file brings
// into every program that calls InstallCrashReporter. That call, once the program runs,
// adds what needs the program's own objects: the toolkit's funnel and the freeze watchdog.
#include "crashreport/CrashReporter.h"
#include "crashreport/capture/Capture_win32.h"

// The first priority that the toolchains leave to programs (the lower ones are theirs).
#if defined(_MSC_VER)
#pragma init_seg(lib)
#define VM_BEFORE_PROGRAM_OBJECTS
#else
#define VM_BEFORE_PROGRAM_OBJECTS __attribute__((init_priority(101)))
#endif

namespace vm::capture {

namespace {

struct TEarlyInstall {
  TEarlyInstall() { InstallCapturePoints(); }
};
TEarlyInstall EarlyInstall VM_BEFORE_PROGRAM_OBJECTS;

}  // namespace

}  // namespace vm::capture

namespace vm {

void InstallCrashReporter() {
  capture::InstallCapturePoints();
  capture::InstallProgramStage();
}

}  // namespace vm
