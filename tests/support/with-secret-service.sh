#!/bin/sh
# Runs a command inside a private D-Bus session whose Secret Service is a fresh keyring, unlocked
# with an empty password, in a temporary home: tests never see or touch the user's own secrets.
set -u
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT INT TERM
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache"
export OXEL_TEST_SECRET_SERVICE=1
unset DBUS_SESSION_BUS_ADDRESS
dbus-run-session -- sh -c 'echo | gnome-keyring-daemon --unlock --components=secrets >/dev/null && exec "$@"' sh "$@"
