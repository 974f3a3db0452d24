#!/usr/bin/env bash
# The tool on the file systems USB sticks and dual-boot disks use, each
# mounted through Debian's FUSE driver from an image: exFAT (names that
# ignore case), NTFS and FAT32 (no modes to set). On each: a save over the
# movie under another case of its name, a save over an existing file, a
# run killed while it writes (a later run removes what it left), and on
# exFAT and FAT a name with a character they reserve.
#   fuse_runs.sh BUILD_DIR    (as root, for the loop devices and mounts)
set -euo pipefail
dir="$(cd "$1" && pwd)"
work="$(mktemp -d)"
mounts=()
cleanup() {
  for m in "${mounts[@]}"; do umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true; done
  losetup -j "$work/exfat.img" 2>/dev/null | cut -d: -f1 | xargs -r losetup -d
  rm -rf "$work"
}
trap cleanup EXIT
"$dir/make_sample" "$work/big.3mm" 40 >/dev/null
"$dir/make_sample" "$work/movie.3mm" >/dev/null
# The tool's status (7 when saved) and last line.
silence() {
  status=0
  "$dir/hushmaker" "$@" >"$work/lines" || status=$?
  last="$(tail -1 "$work/lines")"
}
silence "$work/movie.3mm" "$work/silent.3mm"

mount_image() {
  local kind="$1" at="$work/$1" image="$work/$1.img"
  mkdir "$at"
  truncate -s 160M "$image"
  case "$kind" in
    exfat) mkfs.exfat "$image" >/dev/null; mount.exfat-fuse "$(losetup -f --show "$image")" "$at" 2>/dev/null ;;
    ntfs) mkntfs -F -Q "$image" >/dev/null 2>&1; ntfs-3g "$image" "$at" ;;
    fat32) mkfs.vfat -F 32 "$image" >/dev/null; fusefat -o rw+ "$image" "$at" >/dev/null 2>&1 ;;
  esac
  mounts+=("$at")
}

fail() { echo "$kind: $*"; exit 1; }
leftovers() { compgen -G "$at/.hushmaker-*" || true; }

for kind in exfat ntfs fat32; do
  mount_image "$kind"
  at="$work/$kind"
  # Another case of the movie's own name: the movie is silenced, never lost.
  cp "$work/movie.3mm" "$at/Movie.3mm"
  silence "$at/Movie.3mm" "$at/movie.3mm"
  [ "$status" = 7 ] && cmp -s "$at/movie.3mm" "$work/silent.3mm" && [ -e "$at/Movie.3mm" ] ||
    fail "Movie.3mm onto movie.3mm: status $status, $(ls -a "$at" | tr '\n' ' ')"
  # Over an existing file, whose mode the file system cannot change.
  cp "$work/movie.3mm" "$at/in.3mm"
  cp "$work/movie.3mm" "$at/out.3mm"
  silence "$at/in.3mm" "$at/out.3mm"
  [ "$status" = 7 ] && cmp -s "$at/out.3mm" "$work/silent.3mm" || fail "over an existing file: $last"
  # Killed while it writes: a part-written file is left, which the next
  # run in the folder removes once nothing holds it (aged here, as if a
  # minute had passed).
  cp "$work/big.3mm" "$at/big.3mm"
  "$dir/hushmaker" "$at/big.3mm" "$at/big-out.3mm" >/dev/null &
  run=$!
  until [ -n "$(leftovers)" ] || ! kill -0 "$run" 2>/dev/null; do :; done
  kill -KILL "$run" 2>/dev/null || true
  wait "$run" 2>/dev/null || true
  left="$(leftovers)"
  [ -n "$left" ] && touch -d '2 minutes ago' $left
  silence "$at/in.3mm" "$at/again.3mm"
  [ "$status" = 7 ] || fail "the run after a kill: $last"
  [ -z "$(leftovers)" ] || fail "left after the next run: $(leftovers)"
  echo "$kind: in place under another case, over a file, and after a kill ($([ -n "$left" ] && echo "a file left, then removed" || echo "nothing left")): right"
done

# exFAT and FAT reserve some characters: the name is refused for what it is.
for kind in exfat fat32; do
  at="$work/$kind"
  silence "$at/in.3mm" "$at/what?.3mm"
  [ "$status" = 3 ] && [ "$last" = "Error: The folder won't take a new file by that name" ] ||
    fail "a reserved character: status $status, $last"
  echo "$kind: a reserved character: refused for what it is"
done
