#!/usr/bin/env bash
# What display_demo says and the status it ends with where there is no display, on SDL's dummy driver, and for a
# bad command line or picture. Each run is bounded: a run that never ends fails the test.
set -euo pipefail
tool="$1"
tmp="${QORM_TEST_TMP:-${TMPDIR:-/tmp}}"
mkdir -p "$tmp"
work=$(mktemp -d "$tmp/display_demoXXXXXX")
trap 'rm -rf "$work"' EXIT

# run EXPECTED_STATUS [env assignments...] -- ARGS...: runs the tool with a clean display environment.
run() {
  local expected="$1" status=0
  shift
  local assignments=()
  while [ "$1" != "--" ]; do assignments+=("$1"); shift; done
  shift
  env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR -u SDL_VIDEODRIVER "${assignments[@]}" \
    timeout 120 "$tool" "$@" >"$work/out" 2>"$work/err" || status=$?
  if [ "$status" != "$expected" ]; then
    echo "display_demo $*: status $status, expected $expected" >&2
    cat "$work/out" "$work/err" >&2
    exit 1
  fi
}

# No display: it says so (and why) and ends with 2, with or without --frames; libwayland has nothing to say.
for args in "--frames 5" ""; do
  # shellcheck disable=SC2086
  run 2 -- $args
  grep -q '^display_demo: no display: .*DISPLAY and WAYLAND_DISPLAY are not set' "$work/err"
  if grep -q XDG_RUNTIME_DIR "$work/err"; then exit 1; fi
  [ ! -s "$work/out" ]
done

# The dummy driver, asked for: the frames are shown and counted; without --frames nothing would end it.
run 0 SDL_VIDEODRIVER=dummy -- --frames 3
grep -qx 'display_demo: 3 frames shown on the dummy video driver' "$work/out"
run 2 SDL_VIDEODRIVER=dummy --
grep -q '^display_demo: no display: the dummy video driver shows nothing; give --frames N' "$work/err"

# A bad command line is a usage error; a picture that cannot be read ends with 1 before any window opens.
for args in "--frames" "--frames 0" "--frames x" "--frames 5x" "--bogus"; do
  # shellcheck disable=SC2086
  run 2 SDL_VIDEODRIVER=dummy -- $args
  grep -q '^usage: display_demo' "$work/err"
done
run 1 SDL_VIDEODRIVER=dummy -- --frames 1 "$work/missing.png"
grep -q "^display_demo: cannot open $work/missing.png" "$work/err"
echo 'not a picture' >"$work/bad.bmp"
run 1 SDL_VIDEODRIVER=dummy -- --frames 1 "$work/bad.bmp"
grep -q "^display_demo: cannot read the picture $work/bad.bmp" "$work/err"
