#!/usr/bin/env bash
# Configures and builds one flavour: build.sh release | asan
set -euo pipefail
cd "$(dirname "$0")/.."
flavour=${1:-release}
jobs=$(nproc)
case "$flavour" in
  # A warning of either compiler stops the build.
  release) cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON ;;
  # The sanitizer flavour builds with clang, so the tree is kept free of both
  # compilers' warnings.
  asan) cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELTRANO_SANITIZE=ON -DVELTRANO_BENCH=OFF \
          -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
          -DCMAKE_COMPILE_WARNING_AS_ERROR=ON ;;
  *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac
cmake --build "build/$flavour" -j "$jobs"
