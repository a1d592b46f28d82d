#include "crashreport/settings/CrashSettingsDefaults.h"

#include "crashreport/settings/CrashSettingsKeys.h"

namespace vm {

namespace {

TCrashPropertyList BuildDefaults() {
  TCrashPropertyList list;
  auto boolean = [&](const char* name, bool v) { list.Add({name, TPropertyKind::Boolean, v, 0, {}}); };
  auto integer = [&](const char* name, int v) { list.Add({name, TPropertyKind::Integer, false, v, {}}); };
  auto text = [&](const char* name, const char* v) { list.Add({name, TPropertyKind::Text, false, 0, v}); };
#define VM_DEFAULT_B(name, value) boolean(#name, value);
#define VM_DEFAULT_I(name, value) integer(#name, value);
#define VM_DEFAULT_T(name, value) text(#name, value);
  VM_CRASH_SETTINGS(VM_DEFAULT_B, VM_DEFAULT_I, VM_DEFAULT_T)
#undef VM_DEFAULT_B
#undef VM_DEFAULT_I
#undef VM_DEFAULT_T
  return list;
}

}  // namespace

const TCrashPropertyList& CrashSettingsDefaults() {
  // Never destroyed: the crash reporter still reads settings while static objects end at exit.
  static const TCrashPropertyList& defaults = *new TCrashPropertyList(BuildDefaults());
  return defaults;
}

}  // namespace vm
