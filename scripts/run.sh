#!/usr/bin/env bash
# Installs what is missing, builds one program and starts it:
#   scripts/run.sh [gravlo | pellora] [program arguments...]
# Only the program's own target is built, not the tests and benchmarks, so
# the first start of a fresh clone is quick.
set -euo pipefail
cd "$(dirname "$0")/.."
program=Gravlo
case "${1:-}" in
  gravlo) program=Gravlo; shift ;;
  pellora) program=Pellora20; shift ;;
esac
scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/release -j "$(nproc)" --target "$program"
exec "build/release/bin/$program" "$@"
