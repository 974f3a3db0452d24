#!/usr/bin/env bash
# Runs a Windows program under Wine for the tests. Once in a long while Wine
# fails to start a program at all: its loader gives up, and the launcher it
# falls back on prints "Application could not be started..." and exits 1
# before any of the program's code has run (seen in CI as "ShellExecuteEx
# failed: Internal error"), or it fails without a word: a test program that
# ran prints its test names before any test, yet one run under ctest -j2
# ended with status 1 and no output at all in 0.07 s. Such a launch is
# tried again, up to three times. A program that printed anything is never
# run a second time, whatever its result.
#   wine_launch.sh PROGRAM [ARGUMENTS...]
set -uo pipefail
out="$(mktemp)"
trap 'rm -f "$out"' EXIT
for attempt in 1 2 3; do
  wine "$@" | tee "$out"
  status=${PIPESTATUS[0]}
  if [ "$status" -eq 0 ] || { [ -s "$out" ] && ! head -n 1 "$out" | grep -q '^Application could not be started'; }; then
    exit "$status"
  fi
  echo "wine_launch.sh: Wine did not start $1, or it ended without a word (attempt $attempt)" >&2
done
exit "$status"
