#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset, clang) and runs each for SECONDS (default 60).
# The seed corpus in fuzz/corpus/ is read, never written; what a run learns stays in
# <build>/corpus/, and a crashing input is kept in <build>/crashes/ and fails the script.
# <build> is build-fuzz/, or VANTOR_FUZZ_BUILD_DIR when set. VANTOR_FUZZ_SEED fixes libFuzzer's
# seed, so that a run from the same corpus tries the same inputs in the same order; without it each
# run draws its own and explores elsewhere.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_decode_text fuzz_asset_rewrite fuzz_convert_page fuzz_reference_rewrite fuzz_plugin_header fuzz_delivery_manifest fuzz_zip_directory)

build=${VANTOR_FUZZ_BUILD_DIR:-build-fuzz}
cmake --preset fuzz -B "$build" > /dev/null
cmake --build "$build" --target "${targets[@]}" -- -j"$(nproc)"

mkdir -p "$build/crashes"
status=0
for t in "${targets[@]}"; do
    seeds="fuzz/corpus/${t#fuzz_}"
    corpus="$build/corpus/${t#fuzz_}"
    mkdir -p "$corpus"
    echo "[fuzz] $t for ${seconds}s"
    seed=()
    [ -z "${VANTOR_FUZZ_SEED:-}" ] || seed=(-seed="$VANTOR_FUZZ_SEED")
    if ! "$build/fuzz/$t" "$corpus" "$seeds" "${seed[@]}" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/crashes/$t-" \
        2> "$build/$t.log"; then
        status=1
        echo "[fuzz] $t FAILED; input kept in $build/crashes/, log in $build/$t.log"
        tail -n 40 "$build/$t.log"
    fi
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$build/$t.log" | sed "s/^/[fuzz] $t /" || true
done
exit $status
