#pragma once
#include <string>
#include <string_view>

// A fresh temporary directory, removed with everything in it when the object goes.
class TestDir {
 public:
  TestDir();
  ~TestDir();
  TestDir(const TestDir&) = delete;
  TestDir& operator=(const TestDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Hex digits to bytes; any other character between the digits is ignored. Throws on an odd
// number of digits.
std::string Unhex(std::string_view hex);
// Bytes as lower-case hex digits, two a byte (the inverse of Unhex).
std::string Hex(std::string_view bytes);
