#!/usr/bin/env bash
# Starts a sound server by hand (no systemd) for the audio tests: PulseAudio with one null sink
# as the default output, its monitor recordable with parec, and a keep-alive stream of silence so
# that new streams start at once. Idempotent. Prints the environment the tests need:
#   eval "$(bash scripts/start-audio.sh)"
# TELLMARK_AUDIO_DIR sets the runtime folder; by default each checkout has a server of its own
# (/tmp/tellmark-audio-UID-KEY), so that test runs of two checkouts do not hear each other.
set -euo pipefail
key="$(cd "$(dirname "$0")/.." && pwd -P | cksum | cut -d' ' -f1)"
dir="${TELLMARK_AUDIO_DIR:-/tmp/tellmark-audio-$(id -u)-$key}"
mkdir -p "$dir/pulse"
chmod 700 "$dir" "$dir/pulse"
export XDG_RUNTIME_DIR="$dir" PULSE_RUNTIME_PATH="$dir/pulse"
export PULSE_SERVER="unix:$dir/pulse/native"
export PULSE_SINK=tellmark_null

if ! pactl info >/dev/null 2>&1; then
  cat >"$dir/tellmark.pa" <<PA
load-module module-null-sink sink_name=tellmark_null rate=48000 sink_properties=device.description=Tellmark_null_sink
load-module module-native-protocol-unix auth-anonymous=1 socket=$dir/pulse/native
set-default-sink tellmark_null
PA
  # High priority and real-time scheduling where allowed: the tests time what they hear, on
  # machines that are busy compiling.
  args=(--daemonize=yes --exit-idle-time=-1 --system=false -n -F "$dir/tellmark.pa"
        --high-priority=yes --realtime=yes --log-target=file:"$dir/pulseaudio.log")
  # As root the server would end when its (root) client leaves unless told otherwise.
  [ "$(id -u)" -ne 0 ] || args+=(--disallow-exit)
  HOME="$dir" pulseaudio "${args[@]}" >&2
  for _ in $(seq 50); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.1
  done
  pactl info >/dev/null 2>&1 || { echo "start-audio: the sound server did not start" >&2; exit 1; }
fi

# Keep-alive: silence played all the time keeps the sink running.
if ! { [ -f "$dir/keepalive.pid" ] && kill -0 "$(cat "$dir/keepalive.pid")" 2>/dev/null; }; then
  # A low latency asked by this stream keeps the sink from reading far ahead of what it plays.
  nohup pacat --playback --raw --format=s16le --rate=8000 --channels=1 --latency-msec=10 \
    --stream-name=tellmark-keepalive /dev/zero >/dev/null 2>&1 &
  echo $! >"$dir/keepalive.pid"
fi

for v in XDG_RUNTIME_DIR PULSE_RUNTIME_PATH PULSE_SERVER PULSE_SINK; do
  printf 'export %s=%q\n' "$v" "${!v}"
done
