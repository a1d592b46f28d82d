// The byte sinks a download writes into: a memory stream for small texts, and (on Windows)
// a file. Each write either takes every byte or raises "Stream write error".
#pragma once

#include <cstddef>
#include <string>

namespace vm {

class TStream {
public:
  virtual ~TStream() = default;
  virtual void Write(const void* data, size_t size) = 0;
  virtual void SeekStart() = 0;
};

class TMemoryStream : public TStream {
public:
  void Write(const void* data, size_t size) override;
  void SeekStart() override { FPosition = 0; }
  const std::string& Data() const { return FData; }
  // The bytes from the current position to the end.
  std::string Rest() const { return FData.substr(FPosition); }

private:
  std::string FData;
  size_t FPosition = 0;
};

}  // namespace vm
