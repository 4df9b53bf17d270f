#!/usr/bin/env bash
# Installs the build into a scratch prefix and runs the installed program on
# the installed example: what a user of `cmake --install` gets must work.
# usage: install_test.sh BUILD_DIR
set -euo pipefail
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" >/dev/null
docs=$prefix/share/doc/normlevel
test -f "$docs/README.md"
# Every picture README shows stands beside it.
for picture in $(grep -o 'docs/[A-Za-z0-9_.-]*\.svg' "$docs/README.md" | sort -u); do
  test -f "$docs/$picture" || { echo "the installed README shows $picture, which is not installed"; exit 1; }
done
report=$("$prefix/bin/normlevel" "$docs/examples/trapezoid.txt")
expected=$'zw. wody:          101.64045   m\r'
if [[ ${report%%$'\n'*} != "$expected" ]]; then
  echo "the installed program printed:"
  echo "$report"
  exit 1
fi
