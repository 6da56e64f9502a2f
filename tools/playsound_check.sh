#!/usr/bin/env bash
# The sound player on SDL's dummy output: a 10 ms sound plays to its end and says so with its length (never a
# position beyond it), status 0; a looping sound plays until interrupted; sounds it cannot play are named with the
# reason, status 1; bad arguments, status 2.
set -euo pipefail
tool="$1"
work=$(mktemp -d "${QORM_TEST_TMP:-${TMPDIR:-/tmp}}/playsoundXXXXXX")
trap 'rm -rf "$work"' EXIT
export SDL_AUDIODRIVER=dummy

# A RIFF WAVE file: format tag, channels, rate, bits, then `bytes` bytes of silence.
wave() {
  local tag=$1 channels=$2 rate=$3 bits=$4 bytes=$5
  local align=$((channels * bits / 8))
  le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))"; }
  le32() { le16 $(($1 & 65535)); le16 $(($1 >> 16)); }
  printf 'RIFF'; le32 $((36 + bytes)); printf 'WAVEfmt '; le32 16
  le16 "$tag"; le16 "$channels"; le32 "$rate"; le32 $((rate * align)); le16 "$align"; le16 "$bits"
  printf 'data'; le32 "$bytes"; head -c "$bytes" /dev/zero
}

wave 1 2 44100 16 1764 >"$work/short.wav"
"$tool" "$work/short.wav" >"$work/out" 2>"$work/err"
tr '\r' '\n' <"$work/out" >"$work/lines"
grep -q '44100 Hz, 2 channel(s), 16 bits, 0.010 s' "$work/lines"
tail -n 2 "$work/lines" | head -n 1 | grep -q '^   0.010 s of 0.010 s$'
tail -n 1 "$work/lines" | grep -q '^played to the end$'
if grep -v 'of 0.010 s' "$work/lines" | grep -q ' s of '; then exit 1; fi
if grep -q ' 0.0[2-9][0-9] s of\| [1-9]\.[0-9]* s of\| 0.[1-9][0-9]* s of' "$work/lines"; then exit 1; fi

# Looping, it plays until a SIGTERM, then says so and ends with 0; interrupted while playing once, with 4.
wave 1 2 44100 16 176400 >"$work/one.wav"
for mode in --loop once; do
  args=("$work/one.wav"); [ "$mode" = --loop ] && args+=(--loop)
  "$tool" "${args[@]}" >"$work/out" 2>"$work/err" &
  pid=$!
  for _ in $(seq 1 200); do grep -q ' s of ' "$work/out" && break; sleep 0.05; done
  kill -TERM "$pid"
  status=0
  wait "$pid" || status=$?
  if [ "$mode" = --loop ]; then
    [ "$status" -eq 0 ]
    tr '\r' '\n' <"$work/out" | tail -n 1 | grep -q '^stopped looping$'
  else
    # A one-second sound may end by itself before the signal comes on a slow machine.
    [ "$status" -eq 4 ] || [ "$status" -eq 0 ]
  fi
done

refused() {
  local file=$1 reason=$2 status=0
  "$tool" "$file" >/dev/null 2>"$work/err" || status=$?
  [ "$status" -eq 1 ]
  grep -qxF "$file: $reason" "$work/err"
}
wave 0x1234 2 44100 16 1764 >"$work/odd.wav"
refused "$work/odd.wav" 'WAVE format 0x1234 is not supported'
wave 1 6 44100 16 1200 >"$work/six.wav"
refused "$work/six.wav" '6 channels: only mono and stereo sounds play'
refused "$work/missing.wav" 'cannot be opened: No such file or directory'
refused "$work/sound.flac" 'not a kind of sound this program plays (.ogg, .bgm, .wav, .mp3, .adp)'

status=0
"$tool" >/dev/null 2>&1 || status=$?
[ "$status" -eq 2 ]
echo "playsound: all checks passed"
