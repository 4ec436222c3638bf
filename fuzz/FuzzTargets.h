#pragma once
// One entry function per parser for the libFuzzer programs (fuzz_<name>) and for the core test
// that replays the seed corpora and every input a fuzzer found (tests/fuzz_replay_test.cpp).
// Each function takes any bytes; it returns 0, and aborts only when a parser breaks one of its
// own promises (a crash or a sanitizer report is the other kind of finding).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TFuzzTarget {
  const char* name;
  int (*run)(const uint8_t* data, size_t size);
};

const std::vector<TFuzzTarget>& FuzzTargets();
const TFuzzTarget* FindFuzzTarget(std::string_view name);

namespace fuzz {

// Inputs that stand for several files hold them one after the other, separated by this marker.
inline constexpr std::string_view kPartMarker = "#@#@";
std::vector<std::string_view> SplitParts(std::string_view data, size_t maxParts);

// A private scratch directory of this process (under /dev/shm when it exists), made once.
const std::string& ScratchDir();
// Writes bytes to ScratchDir()/name and returns the path.
std::string WriteScratch(const std::string& name, std::string_view bytes);

// Aborts with a message: a broken promise of a parser.
[[noreturn]] void Fail(const std::string& what);

int FuzzIndexShort(const uint8_t* data, size_t size);
int FuzzIndexLong(const uint8_t* data, size_t size);
int FuzzEntry(const uint8_t* data, size_t size);
int FuzzEdition(const uint8_t* data, size_t size);
int FuzzWordList(const uint8_t* data, size_t size);
int FuzzSettings(const uint8_t* data, size_t size);
int FuzzNotes(const uint8_t* data, size_t size);
int FuzzFcc(const uint8_t* data, size_t size);
int FuzzCsv(const uint8_t* data, size_t size);
int FuzzZip(const uint8_t* data, size_t size);
int FuzzInflate(const uint8_t* data, size_t size);
int FuzzMap(const uint8_t* data, size_t size);
int FuzzLabel(const uint8_t* data, size_t size);
int FuzzAdif(const uint8_t* data, size_t size);
int FuzzService(const uint8_t* data, size_t size);
int FuzzHttp(const uint8_t* data, size_t size);
int FuzzWsjtx(const uint8_t* data, size_t size);

}  // namespace fuzz
