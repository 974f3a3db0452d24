#!/usr/bin/env bash
# Checks a packaged Windows build: the exe is stripped, carries its
# resources, asks for no newer Windows than XP, and imports exactly what
# tests/windows/imports-ARCH.txt lists (a new import is a conscious change:
# check that XP SP3 / XP x64 have it, then add it to the list).
#   check_package.sh ZIP ARCH
set -euo pipefail
zip="$1" arch="$2"
here="$(cd "$(dirname "$0")" && pwd)"
objdump="$arch-w64-mingw32-objdump"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "$zip: $*"; exit 1; }

(cd "$work" && unzip -q "$zip")
exe="$(find "$work" -maxdepth 2 -name Hushmaker.exe | head -1)"
[ -n "$exe" ] || fail "no Hushmaker.exe"
[ -f "$(dirname "$exe")/README.md" ] || fail "no README.md beside the exe"

headers="$("$objdump" -p "$exe")"
"$objdump" -t "$exe" | grep -q "no symbols" || fail "the exe is not stripped"
! "$objdump" -h "$exe" | grep -q "\.debug" || fail "the exe has debug sections"
"$objdump" -h "$exe" | grep -q "\.rsrc" || fail "the exe has no resources"
strings -el "$exe" | grep -qx "Hushmaker" || fail "no version resource"
minor=$([ "$arch" = i686 ] && echo 1 || echo 2)
grep -qP "^MajorSubsystemVersion\t5$" <<<"$headers" && grep -qP "^MinorSubsystemVersion\t$minor$" <<<"$headers" ||
  fail "the subsystem version is not 5.0$minor"

# Every imported function as "DLL function", one a line.
awk '/DLL Name:/ {dll = $3; next} dll && NF == 0 {dll = ""} dll && $1 ~ /^[0-9a-f]+$/ && NF >= 3 {print dll, $3}' \
  <<<"$headers" | sort >"$work/imports.txt"
[ -s "$work/imports.txt" ] || fail "no imports read"
diff -u "$here/imports-$arch.txt" "$work/imports.txt" || fail "imports differ from tests/windows/imports-$arch.txt"
echo "$zip: stripped, resources, subsystem 5.0$minor, $(wc -l <"$work/imports.txt") imports as listed"
