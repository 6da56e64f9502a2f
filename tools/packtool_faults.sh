#!/usr/bin/env bash
# The pack tool as a user meets it: Japanese names whose second byte is 0x5C, refused names and the reasons given,
# failed changes that must leave the pack as it was, damaged packs, folders CP932 cannot name, help and usage.
set -euo pipefail
tool="$1"
work=$(mktemp -d "${QORM_TEST_TMP:-${TMPDIR:-/tmp}}/packfaultsXXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() {
  echo "packtool_faults: $*" >&2
  exit 1
}
# Runs the tool expecting the exit status $1; its standard error is kept in err, its output in out.
expect() {
  local want=$1
  shift
  local got=0
  "$tool" "$@" >out 2>err || got=$?
  [ "$got" -eq "$want" ] || { cat err >&2; fail "packtool $* exited $got, not $want"; }
}
same() { cmp -s "$1" "$2" || fail "$1 changed"; }
# A UTF-8 name written as CP932 bytes, so that the test states the bytes that matter.
from_cp932() { printf "$1" | iconv -f CP932 -t UTF-8; }

# ---- Names whose double-byte characters end in 0x5C ("表" 95 5C, "ソ" 83 5C, "能" 94 5C) stay whole.
hyo=$(from_cp932 '\x95\x5c')
soft=$(from_cp932 '\x83\x5c\x83\x74\x83\x67')
nou=$(from_cp932 '\x94\x5c\x97\xcd')
song=$(from_cp932 '\x83\x5c\x83\x93\x83\x4f')
mkdir -p src/"$song"
echo table >src/"$hyo".txt
echo software >src/"$soft".txt
echo power >src/"$nou".txt
cp /usr/share/common-licenses/GPL-3 src/"$song"/"$hyo"1.txt 2>/dev/null || seq 1 3000 >src/"$song"/"$hyo"1.txt
expect 0 create jp.pak src
expect 0 list jp.pak
grep -q "$song\\\\${hyo}1.txt" out || fail "the list does not show $song\\${hyo}1.txt"
expect 0 extract jp.pak jp
diff -r src jp >/dev/null || fail "extracted names differ: $(cd jp && find . | sort | tr '\n' ' ')"
expect 0 extract jp.pak one "$song/${hyo}1.txt"
cmp -s src/"$song"/"$hyo"1.txt one/"$song"/"$hyo"1.txt || fail "a named entry under $song was not extracted"

# ---- A failed create leaves the old pack, and says why each name is refused, once.
cp jp.pak old.pak
mkdir bad
echo a >bad/photo.jpeg
echo b >bad/Read.me
echo c >bad/read.ME
echo d >"bad/caf$(printf '\xc3\xa9').txt"
echo e >bad/a_name_far_too_long_for_a_pack.txt
expect 1 create old.pak bad
same jp.pak old.pak
grep -q 'photo.jpeg.*extension "jpeg" is longer than 3' err || fail "no reason for photo.jpeg"
grep -q 'differs only in case' err || fail "no reason for the names that differ in case"
grep -q 'CP932 cannot hold' err || fail "no reason for the name CP932 cannot hold"
grep -q 'at most 25' err || fail "no reason for the long name"
[ "$(grep -c 'photo.jpeg' err)" -eq 1 ] || fail "photo.jpeg reported more than once"
if grep -q "$(printf '\xe4\xb8\x8d\xe6\xad\xa3')" err; then fail "the library's line is printed as well"; fi
[ "$(find . -maxdepth 1 -name '*.tmp' | wc -l)" -eq 0 ] || fail "a working copy was left"

# ---- A failed delete or add changes nothing; unsafe names are refused at add.
expect 1 delete old.pak "$hyo.txt" nothere.txt
same jp.pak old.pak
grep -q 'nothere.txt: is not in' err || fail "the missing name is not named"
for name in '..\up.txt' '../up.txt' '\abs.txt' 'C:\x.txt' 'dir\' "$hyo.TXT"; do
  expect 1 add old.pak src/"$hyo".txt "$name"
  same jp.pak old.pak
done
expect 0 delete old.pak "$hyo.txt"
expect 0 add old.pak src/"$nou".txt "sub/$hyo.txt"
expect 0 extract old.pak added "sub\\$hyo.txt"
cmp -s src/"$nou".txt added/sub/"$hyo".txt || fail "an added name with '/' is not a folder"

# ---- Extract checks every entry: a changed byte, an entry that does not decode.
mkdir dmg
seq 1 4000 >dmg/big.txt
echo fine >dmg/ok.txt
expect 0 create dmg.pak dmg -x txt=mariel
data=$(od -An -tu4 -j8 -N4 dmg.pak | tr -d ' ')
cp dmg.pak flipped.pak
byte=$(od -An -tu1 -j40 -N1 dmg.pak | tr -d ' ')  # inside big.txt's stored bytes
printf "$(printf '\\x%02x' $(((byte + 1) & 255)))" | dd of=flipped.pak bs=1 seek=40 conv=notrunc status=none
expect 1 verify flipped.pak
expect 1 extract flipped.pak x1
grep -q 'big.txt: its checksum does not match' err || fail "the damaged entry is not named"
[ ! -e x1/big.txt ] || fail "the damaged entry was extracted"
cmp -s dmg/ok.txt x1/ok.txt || fail "the good entry was not extracted"
# big.txt claims 1000 bytes more than it decodes to; its stored bytes and their checksum are untouched.
cp dmg.pak short.pak
size=$(od -An -tu4 -j$((16 + data + 28)) -N4 short.pak | tr -d ' ')
printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(((size + 1000) & 255)) $(((size + 1000) >> 8 & 255)) \
  $(((size + 1000) >> 16 & 255)) 0)" | dd of=short.pak bs=1 seek=$((16 + data + 28)) conv=notrunc status=none
mkdir x2
echo "old big" >x2/big.txt
expect 1 extract short.pak x2
grep -q 'big.txt.*does not decode' err || fail "the undecodable entry is not named: $(cat err)"
[ "$(cat x2/big.txt)" = "old big" ] || fail "the undecodable entry replaced the old file"
[ "$(ls -A x2 | wc -l)" -eq 2 ] || fail "extract left a temporary file: $(ls -A x2)"

# ---- Host paths are not entry names: folders CP932 cannot name work.
target="caf$(printf '\xc3\xa9')/out"
expect 0 extract jp.pak "$target"
diff -r src "$target" >/dev/null || fail "extracting into $target failed"
mkdir -p "$target/../src"
cp -r src/. "$target/../src/"
expect 0 create "$target/../p.pak" "$target/../src"
expect 0 verify "caf$(printf '\xc3\xa9')/p.pak"

# ---- A pack made inside the folder it packs is not packed into itself.
cp -r src self
expect 0 create self/self.pak self
expect 0 create self/self.pak self
expect 0 list self/self.pak
if grep -q 'self.pak' out; then fail "the pack holds itself"; fi

# ---- Help and usage.
expect 0 --help
grep -q '^usage: packtool' out || fail "--help prints no usage"
expect 2 frobnicate x.pak
expect 2 list
expect 2 create x.pak src -c gzip
echo "packtool faults: ok"
