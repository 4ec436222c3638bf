#pragma once
// Reads the members of a zip archive (stored or deflated, zip64 sizes and offsets), streaming
// their bytes in chunks with the size and CRC-32 checked. No compression library needed.
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/IOUtil.h"

class EZipError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TZipMember {
  std::string name;
  uint16_t method = 0;  // 0 stored, 8 deflated
  uint16_t flags = 0;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t size = 0;
  uint64_t localHeaderOffset = 0;
};

class TZipArchive {
 public:
  // Opens the archive and reads its central directory; throws EZipError.
  explicit TZipArchive(const std::string& path);

  const std::vector<TZipMember>& Members() const { return members_; }
  // The member whose file name (the part after the last "/") equals name ignoring ASCII case.
  const TZipMember* Find(std::string_view name) const;
  // Streams the member's bytes to sink in chunks; throws EZipError on a damaged or unsupported
  // member (also when its size or CRC-32 does not match).
  void Read(const TZipMember& member,
            const std::function<void(const char* data, size_t size)>& sink) const;

 private:
  std::string path_;
  mutable TReadOnlyFile file_;
  std::vector<TZipMember> members_;
};

// Raw deflate data (RFC 1951) decoded in one piece; throws EZipError. For tests and small data.
std::string InflateRaw(std::string_view compressed);
// CRC-32 (the zip polynomial), continued from crc.
uint32_t Crc32(uint32_t crc, const void* data, size_t size);
