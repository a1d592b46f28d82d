// Bounded random access to the bytes of a file or a buffer, so that the PE reader never
// needs a whole (possibly huge) executable in memory and can be fuzzed on plain buffers.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

namespace vm {

class TByteSource {
public:
  virtual ~TByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Fills `out` with exactly `count` bytes from `offset`; false when they are not all there.
  virtual bool ReadAt(uint64_t offset, size_t count, std::string& out) const = 0;
};

class TMemorySource : public TByteSource {
public:
  explicit TMemorySource(std::string_view bytes) : FBytes(bytes) {}
  uint64_t Size() const override { return FBytes.size(); }
  bool ReadAt(uint64_t offset, size_t count, std::string& out) const override;

private:
  std::string_view FBytes;
};

// Reads a file opened for reading; others may go on reading and writing it meanwhile.
class TFileSource : public TByteSource {
public:
  explicit TFileSource(const std::string& path);
  bool IsOpen() const { return FOpen; }
  uint64_t Size() const override { return FSize; }
  bool ReadAt(uint64_t offset, size_t count, std::string& out) const override;

private:
  mutable std::ifstream FStream;
  uint64_t FSize = 0;
  bool FOpen = false;
};

}  // namespace vm
