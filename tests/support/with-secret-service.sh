#!/bin/sh
# Runs a command inside a private D-Bus session whose Secret Service is a fresh keyring, unlocked
# with an empty password, in a temporary home: tests never see or touch the user's own secrets.
set -u
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT INT TERM
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache"
export OXEL_TEST_SECRET_SERVICE=1
unset DBUS_SESSION_BUS_ADDRESS
# The unlocked daemon takes a moment to claim the Secret Service's name; a request made before that
# would start a second, locked daemon through D-Bus activation, so the command waits for it.
dbus-run-session -- sh -c '
  echo | gnome-keyring-daemon --unlock --components=secrets >/dev/null || exit 1
  tries=0
  until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
          org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q "boolean true"; do
    tries=$((tries + 1))
    if [ "$tries" -gt 100 ]; then echo "[secrets] the test keyring did not start" >&2; exit 1; fi
    sleep 0.1
  done
  exec "$@"' sh "$@"
