#!/usr/bin/env bash
# Installs the build into a scratch tree and packs it as a .deb, checks
# what lands where, and that the manual page renders without a warning.
#   install_layout.sh BUILD_DIR
set -euo pipefail
build="$1"
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT

cmake --install "$build" --prefix "$stage/usr" >/dev/null
for file in usr/bin/hushmaker usr/share/man/man1/hushmaker.1 usr/share/doc/Hushmaker/README.md; do
  [ -f "$stage/$file" ] || { echo "missing after install: $file"; exit 1; }
done
[ -x "$stage/usr/bin/hushmaker" ] || { echo "usr/bin/hushmaker is not executable"; exit 1; }

# The .deb installs the same files under /usr.
cpack -G DEB -B "$stage/deb" --config "$build/CPackConfig.cmake" >/dev/null
contents="$(dpkg-deb -c "$stage"/deb/hushmaker_*.deb)"
for file in ./usr/bin/hushmaker ./usr/share/man/man1/hushmaker.1; do
  grep -q " $file\$" <<<"$contents" || { echo "missing from the .deb: $file"; exit 1; }
done

warnings="$(groff -man -ww -z "$stage/usr/share/man/man1/hushmaker.1" 2>&1)"
[ -z "$warnings" ] || { echo "the manual page renders with warnings:"; echo "$warnings"; exit 1; }
echo "install layout and manual page: fine"
