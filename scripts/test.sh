#!/usr/bin/env bash
# Installs what the project needs (Debian 12, as root), checks the sources' layout and that no
# function of the product is longer than 80 lines, builds (any compiler warning fails the build),
# and runs every test: the suite (with the WordPress end-to-end test), the suite again under
# AddressSanitizer and UndefinedBehaviorSanitizer, and a short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/check-format.sh
scripts/long-functions.py
scripts/build.sh
ctest --preset default
scripts/test-asan.sh
scripts/test-fuzz.sh
