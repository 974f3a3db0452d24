#!/usr/bin/env bash
# Installs the build into a scratch tree and packs it as a .deb, checks
# what lands where, that the manual page renders without a warning, and
# that Debian's lintian finds nothing to warn about in the package.
#   install_layout.sh BUILD_DIR
set -euo pipefail
build="$1"
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT

cmake --install "$build" --prefix "$stage/usr" >/dev/null
doc=usr/share/doc/hushmaker
for file in usr/bin/hushmaker usr/share/man/man1/hushmaker.1.gz $doc/README.md $doc/copyright $doc/changelog.gz; do
  [ -f "$stage/$file" ] || { echo "missing after install: $file"; exit 1; }
done
[ -x "$stage/usr/bin/hushmaker" ] || { echo "usr/bin/hushmaker is not executable"; exit 1; }

# The .deb installs the same files under /usr.
cpack -G DEB -B "$stage/deb" --config "$build/CPackConfig.cmake" >/dev/null
contents="$(dpkg-deb -c "$stage"/deb/hushmaker_*.deb)"
for file in ./usr/bin/hushmaker ./usr/share/man/man1/hushmaker.1.gz ./$doc/copyright \
  ./usr/share/applications/hushmaker.desktop ./usr/share/mime/packages/hushmaker.xml \
  ./usr/share/icons/hicolor/{48x48,256x256}/apps/hushmaker.png; do
  grep -q " $file\$" <<<"$contents" || { echo "missing from the .deb: $file"; exit 1; }
done

warnings="$(zcat "$stage/usr/share/man/man1/hushmaker.1.gz" | groff -man -ww -z 2>&1)"
[ -z "$warnings" ] || { echo "the manual page renders with warnings:"; echo "$warnings"; exit 1; }

# Errors and warnings only; root is told not to run it, which is no finding.
if command -v lintian >/dev/null; then
  findings="$(lintian "$stage"/deb/hushmaker_*.deb 2>&1 | grep -E '^[EW]: ' || true)"
  [ -z "$findings" ] || { echo "lintian:"; echo "$findings"; exit 1; }
  echo "lintian: no error, no warning"
else
  echo "lintian is not installed (scripts/test installs it): the package was not checked"
fi
echo "install layout and manual page: fine"
