#!/usr/bin/env bash
# scripts/run in a copy of the tree whose build and program are stubs, with the real local backend on
# a free port: it builds only what runs, an account of day one is known on day two, and a port that
# oxel pro cannot be given or that another program holds stops it.
# Usage: run-script.sh SOURCE-DIR OXEL-BACKEND
set -euo pipefail
tree=$(mktemp -d)
trap 'kill ${other:-} 2>/dev/null; rm -rf "$tree"' EXIT
mkdir -p "$tree"/{scripts,bin,build/release/src/app,build/release/tools/localbackend}
cp "$1/scripts/run" "$tree/scripts/" && cp -r "$1/resources" "$tree/" && cp -r "$1/resources" "$tree/build/release/"
ln -s "$2" "$tree/build/release/tools/localbackend/oxel-backend"
printf '#!/bin/sh\n' >"$tree/scripts/install-deps"
printf '#!/bin/sh\necho "$*" >>"%s/cmake.log"\n' "$tree" >"$tree/bin/cmake"
# The program runs the day's Python, which may ask the backend it was given.
printf '#!/bin/sh\nexec python3 -c "import json, os, sys, time, urllib.request as r
def ask(path, body=None):
    for _ in range(100):
        try: return r.urlopen(os.environ[\\"OXEL_BACKEND_URL\\"] + path, body, timeout=5).read().decode()
        except OSError: time.sleep(0.05)
$DAY"\n' >"$tree/build/release/src/app/oxel-pro"
chmod +x "$tree"/scripts/* "$tree/bin/cmake" "$tree/build/release/src/app/oxel-pro"
export HOME=$tree PATH=$tree/bin:$PATH OXEL_MODEL_URL=http://127.0.0.1:9/v1
unset XDG_DATA_HOME
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
DAY='open("'"$tree/user"'", "w").write(str(json.loads(ask("/auth/apple", b"{\"identityToken\": \"day\"}"))["userId"]))' \
  "$tree/scripts/run" --port "$port"
DAY='sys.exit(not ask("/credits/balance?userId=" + open("'"$tree/user"'").read()))' "$tree/scripts/run" --port "$port" ||
  { echo "day two does not know the account of day one"; exit 1; }
grep -q -- "--build build/release .*--target oxel-pro oxel-backend oxel-model$" "$tree/cmake.log" ||
  { echo "the run builds more than it runs"; exit 1; }
status=0
timeout 10 "$tree/scripts/run" --port 0 || status=$?
[ "$status" = 2 ] || { echo "a run did not refuse a port oxel pro cannot be given"; exit 1; }
python3 -m http.server --bind 127.0.0.1 "$port" >/dev/null 2>&1 &
other=$!
until (: <"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do sleep 0.05; done
if DAY='open("'"$tree/started"'", "w")' "$tree/scripts/run" --port "$port" || [ -f "$tree/started" ]; then
  echo "a run started on a port another program holds"
  exit 1
fi
