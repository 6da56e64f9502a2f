#!/usr/bin/env bash
# The program as a user meets it, on SDL's dummy drivers: on the demo game beside it, it runs until a termination
# signal ends it with status 0 and its settings written; a second copy started meanwhile ends at once, silently,
# with 0; a start-up failure says so and ends with 1, and so does a game folder without the game's files. With
# QORM_TITLE_FILE set it writes "title" there once its first title waits (after the opening movie), and a signal
# then ends it with 0; with QORM_START_FILE set it writes its start-up moments there. It does not load the movie
# libraries before a movie plays. Each wait is bounded: a run that never ends fails the test.
set -euo pipefail
program="$1"
tmp="${QORM_TEST_TMP:-${TMPDIR:-/tmp}}"
mkdir -p "$tmp"
work=$(mktemp -d "$tmp/qormXXXXXX")
pid=
trap '[ -n "$pid" ] && kill -9 "$pid" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/run" "$work/empty"
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy HOME="$work/home" XDG_DATA_HOME="$work/data" \
  XDG_RUNTIME_DIR="$work/run" QORM_DATA="$(dirname "$program")"
unset DISPLAY WAYLAND_DISPLAY

fail() {
  echo "$*" >&2
  cat "$work"/*.log >&2 2>/dev/null || true
  exit 1
}

# The first copy; it takes the termination signals before the lock, so once it holds the lock a signal ends the game.
"$program" -WINDOW /fps >"$work/first.log" 2>&1 &
pid=$!
for _ in $(seq 1200); do
  awk -v pid="$pid" '$5 == pid { found = 1 } END { exit !found }' /proc/locks && break
  kill -0 "$pid" 2>/dev/null || fail "the first copy ended before it took the lock"
  sleep 0.05
done

status=0
timeout 60 "$program" >"$work/second.log" 2>&1 || status=$?
[ "$status" = 0 ] || fail "the second copy ended with $status"
[ ! -s "$work/second.log" ] || fail "the second copy said something"

# Sends SIGTERM to the running copy; it must end with 0.
terminate() {
  kill -TERM "$pid"
  local status=0
  for _ in $(seq 1200); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
  kill -0 "$pid" 2>/dev/null && fail "the $1 did not end on SIGTERM"
  wait "$pid" || status=$?
  pid=
  [ "$status" = 0 ] || fail "the $1 ended with $status on SIGTERM"
}
terminate "first copy"
grep -q '^WindowMode=ON' "$work/data/BELVAR/QORM/QORM.ini" || fail "the settings were not written"

# A game folder that is not there: the message on standard error (no display) and status 1.
status=0
QORM_DATA="$work/missing" timeout 60 "$program" >"$work/missing.log" 2>&1 || status=$?
[ "$status" = 1 ] || fail "a missing game folder ended with $status"
grep -q 'Game Error: 初期化に失敗しました。' "$work/missing.log" || fail "a missing game folder said nothing"

# A game folder without the game's files: the game cannot open its screens, says which and ends with 1.
status=0
QORM_DATA="$work/empty" timeout 60 "$program" >"$work/empty.log" 2>&1 || status=$?
[ "$status" = 1 ] || fail "an empty game folder ended with $status"
grep -q 'could not be opened' "$work/empty.log" || fail "an empty game folder said nothing"

# The program does not load the movie libraries before a movie plays.
! ldd "$program" | grep -q 'libav' || fail "the program loads the movie libraries at its start"

# The first title reported to QORM_TITLE_FILE, once; a signal at the title ends the game with 0. The start-up moments
# go to QORM_START_FILE, in their order and on a clock that never goes back.
# Waits (bounded) until the running copy has reported its title.
wait_for_title() {
  for _ in $(seq 3600); do
    [ -s "$work/title" ] && return
    kill -0 "$pid" 2>/dev/null || fail "the $1 ended before its title"
    sleep 0.05
  done
}
QORM_TITLE_FILE="$work/title" QORM_START_FILE="$work/start" "$program" >"$work/title.log" 2>&1 &
pid=$!
wait_for_title "game"
[ "$(cat "$work/title" 2>/dev/null)" = title ] || fail "the title was not reported: $(cat "$work/title" 2>/dev/null)"
terminate "game at its title"
moments="main settings window splash datafiles devices fonts gameform sound display systemdata shown firstframe black"
moments="$moments titlescreens titlemusic titleframe title"
[ "$(awk '{ print $1 }' "$work/start" | paste -sd ' ')" = "$moments" ] ||
  fail "the start-up moments were not written in their order: $(cat "$work/start")"
awk 'NF != 3 || $2 !~ /^[0-9]+$/ || $3 !~ /^[0-9]+$/ || $2 < last { exit 1 } { last = $2 }' "$work/start" ||
  fail "a start-up moment has no times or goes back: $(cat "$work/start")"

# Without its opening movie the game comes to its title without ever loading the movie libraries. (The movies are
# read beside the program file: a copy of it stands in the game folder.)
game="$work/noopening"
mkdir -p "$game/Movie"
for f in "$(dirname "$program")"/*; do
  case "$(basename "$f")" in Movie | "$(basename "$program")") ;; *) ln -s "$f" "$game/" ;; esac
done
cp "$program" "$game/"
rm -f "$work/title"
QORM_DATA="$game" QORM_TITLE_FILE="$work/title" "$game/$(basename "$program")" >"$work/noopening.log" 2>&1 &
pid=$!
wait_for_title "game without its opening movie"
[ -s "$work/title" ] || fail "the game without its opening movie never came to its title"
! grep -q 'libav' "/proc/$pid/maps" || fail "the movie libraries were loaded for a movie that is not there"
terminate "game without its opening movie"
