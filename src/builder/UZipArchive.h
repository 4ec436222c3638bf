#pragma once
// Reads the members of a zip archive through libzip (stored or deflated, zip64), streaming their
// bytes in chunks with the size and CRC-32 checked by the library.
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/UStatus.h"

struct TZipMember {
  std::string name;
  uint64_t index = 0;   // in the archive's central directory
  uint16_t method = 0;  // 0 stored, 8 deflated
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t size = 0;
  std::time_t modified = 0;  // as stored (local time of the archive's maker)
};

struct zip;

class TZipArchive {
 public:
  // Opens the archive and reads its central directory; throws EStatusError naming the file and the
  // reason.
  explicit TZipArchive(const std::string& path);
  ~TZipArchive();
  TZipArchive(const TZipArchive&) = delete;
  TZipArchive& operator=(const TZipArchive&) = delete;

  const std::string& Path() const { return path_; }
  const std::vector<TZipMember>& Members() const { return members_; }
  // The member whose file name (the part after the last "/") equals name ignoring ASCII case.
  const TZipMember* Find(std::string_view name) const;
  // Streams the member's bytes to sink in chunks; throws EStatusError naming the member and the
  // reason on a damaged or unsupported member (also when its size or CRC-32 does not match).
  void Read(const TZipMember& member,
            const std::function<void(const char* data, size_t size)>& sink) const;

 private:
  std::string path_;
  zip* archive_ = nullptr;
  std::vector<TZipMember> members_;
};

// CRC-32 (the zip polynomial), continued from crc.
uint32_t Crc32(uint32_t crc, const void* data, size_t size);
