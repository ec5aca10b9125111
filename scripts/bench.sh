#!/usr/bin/env bash
# Installs what the project needs (Debian 12, as root), builds, and runs every benchmark.
# An optional argument names another build folder (configured as RelWithDebInfo when new).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
if [ $# -gt 0 ]; then
    [ -f "$1/CMakeCache.txt" ] || cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
    cmake --build "$1" --target bench
else
    cmake --preset default > /dev/null
    cmake --build --preset default --target bench
fi
