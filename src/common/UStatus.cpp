#include "common/UStatus.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/IOUtil.h"

TStatus TStatus::IOError(std::string message, int err) {
  return {TStatusCode::IOError, std::move(message) + ": " + std::strerror(err), err};
}

TStatus TStatus::CannotRead(std::string_view path, int err) {
  std::string m = "cannot read " + std::string(path) + ": " + std::strerror(err);
  return {err == ENOENT ? TStatusCode::NotFound : TStatusCode::IOError, std::move(m), err};
}

TStatus TStatus::CannotWrite(std::string_view path, int err) {
  std::string m = "cannot write " + std::string(path) + ": " + std::strerror(err);
  return {err == ENOENT ? TStatusCode::NotFound : TStatusCode::IOError, std::move(m), err};
}

namespace {
std::string Because(std::string_view reason) {
  return reason.empty() ? std::string() : ": " + std::string(reason);
}
}  // namespace

TStatus TStatus::CannotRead(std::string_view path, std::string_view reason) {
  return Corrupt("cannot read " + std::string(path) + Because(reason));
}

TStatus TStatus::CannotWrite(std::string_view path, std::string_view reason) {
  return InvalidArgument("cannot write " + std::string(path) + Because(reason));
}

TStatus TStatus::WithContext(std::string_view context) const {
  if (ok()) return *this;
  TStatus s = *this;
  s.message_ = std::string(context) + ": " + message_;
  return s;
}

TStatus StatusFromLastError(std::string_view path, int code, TFileAccess access) {
  const std::string text = RunErrorText(code);
  std::string m = (access == TFileAccess::Read ? "cannot read " : "cannot write ") +
                  std::string(path) + ": " + (text.empty() ? ErrorCodeText(code) : text);
  const TStatusCode c = code == 2     ? TStatusCode::NotFound
                        : code == 100 ? TStatusCode::Corrupt
                                      : TStatusCode::IOError;
  return {c, std::move(m)};
}

std::string ShownDataSetName(std::string_view relName) {
  std::string s(relName);
  std::replace(s.begin(), s.end(), '\\', '/');
  return s;
}
