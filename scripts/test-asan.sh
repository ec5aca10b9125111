#!/usr/bin/env bash
# Builds everything but the window program with AddressSanitizer and UndefinedBehaviorSanitizer
# into build-asan/ and runs the test suite there (the WordPress end-to-end test and tests
# labelled slow run only in the ordinary build). Any sanitizer report fails the test that hit it.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset asan > /dev/null
cmake --build --preset asan -- -j"$(nproc)"
ctest --preset asan
