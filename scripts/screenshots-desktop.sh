#!/usr/bin/env bash
# The screen as a user sees it: Xvfb 1280x1024 with openbox, tellmark driven through its menus by
# xdotool at QT_SCALE_FACTOR 1 and 2, the whole screen grabbed into OUT_DIR/*.png.
#   scripts/screenshots-desktop.sh OUT_DIR [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:?OUT_DIR}")"
build="${2:-build}"
mkdir -p "$out"
work="$(mktemp -d)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

if [ -f "$build/data/thedata.dat" ]; then
  edition="$build"
else
  "$build/tellmark-build" --out "$work/edition" --us 3000 --intl 3000 --seed 7 --quiet
  edition="$work/edition"
fi

# A display of its own: Xvfb picks a free number and tells it on fd 3.
exec 3<> <(:)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
read -r -t 10 display <&3 || { echo "Xvfb did not start" >&2; exit 1; }
exec 3<&-
export DISPLAY=":$display"
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 1

shoot() {
  sleep "${2:-1.2}"
  import -window root "$out/$1"
  echo "$out/$1"
}
# Waits for a visible window whose title matches and makes it the active one.
window() {
  local id
  for _ in $(seq 50); do
    id="$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1 || true)"
    [ -n "$id" ] && break
    sleep 0.2
  done
  [ -n "$id" ] || { echo "no window '$1'" >&2; return 1; }
  xdotool windowactivate --sync "$id" 2>/dev/null || true
  echo "$id"
}
close_active() { xdotool key --clearmodifiers alt+F4; sleep 0.5; }

for scale in 1 2; do
  tag="$([ "$scale" = 1 ] && echo default || echo 200)"
  long="$work/a folder with a rather long name/for the notes of every station/heard.ndf"
  mkdir -p "$(dirname "$long")"
  printf '[StartUp]\nPrgVersion=S1998\n[General]\nMyLocator=FN31PR\nNotesDataFilename=%s\n[Report]\nReportFilename=%s\n' \
    "$long" "$work/another long folder name for reports/of the year/report.txt" >"$work/tellmark.ini"
  mkdir -p "$work/another long folder name for reports/of the year"
  TELLMARK_INI="$work/tellmark.ini" QT_SCALE_FACTOR="$scale" "$build/tellmark" "$edition" \
    >"$work/tellmark-$scale.log" 2>&1 &
  app=$!
  pids+=("$app")
  main="$(window 'Tellmark')"
  shoot "main-$tag.png" 2
  if [ "$scale" = 1 ]; then
    # Enlarged (the window manager's bottom handle shows it can be resized), then back.
    xdotool windowmove --sync "$main" 40 40 || true
    xdotool windowsize --sync "$main" 1100 800 || true
    shoot "main-enlarged-$tag.png"
  fi
  xdotool windowactivate --sync "$main"; xdotool key --clearmodifiers ctrl+m
  window 'Map' >/dev/null && shoot "map-$tag.png" 2 && close_active
  xdotool windowactivate --sync "$main"; xdotool key --clearmodifiers ctrl+s
  window 'Beacon' >/dev/null && shoot "beacons-$tag.png" && close_active
  xdotool windowactivate --sync "$main"; xdotool key --clearmodifiers alt+o; sleep 0.4
  xdotool key --clearmodifiers p
  window 'Program Options' >/dev/null && shoot "options-$tag.png" && xdotool key Escape
  sleep 0.5
  # The About box (the last item of the Help menu).
  xdotool windowactivate --sync "$main"; xdotool key --clearmodifiers alt+h; sleep 0.4
  xdotool key --clearmodifiers Up Return
  sleep 1; shoot "about-$tag.png" && xdotool key Escape
  sleep 0.5
  xdotool windowactivate --sync "$main"; xdotool key --clearmodifiers F8
  sleep 1; shoot "textsearch-$tag.png" && xdotool key Escape
  sleep 0.5
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
  # The progress gauges and a message box with a short text, from their window test on this
  # screen (progress-*.png, printlabels-*.png, messagebox-*.png).
  if [ -x "$build/tests/tst_windowfit" ]; then
    TELLMARK_INI="$work/tst_windowfit.ini" TELLMARK_SCREENSHOT_DIR="$out" \
      TELLMARK_SCREENSHOT_TAG="$tag" QT_SCALE_FACTOR="$scale" QT_QPA_PLATFORM=xcb \
      "$build/tests/tst_windowfit" screenshots >"$work/tst_windowfit-$scale.log" 2>&1 ||
      cat "$work/tst_windowfit-$scale.log" >&2
  fi
done
ls -l "$out"/*.png
