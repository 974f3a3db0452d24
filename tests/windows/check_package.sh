#!/usr/bin/env bash
# Checks a packaged Windows build: README and license beside the exe with CRLF
# line ends; the exe stripped, with its resources, ASLR and no-execute data
# (high-entropy ASLR on x64), no newer Windows than XP, and exactly the imports
# tests/windows/imports-ARCH.txt lists (add one only once XP SP3/x64 have it).
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
for text in README.txt LICENSE.txt; do
  file="$(dirname "$exe")/$text"
  [ -f "$file" ] || fail "no $text beside the exe"
  [ "$(grep -c $'\r$' "$file")" = "$(wc -l <"$file")" ] || fail "$text has lines without CRLF"
done

headers="$("$objdump" -p "$exe")"
"$objdump" -t "$exe" | grep -q "no symbols" || fail "the exe is not stripped"
! "$objdump" -h "$exe" | grep -q "\.debug" || fail "the exe has debug sections"
"$objdump" -h "$exe" | grep -q "\.rsrc" || fail "the exe has no resources"
strings -el "$exe" | grep -qx "Hushmaker" || fail "no version resource"
flags="DYNAMIC_BASE NX_COMPAT"
[ "$arch" = x86_64 ] && flags="$flags HIGH_ENTROPY_VA"
for flag in $flags; do
  grep -qP "^\t+$flag$" <<<"$headers" || fail "the exe does not ask for $flag"
done
minor=$([ "$arch" = i686 ] && echo 1 || echo 2)
grep -qP "^MajorSubsystemVersion\t5$" <<<"$headers" && grep -qP "^MinorSubsystemVersion\t$minor$" <<<"$headers" ||
  fail "the subsystem version is not 5.0$minor"

# Every imported function as "DLL function", one a line.
awk '/DLL Name:/ {dll = $3; next} dll && NF == 0 {dll = ""} dll && $1 ~ /^[0-9a-f]+$/ && NF >= 3 {print dll, $3}' \
  <<<"$headers" | sort >"$work/imports.txt"
[ -s "$work/imports.txt" ] || fail "no imports read"
diff -u "$here/imports-$arch.txt" "$work/imports.txt" || fail "imports differ from tests/windows/imports-$arch.txt"
echo "$zip: CRLF texts, stripped, resources, $flags, subsystem 5.0$minor, $(wc -l <"$work/imports.txt") imports as listed"
