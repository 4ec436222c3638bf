#include "FuzzTargets.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

const std::vector<TFuzzTarget>& FuzzTargets() {
  static const std::vector<TFuzzTarget> targets = {{"index_short", fuzz::FuzzIndexShort},
                                                   {"index_long", fuzz::FuzzIndexLong},
                                                   {"entry", fuzz::FuzzEntry},
                                                   {"edition", fuzz::FuzzEdition},
                                                   {"wordlist", fuzz::FuzzWordList},
                                                   {"settings", fuzz::FuzzSettings},
                                                   {"notes", fuzz::FuzzNotes},
                                                   {"fcc", fuzz::FuzzFcc},
                                                   {"csv", fuzz::FuzzCsv},
                                                   {"zip", fuzz::FuzzZip},
                                                   {"inflate", fuzz::FuzzInflate},
                                                   {"map", fuzz::FuzzMap},
                                                   {"label", fuzz::FuzzLabel},
                                                   {"adif", fuzz::FuzzAdif},
                                                   {"service", fuzz::FuzzService},
                                                   {"http", fuzz::FuzzHttp},
                                                   {"wsjtx", fuzz::FuzzWsjtx}};
  return targets;
}

const TFuzzTarget* FindFuzzTarget(std::string_view name) {
  for (const auto& t : FuzzTargets())
    if (name == t.name) return &t;
  return nullptr;
}

namespace fuzz {

std::vector<std::string_view> SplitParts(std::string_view data, size_t maxParts) {
  std::vector<std::string_view> parts;
  while (parts.size() + 1 < maxParts) {
    const size_t at = data.find(kPartMarker);
    if (at == std::string_view::npos) break;
    parts.push_back(data.substr(0, at));
    data.remove_prefix(at + kPartMarker.size());
  }
  parts.push_back(data);
  parts.resize(maxParts);
  return parts;
}

const std::string& ScratchDir() {
  static const std::string dir = [] {
    namespace fs = std::filesystem;
    const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string templ = (base / "tellmark-fuzz-XXXXXX").string();
    if (!mkdtemp(templ.data())) Fail("cannot make a scratch directory");
    const std::string made = templ;
    static const struct TRemover {
      std::string path;
      ~TRemover() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
      }
    } remover{made};
    return made;
  }();
  return dir;
}

std::string WriteScratch(const std::string& name, std::string_view bytes) {
  const std::string path = ScratchDir() + "/" + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) Fail("cannot write " + path);
  return path;
}

void Fail(const std::string& what) {
  std::fprintf(stderr, "fuzz: %s\n", what.c_str());
  std::abort();
}

}  // namespace fuzz
