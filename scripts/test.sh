#!/usr/bin/env bash
# Installs the dependencies, checks the formatting, builds everything (warnings as errors) and
# runs every test; then the core tests again under AddressSanitizer and UndefinedBehaviorSanitizer,
# and a short run of every fuzz target (clang, libFuzzer; TELLMARK_FUZZ_SECONDS each, default 20).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
# Every C++ source as .clang-format lays it out.
bash scripts/check-format.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELLMARK_WERROR=ON
cmake --build build
# No class name that stands for two classes in one program.
bash scripts/check-odr.sh build
# The sound server of the audio tests (a null sink), started by hand; its environment goes to
# every test.
audio_env="$(bash scripts/start-audio.sh)"
eval "$audio_env"
# A print server with a PDF queue for the label printing tests (it needs root; without root the
# test of a real print job is skipped).
if [ "$(id -u)" -eq 0 ]; then
  TELLMARK_CUPS_PDF_DIR="$(bash scripts/start-cups.sh)"
  export TELLMARK_CUPS_PDF_DIR
fi
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2)
# The Debian package from the binaries just tested: lintian, apt install, the installed programs,
# apt remove leaving nothing behind (root only: it installs on this machine).
if [ "$(id -u)" -eq 0 ]; then
  bash scripts/package-test.sh build
fi
if [ "${TELLMARK_SKIP_SANITIZE:-0}" != 1 ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTELLMARK_SANITIZE=ON \
        -DTELLMARK_GUI=OFF -DTELLMARK_SAMPLE=OFF
  cmake --build build-asan
  (cd build-asan && ctest --output-on-failure -j2 -L core)
fi
if [ "${TELLMARK_SKIP_FUZZ:-0}" != 1 ]; then
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
        -DTELLMARK_FUZZ=ON -DTELLMARK_GUI=OFF -DTELLMARK_SAMPLE=OFF \
        -DTELLMARK_FUZZ_SECONDS="${TELLMARK_FUZZ_SECONDS:-20}"
  cmake --build build-fuzz
  (cd build-fuzz && ctest --output-on-failure -j2 -L fuzz)
fi
