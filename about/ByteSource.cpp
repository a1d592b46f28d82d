#include "about/ByteSource.h"

namespace vm {

namespace {

bool InRange(uint64_t offset, size_t count, uint64_t size) { return offset <= size && count <= size - offset; }

}  // namespace

bool TMemorySource::ReadAt(uint64_t offset, size_t count, std::string& out) const {
  if (!InRange(offset, count, FBytes.size())) return false;
  out.assign(FBytes.substr(size_t(offset), count));
  return true;
}

TFileSource::TFileSource(const std::string& path) : FStream(path, std::ios::binary) {
  if (!FStream) return;
  FStream.seekg(0, std::ios::end);
  std::streamoff end = FStream.tellg();
  if (!FStream || end < 0) return;
  FSize = uint64_t(end);
  FOpen = true;
}

bool TFileSource::ReadAt(uint64_t offset, size_t count, std::string& out) const {
  if (!FOpen || !InRange(offset, count, FSize)) return false;
  out.resize(count);
  FStream.clear();
  FStream.seekg(std::streamoff(offset));
  FStream.read(out.data(), std::streamsize(count));
  return FStream.gcount() == std::streamsize(count);
}

}  // namespace vm
