#!/usr/bin/env bash
# Installs the build into a scratch prefix and looks at it as a Linux
# desktop does: the entry is valid, a movie is known by its name and by its
# first bytes, Hushmaker is its default handler, and opening two movies the
# way a file manager does (the Exec line, %F the files) silences both.
#   desktop_entry.sh BUILD_DIR    (exits 77, skipped, without the desktop's tools)
set -euo pipefail
build="$(cd "$1" && pwd)"
for tool in desktop-file-validate update-desktop-database update-mime-database xdg-mime mimetype; do
  command -v "$tool" >/dev/null || { echo "no $tool (scripts/test installs it)"; exit 77; }
done
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
fail() { echo "$*"; exit 1; }

cmake --install "$build" --prefix "$stage/usr" >/dev/null
share="$stage/usr/share"
desktop-file-validate "$share/applications/hushmaker.desktop"
for size in 48 256; do
  file -b "$share/icons/hicolor/${size}x$size/apps/hushmaker.png" | grep -q " $size x $size," || fail "no $size px icon"
done
export XDG_DATA_DIRS="$share" XDG_DATA_HOME="$stage/home/data" XDG_CONFIG_HOME="$stage/home/config" HOME="$stage/home"
update-mime-database "$share/mime"
update-desktop-database "$share/applications"

mkdir "$stage/movies"
cd "$stage/movies"
"$build/make_sample" a.3mm >/dev/null
"$build/make_sample" b.3mm 1 >/dev/null
cp a.3mm "a movie without its ending"
for file in a.3mm "a movie without its ending"; do
  [ "$(xdg-mime query filetype "$file")" = application/x-3mm-movie ] || fail "$file: $(xdg-mime query filetype "$file")"
done
[ "$(xdg-mime query default application/x-3mm-movie)" = hushmaker.desktop ] || fail "default: $(xdg-mime query default application/x-3mm-movie)"

# Opened as a file manager opens it, from the installed programs.
exec_line="$(sed -n 's/^Exec=//p' "$share/applications/hushmaker.desktop")"
read -r -a command <<<"${exec_line% %F}"
status=0
PATH="$stage/usr/bin:$PATH" "${command[@]}" "$PWD/a.3mm" "$PWD/b.3mm" </dev/null >/dev/null || status=$?
[ "$status" = 7 ] || fail "opened from the desktop: status $status"
for movie in a b; do
  "$build/hushmaker" $movie.3mm expected.3mm >/dev/null || cmp -s $movie-quiet.3mm expected.3mm || fail "$movie.3mm: no copy"
done
echo "desktop entry, file type, default handler, icons and an opening of two movies: fine"
