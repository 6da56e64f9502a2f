#!/usr/bin/env bash
# The program's start-up text names each tool by a path that leads to it from the current folder, and the program
# ends with status 0. Run from the build folder's parent (as ./run.sh does) and from elsewhere.
set -euo pipefail
program=$(realpath "$1")
build=$(dirname "$(dirname "$program")")
for folder in "$(dirname "$build")" /; do
  cd "$folder"
  text=$("$program")
  grep -q '^qorm: the game cannot start yet\.$' <<<"$text"
  for tool in display_demo playsound playmovie packtool; do
    path=$(grep -o "^  [^ ]*/$tool\b" <<<"$text" | sed 's/^  //')
    if [ ! -x "$path" ]; then
      echo "from $folder: $tool is named as '$path', which is not there" >&2
      exit 1
    fi
  done
done
