#include "TestDir.h"

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
