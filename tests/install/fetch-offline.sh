#!/bin/sh
# scripts/fetch-segmentation-model with the npm registry out of reach names the package, says that
# the registry could not be reached and what to do. Usage: fetch-offline.sh SOURCE
set -eu
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# An empty npm cache, and no retries: the refused connection is final at once.
if said=$(npm_config_registry=http://127.0.0.1:9/ npm_config_cache="$work/npm" npm_config_fetch_retries=0 \
  "$1/scripts/fetch-segmentation-model" "$work/model" 2>&1); then
  echo "the fetch succeeded with the registry out of reach"
  exit 1
fi
for expected in "registry http://127.0.0.1:9/ could not be reached for @mediapipe/selfie_segmentation@" \
  "then run scripts/install-deps again"; do
  case $said in
  *"$expected"*) ;;
  *)
    echo "the failed fetch did not say \"$expected\"; it said:"
    echo "$said"
    exit 1
    ;;
  esac
done
