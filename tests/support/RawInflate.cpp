#include "RawInflate.h"

#include <zlib.h>

#include <memory>

#include "builder/UZipArchive.h"

std::string InflateRaw(std::string_view compressed) {
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
    throw EStatusError(TStatus::Corrupt("cannot start the deflate decoder"));
  const std::unique_ptr<z_stream, int (*)(z_stream*)> end(&z, inflateEnd);
  std::string out;
  char buf[1 << 14];
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  z.avail_in = static_cast<uInt>(compressed.size());
  for (;;) {
    z.next_out = reinterpret_cast<Bytef*>(buf);
    z.avail_out = sizeof buf;
    const int rc = inflate(&z, Z_NO_FLUSH);
    out.append(buf, sizeof buf - z.avail_out);
    if (rc == Z_STREAM_END) return out;
    if (rc == Z_BUF_ERROR && z.avail_in == 0)
      throw EStatusError(TStatus::Corrupt("deflate data ends early"));
    if (rc != Z_OK)
      throw EStatusError(TStatus::Corrupt(std::string("damaged deflate data (") +
                                          (z.msg ? z.msg : "error") + ")"));
  }
}
