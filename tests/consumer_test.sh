#!/usr/bin/env bash
# Installs the build into a scratch prefix, builds tests/consumer against it
# the way another project would (find_package through CMAKE_PREFIX_PATH), and
# checks that its level for the trapezoid is the one the installed program
# prints for examples/trapezoid.txt.
# usage: consumer_test.sh BUILD_DIR CONSUMER_SOURCE_DIR [CMAKE_ARG]...
set -euo pipefail
build=$1
source=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
# Only the public header is there for the consumer to include.
headers=$(cd "$prefix/include" && find . -type f | sort)
if [[ $headers != "./normlevel/normlevel.h" ]]; then
  echo "installed headers besides normlevel/normlevel.h:"
  echo "$headers"
  exit 1
fi
if ! cmake -S "$source" -B "$work/build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix" \
     -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF "$@" >"$work/configure.log" 2>&1; then
  cat "$work/configure.log"
  exit 1
fi
found=$(sed -n 's/^normlevel_DIR:PATH=//p' "$work/build/CMakeCache.txt")
if [[ $found != "$prefix/lib/cmake/normlevel" ]]; then
  echo "find_package took normlevel from '$found', not from the scratch prefix"
  exit 1
fi
if ! cmake --build "$work/build" >"$work/build.log" 2>&1; then
  cat "$work/build.log"
  exit 1
fi
level=$("$work/build/consumer")
report=$("$prefix/bin/normlevel" "$prefix/share/doc/normlevel/examples/trapezoid.txt")
expected=$(sed -n '1s/^zw\. wody: *\([0-9.]*\) .*/\1/p' <<<"$report")
if [[ -z $expected || $level != "$expected" ]]; then
  echo "the consumer printed '$level'; the installed program's report for examples/trapezoid.txt:"
  echo "$report"
  exit 1
fi
