#!/usr/bin/env bash
# Installs every build and test dependency of Tellmark on Debian 12 (idempotent).
set -euo pipefail
pkgs=(build-essential cmake ninja-build pkg-config geographiclib-tools
      qt6-base-dev qt6-multimedia-dev libqt6svg6
      clang clang-format libclang-rt-14-dev
      libgtest-dev libgmock-dev libbenchmark-dev
      libsimpleini-dev nlohmann-json3-dev libcli11-dev libfmt-dev libsqlite3-dev tzdata
      libzip-dev zlib1g-dev libcurl4-openssl-dev libcpp-httplib-dev wrk curl
      xvfb xauth x11-utils imagemagick poppler-utils xdg-utils
      pulseaudio pulseaudio-utils sox multimon-ng fonts-dejavu-core
      cups cups-pdf cups-client libcups2-dev
      # a window manager for screenshots of dialogs under Xvfb
      openbox
      scdoc librsvg2-bin lintian desktop-file-utils appstream man-db file
      # The service's HTTP layer; nginx for its benchmark; fldigi and xdotool for its client test.
      libboost-dev nginx-light fldigi xdotool)
# WSJT-X (ft8sim, jt9, udp_daemon): the end-to-end check of docs/wsjtx.md.
pkgs+=(wsjtx xdotool python3)
# systemd-analyze verify checks the update timer and its service
pkgs+=(systemd)
# The country file every logger uses: entities, zones and continents of calls
pkgs+=(hamradio-files)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
# The ADIF reader the tests read filled logs back with (optional: the test skips without it).
if command -v npm >/dev/null; then
  npm install --prefix "$(dirname "$0")/adif-read-back" --no-audit --no-fund >/dev/null ||
    echo "setup-debian.sh: npm install in scripts/adif-read-back failed; that test will skip" >&2
fi
