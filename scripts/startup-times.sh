#!/usr/bin/env bash
# Start-up times as whole processes, with hyperfine: tellmark-lookup for one call, and the desktop
# program from process start to its first painted window (--exit-after-paint), each warm (data
# set in the system's cache) and cold. Cold drops the system's caches when permitted (root outside
# a container), else evicts only the data-set files (posix_fadvise DONTNEED); it says which.
#   scripts/startup-times.sh BUILD_DIR EDITION_DIR CALL [GUI_BUILD_DIR]
set -euo pipefail
build=${1:?build directory}; edition=${2:?edition directory}; call=${3:?a call of the edition}
gui=${4:-$build}
command -v hyperfine >/dev/null || { echo "hyperfine is missing (apt-get install hyperfine)"; exit 2; }

evict="python3 -c 'import os,sys
for n in os.listdir(sys.argv[1]):
    fd = os.open(os.path.join(sys.argv[1], n), os.O_RDONLY)
    os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
    os.close(fd)' $edition/data"
if (sync && echo 3 > /proc/sys/vm/drop_caches) 2>/dev/null; then
  cold="sync; echo 3 > /proc/sys/vm/drop_caches"
  echo "cold: the system's caches dropped before each run"
else
  cold=$evict
  echo "cold: /proc/sys/vm/drop_caches not permitted; the data-set files evicted before each run"
fi

# A home of its own, so nothing of the user's is changed; one untimed run in screenshot mode
# (which answers the first-start boxes) writes its settings, so no box waits in the timed runs.
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT

lookup="$build/tellmark-lookup --data $edition $call"
hyperfine -N --warmup 3 --runs 30 -n "lookup warm" "$lookup"
hyperfine --runs 15 --prepare "$cold" -n "lookup cold" "$lookup"
if [ -x "$gui/src/ui/tellmark" ]; then
  env HOME="$home" TELLMARK_SCREENSHOT_DIR="$home/shots" QT_QPA_PLATFORM=offscreen \
    "$gui/src/ui/tellmark" "$edition" >/dev/null 2>&1
  app="env HOME=$home QT_QPA_PLATFORM=offscreen $gui/src/ui/tellmark --exit-after-paint $edition"
  hyperfine --warmup 3 --runs 20 -n "tellmark warm" "$app"
  hyperfine --runs 10 --prepare "$cold" -n "tellmark cold" "$app"
fi
