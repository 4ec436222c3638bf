// libFuzzer entry of one target, chosen at compile time (TELLMARK_FUZZ_TARGET).
#include <cstdio>
#include <cstdlib>

#include "FuzzTargets.h"

namespace {
const TFuzzTarget& Target() {
  static const TFuzzTarget* t = [] {
    const TFuzzTarget* found = FindFuzzTarget(TELLMARK_FUZZ_TARGET);
    if (!found) {
      std::fprintf(stderr, "no fuzz target %s\n", TELLMARK_FUZZ_TARGET);
      std::abort();
    }
    return found;
  }();
  return *t;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return Target().run(data, size);
}
