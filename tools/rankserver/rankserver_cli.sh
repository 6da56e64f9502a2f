#!/usr/bin/env bash
# The ranking server as its keeper meets it: a certificate of its own, songs and users managed from the command
# line, refused input with the reason given, usage, and a server that starts and stops on SIGTERM.
set -euo pipefail
tool="$1"
work=$(mktemp -d "${QORM_TEST_TMP:-${TMPDIR:-/tmp}}/rankcliXXXXXX")
server=""
trap '[ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"

fail() {
  echo "rankserver_cli: $*" >&2
  exit 1
}
# Runs the tool expecting the exit status $1; its standard error is kept in err, its output in out.
expect() {
  local want=$1
  shift
  local got=0
  "$tool" "$@" >out 2>err </dev/null || got=$?
  [ "$got" -eq "$want" ] || { cat out err >&2; fail "rankserver $* exited $got, not $want"; }
}

expect 0 --help
grep -q '^usage: rankserver' out || fail "no usage text"
grep -q 'RankingServer=' out || fail "the usage text does not say how the game finds the server"
expect 2
expect 2 frobnicate
expect 2 song add QM01
grep -q '^usage: rankserver' err || fail "no usage after a wrong command line"

expect 0 makecert --cert cert.pem --key key.pem localhost 127.0.0.1
grep -q 'BEGIN CERTIFICATE' cert.pem || fail "no certificate written"
grep -q 'BEGIN PRIVATE KEY' key.pem || fail "no key written"
[ "$(stat -c %a key.pem)" = 600 ] || fail "the key is readable by others"

expect 0 --db r.db song add QM01 "最初の歌"
expect 0 --db r.db song add QM02 "二番目, with a comma"
expect 1 --db r.db song add "Q&1" title
grep -q 'not a usable song ID' err || fail "no reason for a refused song ID"
expect 1 --db r.db song add QM03 "$(printf '\xf0\x9f\x8e\xb5')"
grep -q 'not a usable title' err || fail "no reason for a refused title"
expect 0 --db r.db song list
[ "$(cat out)" = "$(printf 'QM01,最初の歌\nQM02,二番目, with a comma')" ] || fail "song list: $(cat out)"
expect 1 --db r.db song remove QM09
grep -q 'no song QM09' err || fail "no reason for removing an unknown song"

echo secret | "$tool" --db r.db user add alice >out 2>err || fail "user add: $(cat err)"
echo secret | "$tool" --db r.db user add "a,b" >out 2>err && fail "a user ID with a comma was taken"
grep -q 'not a usable user ID' err || fail "no reason for a refused user ID"
expect 1 --db r.db user remove nobody
expect 0 --db r.db ranking QM01 hard
[ ! -s out ] || fail "an empty ranking printed: $(cat out)"
expect 2 --db r.db ranking QM01 expert

expect 1 --db r.db serve --cert missing.pem --key key.pem --listen 127.0.0.1:0
grep -q 'cannot use the certificate' err || fail "no reason for a missing certificate"

"$tool" --db r.db serve --cert cert.pem --key key.pem --listen 127.0.0.1:0 >serve.out 2>&1 &
server=$!
for _ in $(seq 600); do
  grep -q 'serving' serve.out && break
  kill -0 "$server" 2>/dev/null || fail "the server ended: $(cat serve.out)"
  sleep 0.1
done
grep -q 'serving r.db on port [1-9]' serve.out || fail "the server did not start: $(cat serve.out)"
kill -TERM "$server"
status=0
wait "$server" || status=$?
server=""
[ "$status" -eq 0 ] || fail "the server ended with $status on SIGTERM"
grep -q 'stopped' serve.out || fail "the server did not say it stopped"
echo "rankserver_cli: ok"
