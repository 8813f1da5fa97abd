#!/usr/bin/env bash
# The demo: with the development host built, render the built-in default
# voice; until then, show every plug-in as a host sees it.
set -euo pipefail
build="${1:-build}"
if [ -x "$build/bin/qz" ] && "$build/bin/qz" render --help >/dev/null 2>&1; then
  "$build/bin/qz" render -o demo.wav
  echo "wrote $(pwd)/demo.wav"
else
  "$build/bin/qz_inspect" "$build"/plugins/*.so
fi
