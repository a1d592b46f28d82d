// Fuzzes what the settings store reads from a registry that other programs write too:
// values of any type and bytes read as lists, and key paths of any shape in both views.
// Mode byte 0: the rest is a value's type and data, read through every reader.
// Mode byte 1: the rest is a script of opens, creates, writes and lookups.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/StringList.h"
#include "settings/MemoryRegistry.h"
#include "settings/MyRegistry.h"
#include "settings/rqMulticonfigRead.h"

using namespace vm;

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void ReadValue(TMemoryRegistry& model, std::uint32_t type, const std::string& data) {
  THKey key = 0;
  Check(model.CreateKey(kHKeyCurrentUser, "Software\\Fuzz", kKeyAllAccess, key) == kErrorSuccess);
  Check(model.SetValue(key, "v", type, data.data(), std::uint32_t(data.size())) == kErrorSuccess);
  model.CloseKey(key);

  TStringList list;
  bool isList = ReadConfigStrings({kHKeyLocalMachine, kHKeyCurrentUser}, {"\\Software\\Fuzz\\"}, "v", list);
  Check(isList == (type == kRegMultiSz));
  std::int32_t number = 0;
  Check(ReadConfigInteger({kHKeyCurrentUser}, {"\\Software\\Fuzz"}, "v", number) ==
        (type == kRegDword && data.size() == 4));
  std::string text;
  try {
    RegReadText(kHKeyCurrentUser, "\\Software\\Fuzz", "v", text);
  } catch (const ERegistryException&) {
  }
  // Lists that hold no line breaks come back as they were stored.
  if (type == kRegMultiSz && !data.empty() && data.back() == '\0' && data.find_first_of("\r\n") == std::string::npos)
    Check(MultiStringFromText(TextFromMultiString(data)) == data);
}

void RunScript(TMemoryRegistry& model, const std::uint8_t* p, size_t size) {
  TMyRegistry reg;
  const THKey roots[] = {kHKeyCurrentUser, kHKeyLocalMachine, kHKeyUsers, kHKeyClassesRoot};
  size_t i = 0;
  auto next = [&] { return i < size ? p[i++] : std::uint8_t(0); };
  while (i < size) {
    const std::uint8_t op = next();
    const std::uint8_t length = next() % 24;
    std::string path;
    for (std::uint8_t k = 0; k < length && i < size; ++k) {
      const char c = char(next());
      path += c % 5 == 0 ? '\\' : char('a' + std::uint8_t(c) % 4);
    }
    try {
      switch (op % 8) {
        case 0:
          reg.SetRootKey(roots[next() % 4]);
          break;
        case 1:
          reg.SetView(next() % 2 ? 64 : 32);
          break;
        case 2:
          reg.OpenForWrite(path, true);
          break;
        case 3:
          reg.OpenReadOnly(path, next() & 1, next() & 1);
          break;
        case 4:
          reg.KeyExistsInView(path);
          break;
        case 5:
          if (reg.CurrentKey()) reg.WriteMultiString(path, path);
          break;
        case 6: {
          TStringList names;
          reg.GetKeyNames(names);
          break;
        }
        case 7:
          if (reg.CurrentKey()) reg.ReadMultiString(path);
          break;
      }
    } catch (const ERegistryException&) {
    }
  }
  (void)model;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size < 2) return 0;
  TMemoryRegistry model;
  {
    TUseRegistryApi use(model);
    if (data[0] % 2 == 0)
      ReadValue(model, data[1] % 12, std::string(reinterpret_cast<const char*>(data + 2), size - 2));
    else
      RunScript(model, data + 1, size - 1);
  }
  Check(model.OpenHandleCount() == 0);  // every registry object closed what it opened
  return 0;
}
