#!/usr/bin/env bash
# The tool on the file systems USB sticks and dual-boot disks use, through
# Debian's FUSE drivers (exFAT and FAT32 ignore case, NTFS keeps no modes),
# on ext4 and on a bindfs view of a folder; each part says what it checks.
#   fuse_runs.sh BUILD_DIR    (as root, for the loop devices and mounts; else exits 77, skipped)
set -euo pipefail
dir="$(cd "$1" && pwd)"
for tool in mount.exfat-fuse mkfs.exfat ntfs-3g fusefat mkfs.vfat bindfs; do
  [ "$(id -u)" = 0 ] && [ -e /dev/fuse ] && command -v "$tool" >/dev/null ||
    { echo "needs root, /dev/fuse and $tool (scripts/test installs it)"; exit 77; }
done
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
"$dir/make_sample" "$work/other.3mm" 1 >/dev/null
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

# --each as the desktop entry runs it, in $at/each, on movies of these
# names (a name of one already there is not copied again): the status
# wanted, no given movie changed, and each copy saved the silent copy of its
# own movie, so none was written twice (and with "STATUS/N", N saved).
# Prints why any was not silenced.
exec_args="$(sed -n 's/^Exec=hushmaker \(.*\) %F$/\1/p' "$(dirname "$0")/../../desktop/hushmaker.desktop")"
there() { case "$1" in /*) echo "$1" ;; *) echo "$at/each/$1" ;; esac; }
each() {
  local want="${1%/*}" saved="${1#*/}" name line movie copy
  shift
  mkdir -p "$at/each" "$work/given" && find "$at/each" "$work/given" -mindepth 1 -delete
  for name in "$@"; do
    mkdir -p "$(dirname "$(there "$name")")"
    [ -e "$(there "$name")" ] || cp "$work/$([ -e "$work/given/0" ] && echo other || echo movie).3mm" "$(there "$name")"
    cp "$(there "$name")" "$work/given/$(ls "$work/given" | wc -l)"
  done
  status=0
  (cd "$at/each" && "$dir/hushmaker" $exec_args "$@" </dev/null >"$work/lines") || status=$?
  [ "$status" = "$want" ] || fail "--each $*: status $status, $(tail -3 "$work/lines")"
  [ "$saved" = "$want" ] || [ "$(grep -c '^Saved!$' "$work/lines")" = "$saved" ] || fail "--each $*: $(tail -1 "$work/lines")"
  local i=0
  for name in "$@"; do cmp -s "$(there "$name")" "$work/given/$i" || fail "--each $*: $name changed"; i=$((i + 1)); done
  while IFS= read -r line; do
    case "$line" in
      "Loading "*) movie="${line#Loading }" && movie="$(there "${movie%...}")" ;;
      "Saving to "*) copy="${line#Saving to }" && copy="$(there "${copy%...}")" ;;
      "Saved!") "$dir/hushmaker" "$movie" "$work/expected.3mm" >/dev/null || true  # the movie is as given
        cmp -s "$copy" "$work/expected.3mm" || fail "--each $*: $copy is not the copy of $movie" ;;
    esac
  done <"$work/lines"
  echo "$kind: --each $* (status $status) $(grep -E '^(Not saved|.* is the same movie as )' "$work/lines" | tr '\n' ' ')"
}
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
  # run in the folder removes, its run being over.
  cp "$work/big.3mm" "$at/big.3mm"
  "$dir/hushmaker" "$at/big.3mm" "$at/big-out.3mm" >/dev/null &
  run=$!
  until [ -n "$(leftovers)" ] || ! kill -0 "$run" 2>/dev/null; do :; done
  kill -KILL "$run" 2>/dev/null || true
  wait "$run" 2>/dev/null || true
  left="$(leftovers)"
  silence "$at/in.3mm" "$at/again.3mm"
  [ "$status" = 7 ] || fail "the run after a kill: $last"
  [ -z "$(leftovers)" ] || fail "left after the next run: $(leftovers)"
  echo "$kind: in place under another case, over a file, and after a kill ($([ -n "$left" ] && echo "a file left, then removed" || echo "nothing left")): right"
  # Names that are one file where case is ignored, and one movie named twice.
  blind=$([ "$kind" = ntfs ] && echo 7 || echo 3)
  each "$blind" a.3mm A-QUIET.3mm
  each "$blind" A-QUIET.3mm a.3mm
  each "$blind" Clip.3mm clip.bak
  [ "$kind" != exfat ] || each 3 café.3mm CAFÉ.bak  # FAT through FUSE takes ASCII names only
  each "$blind" Dir/a.3mm ./dir/a.bak  # a folder's own identity for each spelling there
  each 7/2 1a 2a
  each 3 a.3mm ./a.bak
  each 7 a.3mm a.3mm ./a.3mm
done

# exFAT and FAT reserve some characters: the name is refused for what it is.
for kind in exfat fat32; do
  at="$work/$kind"
  silence "$at/in.3mm" "$at/what?.3mm"
  [ "$status" = 3 ] && [ "$last" = "Error: The folder won't take a new file by that name" ] ||
    fail "a reserved character: status $status, $last"
  echo "$kind: a reserved character: refused for what it is"
done

# ext4, which the kernel itself resolves: other spellings of one folder,
# through a link and through a bind mount, are one folder.
kind=ext4 at="$work/ext4"
mkdir -p "$at/each" "$at/bound" "$at/elsewhere"
ln -s ../each "$at/elsewhere/link"
mount --bind "$at/each" "$at/bound" && mounts+=("$at/bound")
for spelling in ./a.bak "$at/each/a.bak" ../each/a.bak ../elsewhere/link/a.bak ../bound/a.bak; do
  each 3 a.3mm "$spelling"
done

# A bindfs view of a folder, whose locks a run in the folder itself does
# not see: a save through the view paused before each step of it (as
# Ctrl-Z pauses it) keeps its file while another run saves in the folder,
# and ends well when resumed. A user's file named as ours once were stays.
kind=bindfs
mkdir "$work/folder" "$work/view"
bindfs "$work/folder" "$work/view" && mounts+=("$work/view")
"$dir/make_sample" "$work/view/big.3mm" 8 >/dev/null
cp "$work/movie.3mm" "$work/folder/in.3mm"
cp "$work/movie.3mm" "$work/view/.hushmaker-backup.tmp"
touch -d '2 days ago' "$work/view/.hushmaker-backup.tmp"
for step in $(seq 1 1000); do
  echo old >"$work/view/out.3mm"
  HUSH_STOP_AT=$step HUSH_STOP_SIGNAL=19 LD_PRELOAD="$dir/tests/libstop_at_step.so" ASAN_OPTIONS=verify_asan_link_order=0 \
    "$dir/hushmaker" "$work/view/big.3mm" "$work/view/out.3mm" >"$work/live" &
  run=$!
  until [ "$(ps -o stat= -p "$run" | cut -c1)" = T ] || ! kill -0 "$run" 2>/dev/null; do sleep 0.01; done
  kill -0 "$run" 2>/dev/null || break  # ran through: every step was paused at
  silence "$work/folder/in.3mm" "$work/folder/in-quiet.3mm"
  [ "$status" = 7 ] || fail "the run in the folder, at step $step: $last"
  kill -CONT "$run"
  status=0 && wait "$run" || status=$?
  [ "$status" = 7 ] || fail "paused before step $step, then resumed: status $status, $(tail -1 "$work/live")"
done
status=0 && wait "$run" || status=$?
[ "$status" = 7 ] || fail "the run that was not paused: status $status"
[ -e "$work/view/.hushmaker-backup.tmp" ] || fail "the user's .hushmaker-backup.tmp was removed"
echo "bindfs: a save through the view paused before each of its $((step - 1)) steps, another in the folder: both saved"
