#!/usr/bin/env bash
# Builds the Debian package BUILD_DIR/tellmark_VERSION-1_ARCH.deb with CPack: whatever
# `cmake --install` installs, under /usr. A configured build folder is reused with its binaries
# (only what the package holds is built); a new one is made as a Release build. The install
# prefix of the folder is set back afterwards, so a later `cmake --install` goes where it went.
#   scripts/package-deb.sh [BUILD_DIR]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
bash scripts/setup-debian.sh
if [ -f "$build/CMakeCache.txt" ]; then
  prefix="$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")"
  skip_all="$(sed -n 's/^CMAKE_SKIP_INSTALL_ALL_DEPENDENCY:[A-Z]*=//p' "$build/CMakeCache.txt")"
  cmake -S . -B "$build" -DCMAKE_INSTALL_PREFIX=/usr -DTELLMARK_PACKAGE=ON \
        -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
  trap 'cmake -S . -B "$build" -DCMAKE_INSTALL_PREFIX="${prefix:-/usr/local}" \
              -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY="${skip_all:-OFF}" >/dev/null' EXIT
else
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
        -DTELLMARK_PACKAGE=ON -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
fi
cmake --build "$build" --target package_files
rm -f "$build"/tellmark_*.deb
(cd "$build" && cpack -G DEB)
ls "$build"/tellmark_*.deb
