#include "builder/UZipArchive.h"

#include <sys/stat.h>
#include <zip.h>
#include <zlib.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>

#include "common/StrUtil.h"

namespace {

std::string ZipErrorText(int code) {
  zip_error_t e;
  zip_error_init_with_code(&e, code);
  std::string text = zip_error_strerror(&e);
  zip_error_fini(&e);
  return text;
}

std::string BaseName(std::string_view name) {
  const size_t slash = name.find_last_of('/');
  return std::string(slash == std::string_view::npos ? name : name.substr(slash + 1));
}

}  // namespace

TZipArchive::TZipArchive(const std::string& path) : path_(path) {
  // libzip takes an empty file for an empty archive; a download cut to nothing is no archive.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0)
    throw EStatusError(TStatus::Corrupt(path + " is empty, not a zip archive"));
  int code = 0;
  archive_ = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
  if (!archive_) {
    std::string why = ZipErrorText(code);
    if (code == ZIP_ER_NOZIP) why = "not a zip archive (no central directory)";
    const TStatusCode kind = code == ZIP_ER_NOENT                            ? TStatusCode::NotFound
                             : code == ZIP_ER_NOZIP || code == ZIP_ER_INCONS ? TStatusCode::Corrupt
                                                                             : TStatusCode::IOError;
    throw EStatusError(TStatus::WithMessage(kind, "cannot open " + path + ": " + why));
  }
  const zip_int64_t n = zip_get_num_entries(archive_, 0);
  for (zip_int64_t i = 0; i < n; ++i) {
    zip_stat_t s;
    zip_stat_init(&s);
    if (zip_stat_index(archive_, static_cast<zip_uint64_t>(i), 0, &s) != 0) {
      const std::string why = zip_strerror(archive_);
      zip_discard(archive_);
      archive_ = nullptr;
      throw EStatusError(TStatus::Corrupt(path + ": damaged central directory (" + why + ")"));
    }
    TZipMember m;
    m.name = s.name ? s.name : "";
    m.index = static_cast<uint64_t>(i);
    m.method = static_cast<uint16_t>(s.comp_method);
    m.crc = s.crc;
    m.compressedSize = s.comp_size;
    m.size = s.size;
    m.modified = s.mtime;
    members_.push_back(std::move(m));
  }
}

TZipArchive::~TZipArchive() {
  if (archive_) zip_discard(archive_);
}

const TZipMember* TZipArchive::Find(std::string_view name) const {
  const std::string want = AsciiLower(std::string(name));
  for (const auto& m : members_)
    if (AsciiLower(BaseName(m.name)) == want) return &m;
  return nullptr;
}

void TZipArchive::Read(const TZipMember& m,
                       const std::function<void(const char*, size_t)>& sink) const {
  const std::string what = path_ + ": member " + m.name;
  if (m.method != ZIP_CM_STORE && m.method != ZIP_CM_DEFLATE)
    throw EStatusError(TStatus::InvalidArgument(what + " uses compression method " +
                                                std::to_string(m.method) +
                                                ", which is not supported"));
  zip_file_t* f = zip_fopen_index(archive_, m.index, 0);
  if (!f) throw EStatusError(TStatus::Corrupt(what + " cannot be read: " + zip_strerror(archive_)));
  const std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> close(f, zip_fclose);
  std::vector<char> buf(1 << 16);
  uint64_t got = 0;
  for (;;) {
    const zip_int64_t n = zip_fread(f, buf.data(), buf.size());
    if (n < 0) throw EStatusError(TStatus::Corrupt(what + " is damaged: " + zip_file_strerror(f)));
    if (n == 0) break;
    got += static_cast<uint64_t>(n);
    if (got > m.size)
      throw EStatusError(TStatus::Corrupt(what + " is damaged: longer than stated"));
    sink(buf.data(), static_cast<size_t>(n));
  }
  if (got != m.size)
    throw EStatusError(TStatus::Corrupt(what + " is damaged: shorter than stated"));
}

uint32_t Crc32(uint32_t crc, const void* data, size_t size) {
  const auto* p = static_cast<const Bytef*>(data);
  while (size > 0) {
    const uInt n = static_cast<uInt>(std::min<size_t>(size, UINT_MAX));
    crc = static_cast<uint32_t>(crc32(crc, p, n));
    p += n;
    size -= n;
  }
  return crc;
}
