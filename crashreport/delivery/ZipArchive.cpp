#include "crashreport/delivery/ZipArchive.h"

#include <zlib.h>

#include <cstdint>

#include "base/Exception.h"
#include "base/FileIO.h"

namespace vm {

namespace {

void Put16(std::string& out, unsigned v) {
  out += char(v & 0xFF);
  out += char((v >> 8) & 0xFF);
}
void Put32(std::string& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// Raw deflate data (no zlib header), as ZIP members carry it.
bool Deflate(const std::string& in, std::string& out) {
  z_stream z{};
  if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  out.resize(deflateBound(&z, uLong(in.size())));
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = uInt(in.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = uInt(out.size());
  int status = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return status == Z_STREAM_END;
}

}  // namespace

bool WriteZipArchive(const std::string& zipPath, const std::vector<TZipMember>& members) {
  std::string archive, directory;
  for (const TZipMember& m : members) {
    std::string bytes, packed;
    try {
      bytes = ReadFileDenyWrite(m.Path);
    } catch (const Exception&) {
      return false;
    }
    if (bytes.size() > 0xFFFFFFF0u || !Deflate(bytes, packed)) return false;
    const std::uint32_t crc = std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), uInt(bytes.size())));
    const std::uint32_t offset = std::uint32_t(archive.size());
    // Local header: version 2.0, no flags, deflate, a fixed 1980-01-01 time.
    auto common = [&](std::string& out) {
      Put16(out, 20);
      Put16(out, 0);
      Put16(out, 8);
      Put16(out, 0);
      Put16(out, 0x21);
      Put32(out, crc);
      Put32(out, std::uint32_t(packed.size()));
      Put32(out, std::uint32_t(bytes.size()));
      Put16(out, unsigned(m.Name.size()));
      Put16(out, 0);
    };
    Put32(archive, 0x04034b50);
    common(archive);
    archive += m.Name + packed;
    Put32(directory, 0x02014b50);
    Put16(directory, 20);
    common(directory);
    Put16(directory, 0);  // comment
    Put16(directory, 0);  // disk
    Put16(directory, 0);  // internal attributes
    Put32(directory, 0);  // external attributes
    Put32(directory, offset);
    directory += m.Name;
    if (archive.size() > 0xFFFFFF00u) return false;
  }
  std::string end;
  Put32(end, 0x06054b50);
  Put16(end, 0);
  Put16(end, 0);
  Put16(end, unsigned(members.size()));
  Put16(end, unsigned(members.size()));
  Put32(end, std::uint32_t(directory.size()));
  Put32(end, std::uint32_t(archive.size()));
  Put16(end, 0);
  try {
    WriteFileCreate(zipPath, archive + directory + end);
    return true;
  } catch (const Exception&) {
    RemoveFile(zipPath);
    return false;
  }
}

}  // namespace vm
