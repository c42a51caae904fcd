#!/bin/sh
# An installed copy needs nothing from the source or build folders: the program is installed into
# a temporary prefix and holds the colour profiles and grain textures, and oxel-install-check,
# built from the same libraries, develops and exports from beside it with empty folders laid over
# both trees (a mount namespace of its own).
# Usage: check-install.sh SOURCE BUILD CHECK_PROGRAM
set -eu
source=$(realpath "$1")
build=$(realpath "$2")
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
case "$prefix/" in
"$source"/* | "$build"/*)
  echo "the temporary folder $prefix lies in a tree it must hide: set TMPDIR elsewhere"
  exit 1
  ;;
esac
cmake --install "$build" --prefix "$prefix" >/dev/null
# The installed program holds the profiles and the grain textures themselves.
python3 -c '
import sys
program = open(sys.argv[1], "rb").read()
missing = [name for name in sys.argv[2:] if open(name, "rb").read() not in program]
sys.exit("the installed program lacks " + ", ".join(missing) if missing else None)
' "$prefix/bin/oxel-pro" "$source"/resources/icc/*.icc "$build"/resources/grain/*.png
# The embedded segmentation model's licence goes with the copy.
if [ -e "$build/segmentation-model/LICENSE-Apache-2.0" ] && [ -z "$(find "$prefix" -name LICENSE-Apache-2.0)" ]; then
  echo "the installed copy lacks the segmentation model's licence"
  exit 1
fi
cp "$3" "$prefix/bin/"
mkdir "$prefix/check"
cp "$source/resources/icc/sRGB.icc" "$prefix/check/expected-sRGB.icc"
# A mount namespace of its own; without root, inside a user namespace of its own.
if unshare --mount true 2>/dev/null; then
  as_root=
elif unshare --map-root-user --mount true 2>/dev/null; then
  as_root=--map-root-user
else
  echo "cannot make a mount namespace here (unshare --mount), which the check needs"
  exit 1
fi
# The build folder first: it may lie inside the source folder.
unshare $as_root --mount sh -ec '
  mount -t tmpfs out-of-reach "$2"
  mount -t tmpfs out-of-reach "$1"
  [ -z "$(ls -A "$1")" ] || { echo "the source folder is still in reach"; exit 1; }
  cd "$3/check"
  "$3/bin/oxel-install-check" "$3/check" "$3/check/expected-sRGB.icc"
' check "$source" "$build" "$prefix"
