#!/usr/bin/env bash
# Installs what the project needs (Debian 12, as root), builds, and runs every benchmark.
# An optional argument names another build folder (configured as RelWithDebInfo when new).
# VANTOR_BENCH_BASELINE=REV (a git revision) also times the vantor-build of that revision, built
# once into BUILD/bench-baseline/ and reused while the revision stays the same.
set -euo pipefail
cd "$(dirname "$0")/.."

# Lays REV out in $1/bench-baseline/src, builds its vantor-build and plugin template in
# $1/bench-baseline/build, and sets baseline_bin to the installation folder that holds them.
build_baseline() {
    local build=$1 rev=$2 commit
    commit=$(git rev-parse --verify --quiet "$rev^{commit}") || {
        echo "VANTOR_BENCH_BASELINE: '$rev' is no revision of this repository" >&2
        return 1
    }
    local root
    root=$(cd "$build" && pwd)/bench-baseline
    if [ "$(cat "$root/revision" 2>/dev/null)" != "$commit" ]; then
        # Another revision's objects could look newer than these sources: start both afresh.
        rm -rf "$root"
        mkdir -p "$root/src"
        git archive --format=tar "$commit" | tar -x -C "$root/src"
        echo "$commit" > "$root/revision"
    fi
    [ -f "$root/build/build.ninja" ] ||
        cmake -S "$root/src" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DVANTOR_BUILD_TESTS=OFF -DVANTOR_BUILD_GUI=OFF > /dev/null
    cmake --build "$root/build" --target vantor-build vantor_resources
    baseline_bin=$root/build/bin
}

scripts/install-deps.sh
build=${1:-build}
baseline_bin=
if [ -n "${VANTOR_BENCH_BASELINE:-}" ]; then
    mkdir -p "$build"
    build_baseline "$build" "$VANTOR_BENCH_BASELINE"
    echo "[bench] baseline $VANTOR_BENCH_BASELINE: $baseline_bin/vantor-build"
fi
# The baseline is set on every run, so that a run without VANTOR_BENCH_BASELINE times none.
if [ $# -gt 0 ]; then
    new=()
    [ -f "$1/CMakeCache.txt" ] || new=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo)
    cmake -S . -B "$1" "${new[@]}" -DVANTOR_BENCH_BASELINE_DIR="$baseline_bin" > /dev/null
else
    cmake --preset default -DVANTOR_BENCH_BASELINE_DIR="$baseline_bin" > /dev/null
fi
cmake --build "$build" --target bench
