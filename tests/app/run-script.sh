#!/usr/bin/env bash
# scripts/run over two days, in a copy of the tree whose build is stood in for (cmake and the
# program are stubs; the local backend is the real one, on a free port): the build is only what
# runs, and an account made on the first day is known on the second.
# Usage: run-script.sh SOURCE-DIR OXEL-BACKEND
set -euo pipefail
source_dir=$1
tree=$(mktemp -d)
# Whatever failed, the runs end (the first waits for its quit file) before their folder goes.
other=""
finish() {
  [ -z "$other" ] || kill "$other" || true
  touch "$tree/home/quit"
  wait || true
  rm -rf "$tree"
}
trap finish EXIT
mkdir -p "$tree"/{scripts,bin,home,build/release/resources,build/release/src/app,build/release/tools/localbackend}
cp "$source_dir/scripts/run" "$tree/scripts/"
cp -r "$source_dir/resources" "$tree/"
cp "$source_dir/resources/oxel-pro-url.desktop" "$tree/build/release/resources/"
ln -s "$2" "$tree/build/release/tools/localbackend/oxel-backend"
printf '#!/bin/sh\n' >"$tree/scripts/install-deps"
printf '#!/bin/sh\necho "$*" >>"%s/cmake.log"\n' "$tree" >"$tree/bin/cmake"
# The program runs the day's Python against the backend it was given.
printf '#!/bin/sh\nexec python3 -c "$DAY"\n' >"$tree/build/release/src/app/oxel-pro"
chmod +x "$tree"/scripts/* "$tree/bin/cmake" "$tree/build/release/src/app/oxel-pro"
export HOME=$tree/home PATH=$tree/bin:$PATH OXEL_MODEL_URL=http://127.0.0.1:9/v1
unset XDG_DATA_HOME
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
ask='import json, os, sys, time, urllib.request as r
def ask(path, body=None):
    for _ in range(100):
        try: return r.urlopen(os.environ["OXEL_BACKEND_URL"] + path, body, timeout=5)
        except r.HTTPError as e: return e
        except OSError: time.sleep(0.05)
'

user='open(os.environ["HOME"] + "/user").read()'
known='ask("/credits/balance?userId=" + '"$user"').status == 200'
# Day one signs in and keeps the window open while a second run uses the same backend.
DAY="$ask"'open(os.environ["HOME"] + "/user", "w").write(str(json.load(ask("/auth/apple", b"{\"identityToken\": \"day\"}"))["userId"]))
while not os.path.exists(os.environ["HOME"] + "/quit"): time.sleep(0.05)
sys.exit(not '"$known"')' "$tree/scripts/run" --port "$port" &
day_one=$!
until [ -s "$HOME/user" ]; do sleep 0.05; done
DAY="$ask"'sys.exit(not '"$known"')' "$tree/scripts/run" --port "$port" || { echo "a second run did not reach the backend"; exit 1; }
touch "$HOME/quit"
wait "$day_one" || { echo "a second run stopped the first run's backend"; exit 1; }
DAY="$ask"'sys.exit(not '"$known"')' "$tree/scripts/run" --port "$port" ||
  { echo "the second day does not know the first day's account"; exit 1; }
[ -f "$HOME/.local/share/oxel-backend/state.json" ] || { echo "no state in the user's data folder"; exit 1; }
grep -q -- "--build build/release .*--target oxel-pro oxel-backend oxel-model$" "$tree/cmake.log" ||
  { echo "the run builds more than it runs"; exit 1; }
# A port another program holds stops the run before the program starts.
python3 -m http.server --bind 127.0.0.1 "$port" >/dev/null 2>&1 &
other=$!
until (: <"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do sleep 0.05; done
if DAY='open("'"$HOME"'/started", "w")' "$tree/scripts/run" --port "$port" || [ -f "$HOME/started" ]; then
  echo "a run started on a port another program holds"
  exit 1
fi
