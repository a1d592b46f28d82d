// TMyRegistry: the registry object of the settings store. Adds to TRegistry the choice of
// the 32-bit or 64-bit view, a read-only open that falls back to weaker rights, and value
// kinds for every registry type, multi-string values above all; and the four small
// functions built on it. Tests: tests/settings/RegistryTableTest.cpp (its MultiString cases too).
#pragma once

#include <cstdint>
#include <string>

#include "settings/Registry.h"

namespace vm {

class TStringList;

// A value's kind: one byte that maps to and from the registry's type numbers.
enum TRegKind : std::uint8_t {
  rkUnknown = 0,
  rkNone = 1,
  rkString = 2,
  rkExpandString = 3,
  rkBinary = 4,
  rkInteger = 5,
  rkIntegerLE = 6,
  rkIntegerBE = 7,
  rkLink = 8,
  rkMultiString = 9,
  rkResourceList = 10,
  rkFullResourceDescriptor = 11,
  rkResourceRequirementsList = 12,
  rkQWord = 13,
  rkQWordLE = 14,
  rkIntegerAlt = 15,
};

// The registry type a kind is written as (the kind's top bit is ignored).
std::uint32_t KindToRegType(std::uint8_t kind);
// The kind a registry type reads as; rkUnknown for types outside the table.
TRegKind RegTypeToKind(std::uint32_t type);

// Multi-string data and its text: lines joined with CR LF on one side, each string
// followed by a NUL and one more NUL at the end on the other.
std::string MultiStringFromText(const std::string& text);
std::string TextFromMultiString(const std::string& data);

class TMyRegistry : public TRegistry {
public:
  TMyRegistry() = default;

  std::uint8_t View() const { return FView; }
  // 32 or 64; anything else raises "Windows Registry only supported with 32 or 64 bits!".
  virtual void SetView(int view);

  bool OpenForWrite(const std::string& key, bool canCreate);
  bool OpenReadOnly(const std::string& key, bool explicitRelativity = false, bool relative = false);
  bool KeyExistsInView(const std::string& key);

  bool GetValueInfo(const std::string& name, TRegKind& kind, std::uint32_t& regType, int& size);
  TRegKind GetValueKind(const std::string& name);
  void PutKindData(const std::string& name, const void* data, std::uint8_t kind, int size);
  int GetKindData(const std::string& name, void* buffer, std::uint8_t& kind, int size);

  std::string ReadMultiString(const std::string& name);
  void WriteMultiString(const std::string& name, const std::string& text);

private:
  // Access mask with the view's bits: 32 drops KEY_WOW64_64KEY, 64 drops KEY_WOW64_32KEY
  // and adds KEY_WOW64_64KEY. The 32-bit view is the process's default view.
  std::uint32_t AccessForView(std::uint32_t access) const;
  // The view bits that an open in the current view combines with its rights.
  std::uint32_t ViewBits() const;
  THKey BaseForOpen(std::string& path, bool explicitRelativity, bool relative, bool& isRelative) const;

  std::uint8_t FView = 32;
};

bool RegReadText(THKey root, const std::string& key, const std::string& name, std::string& text, int view = 32);
bool RegWriteValue(THKey root, const std::string& key, const std::string& name, const std::string& text, TRegKind kind,
                   int view = 32);
bool RegWriteStrings(THKey root, const std::string& key, const std::string& name, const TStringList& strings);
// Selector 0: the 32-bit view; 1: the 64-bit view; anything else: the default view.
bool RegKeyExistsView(THKey root, const std::string& key, int viewSelector);

}  // namespace vm
