#!/usr/bin/env bash
# Installs what is missing, builds and starts Gravlo.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh release
exec build/release/bin/Gravlo "$@"
