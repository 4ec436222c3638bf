#!/usr/bin/env bash
# Grabs every window of tellmark under Xvfb into build/screenshots/*.png, for people to look at
# (the map window on a U.S. entry, an International entry and the world, the beacon scheduler and
# the world map following a beacon among them).
# Uses the sample edition the default build writes next to the binaries; without one, a sample
# edition written by tellmark-build, or else the small fixture edition of the look-up tests.
#   scripts/screenshots.sh [BUILD_DIR]   (default: build)
#
# With --desktop OUT_DIR, the screen as a user sees it instead: Xvfb at 1280x1024 with openbox,
# the program driven through its menus with xdotool, the whole screen grabbed (import -window
# root) for the main window (also enlarged), the map window, the beacon scheduler, the program
# options, a message box and the text search, at the default size and at 200 % (QT_SCALE_FACTOR=2),
# and the two progress gauges from their window test:
#   scripts/screenshots.sh --desktop OUT_DIR [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--desktop" ]; then
  exec bash scripts/screenshots-desktop.sh "${@:2}"
fi
build="${1:-build}"
out="build/screenshots"
mkdir -p "$out"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cmake --build "$build" --target tellmark
us_call="${TELLMARK_SCREENSHOT_US:-}"
intl_call="${TELLMARK_SCREENSHOT_INTL:-}"
if [ -f "$build/data/thedata.dat" ]; then
  edition="$build"
elif [ -x "$build/tellmark-build" ] && "$build/tellmark-build" --out "$work/edition" --quiet; then
  edition="$work/edition"
else
  cmake --build "$build" --target lookup_test
  TELLMARK_FIXTURE_OUT="$work/edition" "$build/tests/lookup_test" \
    --gtest_filter='FixtureEdition.*' >/dev/null
  edition="$work/edition"
  us_call="${TELLMARK_SCREENSHOT_US:-W1AW}"
  intl_call="${TELLMARK_SCREENSHOT_INTL:-DL1ABC}"
fi

# A home locator, so the map window shows heading and distance.
printf '[General]\nMyLocator=FN31PR\n' > "$work/tellmark.ini"
TELLMARK_INI="$work/tellmark.ini" TELLMARK_SCREENSHOT_DIR="$(pwd)/$out" \
TELLMARK_SCREENSHOT_US="$us_call" TELLMARK_SCREENSHOT_INTL="$intl_call" \
  xvfb-run -a -s "-screen 0 1280x1024x24" "$build/tellmark" "$edition" --timing
# The notes editor, from its window test on the fixture edition (notes.png).
if cmake --build "$build" --target tst_notes >/dev/null 2>&1; then
  TELLMARK_INI="$work/tst_notes.ini" TELLMARK_SCREENSHOT_DIR="$(pwd)/$out" \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$build/tests/tst_notes" screenshot >/dev/null
fi
# The text search dialog, its progress window, the QSL manager list and the list view, from
# their window test on the fixture edition (textsearch.png, progress.png, qslmanagers.png,
# listview.png).
if cmake --build "$build" --target tst_lists >/dev/null 2>&1; then
  TELLMARK_INI="$work/tst_lists.ini" TELLMARK_SCREENSHOT_DIR="$(pwd)/$out" \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$build/tests/tst_lists" screenshot >/dev/null
fi
# The "CW Output" window while sending and idle, the key cursors and the Morse options dialog,
# from their window test (cw-output.png, cw-output-idle.png, cw-key-cursors.png,
# morse-options.png).
if cmake --build "$build" --target tst_morse >/dev/null 2>&1; then
  TELLMARK_INI="$work/tst_morse.ini" TELLMARK_SCREENSHOT_DIR="$(pwd)/$out" \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$build/tests/tst_morse" screenshot >/dev/null
fi
# The extended label options (three pages), the choice of a predefined template, the print job
# over the report file and the label preview, from their window test (labeloptions1..3.png,
# labelselect.png, printlabels.png, labelpreview.png).
if cmake --build "$build" --target tst_labels >/dev/null 2>&1; then
  TELLMARK_INI="$work/tst_labels.ini" TELLMARK_LABEL_SPOOL="$work/labels.spool" \
  TELLMARK_SCREENSHOT_DIR="$(pwd)/$out" \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$build/tests/tst_labels" screenshot >/dev/null
fi
# The program options pages, the help window and the about box, from their window test on the
# fixture edition with its documents (options-*.png, help.png, about.png).
if cmake --build "$build" --target tst_commands >/dev/null 2>&1; then
  TELLMARK_INI="$work/tst_commands.ini" TELLMARK_SCREENSHOT_DIR="$(pwd)/$out" \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$build/tests/tst_commands" screenshot >/dev/null
fi
# The main window browsing a six-digit count of search results (main-results.png).
if cmake --build "$build" --target tst_mainwindow >/dev/null 2>&1; then
  TELLMARK_INI="$work/tst_mainwindow.ini" TELLMARK_SCREENSHOT_DIR="$(pwd)/$out" \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$build/tests/tst_mainwindow" \
    navigationFitsALongResultCount >/dev/null
fi
ls -l "$out"/*.png
