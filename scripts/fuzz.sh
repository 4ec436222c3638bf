#!/usr/bin/env bash
# Runs one fuzz target for a number of seconds under ASan and UBSan:
#   scripts/fuzz.sh TARGET SECONDS        (targets: ls fuzz/corpus)
# Builds the clang build in build-fuzz first, unless TELLMARK_FUZZ_BUILD names a built one (as
# ctest does). The corpus grows in <build>/fuzz-corpus/TARGET, starting from the committed seeds
# in fuzz/corpus/TARGET; a finding is written to <build>/fuzz-findings/ and fails the run. Copy
# it to fuzz/regress/TARGET/ so that fuzz_replay_test replays it from then on.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target=${1:?usage: fuzz.sh TARGET SECONDS}
seconds=${2:?usage: fuzz.sh TARGET SECONDS}
[ -d "$root/fuzz/corpus/$target" ] || { echo "fuzz.sh: no target $target" >&2; exit 2; }
build=${TELLMARK_FUZZ_BUILD:-}
if [ -z "$build" ]; then
  build=$root/build-fuzz
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTELLMARK_FUZZ=ON -DTELLMARK_GUI=OFF -DTELLMARK_SAMPLE=OFF "${launcher[@]}" >/dev/null
  cmake --build "$build" --target "fuzz_$target"
fi
work=$build/fuzz-corpus/$target
findings=$build/fuzz-findings
mkdir -p "$work" "$findings"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
exec "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$findings/$target-" "$work" "$root/fuzz/corpus/$target"
