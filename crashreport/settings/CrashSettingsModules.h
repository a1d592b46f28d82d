// Finding, parsing and sharing the settings record of a module.
// Entry points: LoadSettingsRecord (one module's record, errors reported) and the chain
// operations on the shared block. Tests: tests/crashreport/settings/CrashSettingsTest.cpp.
#pragma once

#include <optional>
#include <string>

#include "crashreport/settings/CrashSettingsBlock.h"

namespace vm {

// The module's record parsed, or nothing when the module carries no settings resource.
// A record that does not parse cleanly keeps the properties read before the fault and
// shows the reporter's internal-error box; one with another prefix yields an empty list.
std::optional<TCrashPropertyList> LoadSettingsRecord(TModuleHandle module);

// The program's own record, as the reporter sees it (for checks of the shipped program).
std::optional<TCrashPropertyList> LoadProgramSettingsRecord();

// The record in the readable form of the record's source file: one "Key Type Value" line
// per property, texts quoted with inner quotes doubled.
std::string FormatSettingsRecord(const TCrashPropertyList& properties);

// Takes a reference to the module's settings in the chain, parsing its record on first
// use; nullptr when the module has no record. Runs under the block's lock.
TModuleSettings* AcquireModuleSettings(TSettingsBlockRef& block, TModuleHandle module);
void ReleaseModuleSettings(TSettingsBlockRef& block, TModuleSettings* settings);
// Drops in-memory changes: parses the module's record again.
void ReloadModuleSettings(TSettingsBlockRef& block, TModuleSettings* settings);

// The settings provider of the process: a module whose settings stand in for the built-in
// defaults of every other module.
bool RegisterSettingsProvider(TModuleHandle module);
void UnregisterSettingsProvider(TModuleHandle module);

}  // namespace vm
