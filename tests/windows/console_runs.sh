#!/usr/bin/env bash
# The Windows tool under Wine on a real console (a pseudo-terminal is Wine's
# console here). A refused group waits for a key, as every failure does.
# Then it is stopped in the middle of saving a 100 MiB movie the ways a
# console user does: Ctrl-C typed into its console and the console closed.
# Every time the movie must be whole, the output absent or complete, and
# nothing else left in the folder. (One argument each time: from a Linux
# terminal the 32-bit exe is alone on the console Wine gives it, as after a
# drop, where a second argument would be a second movie.)
#   console_runs.sh BUILD_DIR
set -euo pipefail
dir="$(cd "$1" && pwd)"
launch="$(cd "$(dirname "$0")" && pwd)/wine_launch.sh"
work="$(mktemp -d)"
trap 'exec 3>&- || true; rm -rf "$work"' EXIT
mkdir "$work/run"
cd "$work/run"
"$launch" "$dir/make_sample.exe" "$work/movie.3mm" 100 </dev/null
cp "$work/movie.3mm" movie.3mm

# A whole run on the console: what it writes.
status=0
script -qefc "wine '$dir/Hushmaker.exe' movie.3mm" /dev/null </dev/null >/dev/null || status=$?
[ "$status" -eq 7 ] || { echo "the whole run ended with status $status"; exit 1; }
mv movie-quiet.3mm "$work/silent.3mm"

# In place through a symbolic link (Wine's links are the system's): the
# file it names is silenced and the link stays a link.
"$launch" "$dir/make_sample.exe" linked.3mm </dev/null
wine "$dir/Hushmaker.exe" linked.3mm expected.3mm </dev/null >/dev/null || true
ln -s linked.3mm link.3mm
status=0
wine "$dir/Hushmaker.exe" link.3mm link.3mm </dev/null >/dev/null || status=$?
[ "$status" -eq 7 ] && [ -L link.3mm ] && cmp -s linked.3mm expected.3mm ||
  { echo "in place through a link: status $status, $(ls -l link.3mm)"; exit 1; }
echo "in place through a link: the file it names silenced, the link kept"
# A link to nothing (which Wine hides from the program) is never replaced.
ln -s gone.3mm dangling.3mm
status=0
wine "$dir/Hushmaker.exe" linked.3mm dangling.3mm </dev/null >/dev/null || status=$?
[ "$status" -eq 3 ] && [ -L dangling.3mm ] && [ ! -e gone.3mm ] ||
  { echo "a link to nothing: status $status, $(ls -l dangling.3mm)"; exit 1; }
echo "a link to nothing as the output: refused, the link kept"
# Wine keeps rights as Unix modes, which copied rules map back wider: a
# replaced file has the mode a new one gets, and one that would let others
# read it when the target did not is refused.
for mode in 644 600; do
  echo old >private.3mm && chmod "$mode" private.3mm
  status=0
  wine "$dir/Hushmaker.exe" linked.3mm private.3mm </dev/null >/dev/null || status=$?
  [ "$status:$(stat -c %a private.3mm):$(cmp -s private.3mm expected.3mm; echo $?)" = "$([ $mode = 644 ] && echo 7:644:0 || echo 3:600:1)" ] ||
    { echo "$mode replaced: status $status, $(stat -c %a private.3mm)"; exit 1; }
done
echo "a replaced file: 644 stays 644, 600 is refused and kept"
rm link.3mm linked.3mm expected.3mm dangling.3mm private.3mm

# A refused group on the console: the error stays on screen until a key.
"$launch" "$dir/make_sample.exe" refused.3mm refused </dev/null
# Read without Wine's cursor moves (they stand for spaces). The pause is cmd,
# which Wine now and then fails to start: tried three times in all.
paused=0
for attempt in 1 2 3; do
  status=0
  shown=$(printf 'x' | script -qefc "wine '$dir/Hushmaker.exe' refused.3mm" /dev/null) || status=$?
  [ "$status" -eq 2 ] || { echo "the refused group ended with status $status"; exit 1; }
  text=$(sed 's/\x1b\[[?0-9;]*[A-Za-z]//g' <<<"$shown" | tr -d ' \r\n')
  if grep -q "Pressanykey" <<<"$text"; then paused=1; break; fi
  echo "no pause after a refused group (attempt $attempt); the console showed: $text"
done
[ "$paused" = 1 ] || exit 1
echo "a refused group on the console: status 2, paused"
rm refused.3mm

mkfifo "$work/keys"
exec 3<>"$work/keys"
stops=0; before=0; strays=0
for how in ctrl-c close; do
  for _ in 1 2 3 4 5 6; do
    script -qefc "wine '$dir/Hushmaker.exe' movie.3mm" /dev/null <"$work/keys" >/dev/null 2>&1 &
    console=$!
    # The save is short here (the page cache takes the bytes): watch for
    # the new file without starting a process, then stop within ~10 ms.
    deadline=$((SECONDS + 20))
    until compgen -G '.hushmaker-*' >/dev/null || [ -e movie-quiet.3mm ] || [ $SECONDS -gt $deadline ]; do :; done
    delay_ms=$((RANDOM % 10))
    sleep "0.00$delay_ms"
    # Closing the console hangs up its terminal: the kernel sends SIGHUP to
    # the processes on it, which is what Wine sees of a closed console.
    if [ "$how" = ctrl-c ]; then printf '\003' >&3; else pkill -HUP -f "Hushmaker.exe movie.3mm" || true; fi
    { wait "$console"; } 2>/dev/null || true
    # Every process of the stop has ended (the wine server itself may stay).
    for _ in $(seq 1500); do pgrep -f "Hushmaker.exe movie.3mm" >/dev/null || break; sleep 0.02; done
    # Wine removes a doomed file a moment after its process has gone.
    for _ in $(seq 250); do compgen -G '.hushmaker-*' >/dev/null || break; sleep 0.02; done
    stops=$((stops + 1))
    [ -e movie-quiet.3mm ] || before=$((before + 1))
    echo "$how ${delay_ms} ms into the save: $([ -e movie-quiet.3mm ] && echo saved || echo stopped)"
    if [ -e movie-quiet.3mm ] && ! cmp -s movie-quiet.3mm "$work/silent.3mm"; then echo "$how: movie-quiet.3mm is not the complete document"; exit 1; fi
    cmp -s movie.3mm "$work/movie.3mm" || { echo "$how: the movie changed"; exit 1; }
    left=$( (ls -A | grep -vx -e movie.3mm -e movie-quiet.3mm || true) | wc -l)
    strays=$((strays + left))
    [ "$left" -eq 0 ] || { echo "$how: left behind:"; ls -A; exit 1; }
    rm -f movie-quiet.3mm
  done
done
echo "console stops: $stops stops ($before before the save was done), $strays stray files"
