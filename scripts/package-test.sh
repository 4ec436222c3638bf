#!/usr/bin/env bash
# The Debian package end to end, on this machine (needs root): builds it from BUILD_DIR's
# binaries, checks it with lintian (an error fails), installs it with apt, runs the installed
# programs on the installed sample edition, removes it and checks that no file of it is left
# while the user's files stay.
#   scripts/package-test.sh [BUILD_DIR]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
if [ "$(id -u)" -ne 0 ]; then
  echo "package-test.sh: needs root (it installs and removes the package)" >&2
  exit 1
fi
if dpkg-query -W -f='${db:Status-Status}' tellmark 2>/dev/null | grep -qv not-installed; then
  echo "package-test.sh: tellmark is installed already; remove it first" >&2
  exit 1
fi
step() { printf '\n== %s\n' "$*"; }
fail() { echo "package-test.sh: $*" >&2; exit 1; }

step "build"
bash scripts/package-deb.sh "$build"
deb="$(realpath "$build"/tellmark_*.deb)"
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'

step "lintian"
# Kept warnings (the report names them): none are suppressed here, so every one is shown.
lintian --fail-on error "$deb"

work="$(mktemp -d)"
removed=0
cleanup() {
  [ "$removed" = 1 ] || apt-get remove -y tellmark >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

step "install"
DEBIAN_FRONTEND=noninteractive apt install -y "$deb"
dpkg -L tellmark | sort > "$work/files"

step "installed programs"
export TELLMARK_INI="$work/none.ini"  # no settings: the programs take the installed edition
[ "$(command -v tellmark-lookup)" = /usr/bin/tellmark-lookup ] || fail "tellmark-lookup not in /usr/bin"
tellmark-lookup --version
out="$(cd / && tellmark-lookup --csv AA1A)"
echo "$out"
grep -q '^AA1A,exact,' <<<"$out" || fail "no exact entry for AA1A in the installed sample edition"
man -w tellmark-lookup
man -w tellmark-build
help="$(tellmark-build --help)"
# tellmark-build takes the installed source tables (its help names the defaults); what it
# writes is the user's.
grep -q '(default: /usr/share/tellmark/sources)' <<<"$help" ||
  fail "tellmark-build does not default to the installed source tables"
grep -q '(default: /usr/share/tellmark/texts)' <<<"$help" ||
  fail "tellmark-build does not default to the installed texts"
echo "tellmark-build --help: ok"
tellmark-build --out "$work/edition" --us 300 --intl 200 --no-maps --quiet
stats="$(tellmark-lookup --data "$work/edition" --stats)"
head -3 <<<"$stats"
bash -c 'source /usr/share/bash-completion/completions/tellmark-lookup &&
         COMP_WORDS=(tellmark-lookup --js) COMP_CWORD=1 && _tellmark_lookup &&
         [ "${COMPREPLY[*]}" = --json ]' || fail "the installed completion does not complete --js"
if [ -x /usr/bin/tellmark ]; then
  desktop-file-validate /usr/share/applications/tellmark.desktop
  appstreamcli validate --no-net /usr/share/metainfo/org.tellmark.Tellmark.metainfo.xml
  # The desktop program opens the installed edition and paints its window. The settings of a
  # program that ran before (PrgVersion), so no first-start notice waits for an answer.
  printf '[StartUp]\nPrgVersion=S1998\n' > "$work/gui.ini"
  TELLMARK_INI="$work/gui.ini" QT_QPA_PLATFORM=offscreen timeout 120 \
    tellmark --timing --exit-after-paint
fi

step "remove"
DEBIAN_FRONTEND=noninteractive apt remove -y tellmark
removed=1
status="$(dpkg-query -W -f='${db:Status-Status}' tellmark 2>/dev/null || echo not-installed)"
[ "$status" = not-installed ] || fail "tellmark is still known to dpkg as $status"
left=0
while IFS= read -r path; do
  [ "$path" = /. ] && continue
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    # A folder may stay when another package has it too.
    dpkg-query -S "$path" >/dev/null 2>&1 && continue
    echo "left behind: $path/" >&2
    left=1
  elif [ -e "$path" ] || [ -L "$path" ]; then
    echo "left behind: $path" >&2
    left=1
  fi
done < "$work/files"
[ "$left" = 0 ] || fail "files of the package are left after apt remove"
echo "$(wc -l < "$work/files") paths of the package, none left"
[ -f "$work/edition/data/thedata.dat" ] || fail "the user's edition went with the package"
echo "package test: ok"
