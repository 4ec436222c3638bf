// Replays every committed fuzz input through its target: the seed corpora (fuzz/corpus/TARGET)
// and each input a fuzzer once found (fuzz/regress/TARGET). Under ASan and UBSan in CI.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "FuzzTargets.h"
#include "TestDir.h"
#include "builder/UZipArchive.h"

namespace fs = std::filesystem;

namespace {

std::string Bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FuzzReplay : public ::testing::TestWithParam<std::string> {};

}  // namespace

TEST_P(FuzzReplay, EveryCommittedInputRunsClean) {
  const TFuzzTarget* target = FindFuzzTarget(GetParam());
  ASSERT_NE(target, nullptr);
  const fs::path root = TELLMARK_FUZZ_DIR;
  ASSERT_TRUE(fs::is_directory(root / "corpus" / GetParam())) << "no seed corpus";
  int inputs = 0;
  for (const char* kind : {"corpus", "regress"}) {
    const fs::path dir = root / kind / GetParam();
    if (!fs::is_directory(dir)) continue;
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(dir)) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const auto& f : files) {
      SCOPED_TRACE(f.string());
      const std::string b = Bytes(f);
      EXPECT_EQ(target->run(reinterpret_cast<const uint8_t*>(b.data()), b.size()), 0);
      ++inputs;
    }
  }
  EXPECT_GT(inputs, 0);
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, ::testing::ValuesIn([] {
                           std::vector<std::string> names;
                           for (const auto& t : FuzzTargets()) names.push_back(t.name);
                           return names;
                         }()),
                         [](const auto& info) { return info.param; });

TEST(FuzzRegress, Zip64EndRecordNearTheEndOfTheOffsetRange) {
  // A zip64 end record locator pointing at 0x7FFFFFFFFFFFFFF0: the bounds check must not
  // overflow (UBSan reports it) and the archive is refused.
  const std::string bytes =
      Bytes(fs::path(TELLMARK_FUZZ_DIR) / "regress/zip/zip64-end-near-int64-max");
  ASSERT_EQ(bytes.size(), 42u);
  TestDir dir;
  std::ofstream(dir.file("a.zip"), std::ios::binary) << bytes;
  try {
    TZipArchive zip(dir.file("a.zip"));
    FAIL() << "archive accepted";
  } catch (const EStatusError& e) {
    EXPECT_NE(std::string(e.what()).find("a.zip"), std::string::npos) << e.what();
  }
}
