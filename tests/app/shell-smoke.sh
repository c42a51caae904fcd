#!/bin/sh
# The program on a real X server: it starts, takes a second start's files (also from a start with
# another runtime folder or none, through the library it holds), keeps a waiting start until it
# ends, and ends cleanly on SIGTERM. Usage: shell-smoke.sh PROGRAM PICTURE
set -eu
program=$1
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
# The waiting start's file is a real picture: one that never joins the batch lets its start go.
cp "$2" "$runtime/waiting.jpg"
export XDG_RUNTIME_DIR="$runtime" XDG_CONFIG_HOME="$runtime/config" XDG_DATA_HOME="$runtime/data" \
       XDG_CACHE_HOME="$runtime/cache" DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/oxel-smoke-bus
unset QT_QPA_PLATFORM
exec xvfb-run -a -s "-screen 0 1600x1000x24" sh -c '
  # await FAILURE COMMAND...: runs COMMAND every 0.05 s until it succeeds; after 10 s, says FAILURE
  # and ends the test.
  await() {
    failure=$1
    shift
    tries=0
    until "$@"; do
      tries=$((tries + 1))
      [ "$tries" -lt 200 ] || { echo "$failure"; exit 1; }
      sleep 0.05
    done
  }
  listens() { [ -n "$(find "$XDG_RUNTIME_DIR" -name instance -type s 2>/dev/null)" ]; }
  connected() { ls -l "/proc/$1/fd" 2>/dev/null | grep -q "socket:"; }
  "$1" &
  first=$!
  # The running instance listens on its socket; a second start then hands over and ends.
  await "the first instance never listened" listens
  timeout 10 "$1" --handoff=smoke "$XDG_RUNTIME_DIR/picture.jpg" || { echo "the second start did not hand over"; exit 1; }
  # Another runtime folder, or none, still finds the running instance through the library it holds.
  other=$(mktemp -d)
  XDG_RUNTIME_DIR="$other" timeout 10 "$1" "$XDG_RUNTIME_DIR/picture.jpg" ||
    { echo "a start with another runtime folder did not hand over"; exit 1; }
  rm -rf "$other"
  env -u XDG_RUNTIME_DIR timeout 10 "$1" "$XDG_RUNTIME_DIR/picture.jpg" ||
    { echo "a start without a runtime folder did not hand over"; exit 1; }
  # A start that waits for its hand-off stays until the running instance lets it go.
  "$1" --handoff=smoke --wait "$XDG_RUNTIME_DIR/waiting.jpg" &
  waiting=$!
  # It hands over as soon as it has connected; on a busy machine that may take a while.
  await "the waiting start never connected" connected "$waiting"
  sleep 0.5
  kill -0 "$waiting" || { echo "the waiting start did not wait"; exit 1; }
  kill -0 "$first" || { echo "the first instance ended early"; exit 1; }
  kill -TERM "$first"
  wait "$first" || { echo "the first instance did not end cleanly"; exit 1; }
  wait "$waiting" || { echo "the waiting start failed"; exit 1; }
' smoke "$program"
