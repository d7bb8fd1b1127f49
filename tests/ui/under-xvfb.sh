#!/usr/bin/env bash
# Runs the designer's tests on a virtual X display of their own, so they neither need nor disturb
# a desktop. Without Xvfb they are skipped (77), except in CI, where that is a failure.
set -euo pipefail
tests=$1
shift
if ! command -v xvfb-run >/dev/null; then
  if [ "${CI:-}" = true ]; then
    echo "ui tests: xvfb-run is missing (scripts/setup test installs it)" >&2
    exit 1
  fi
  echo "ui tests: skipped, xvfb-run is not installed" >&2
  exit 77
fi
# A private settings file and program state: the tests must not read or write the user's.
scratch=$(mktemp -d /tmp/orvik-ui.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
export ORVIK_CONFIG="$scratch/Orvik18.ini"
export XDG_CONFIG_HOME="$scratch/config" XDG_CACHE_HOME="$scratch/cache" XDG_DATA_HOME="$scratch/data"
# WebKit's sandbox cannot start as root in a container; the page is our own file.
export WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS=1
export NO_AT_BRIDGE=1
exec timeout 280 xvfb-run -a -s "-screen 0 1600x1000x24" "$tests" "$@"
