#include "TestDir.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

TestDir::TestDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "tellmark-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TestDir::~TestDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string Unhex(std::string_view hex) {
  std::string out;
  int hi = -1;
  for (const char c : hex) {
    int v;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (c >= 'a' && c <= 'f')
      v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      v = c - 'A' + 10;
    else
      continue;
    if (hi < 0) {
      hi = v;
    } else {
      out += static_cast<char>(hi << 4 | v);
      hi = -1;
    }
  }
  if (hi >= 0) throw std::invalid_argument("odd number of hex digits");
  return out;
}

std::string Hex(std::string_view bytes) {
  static const char* d = "0123456789abcdef";
  std::string s;
  for (const char c : bytes) {
    s += d[static_cast<uint8_t>(c) >> 4];
    s += d[static_cast<uint8_t>(c) & 15];
  }
  return s;
}
