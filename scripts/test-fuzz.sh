#!/usr/bin/env bash
# The short fuzz run of CI: every target for 25 seconds, from the seed corpus and with a fixed
# seed, so that a commit tries the same inputs on every run and does not pass or fail by chance.
# Longer runs with random seeds (scripts/fuzz.sh) look for new faults; what they find becomes a
# seed.
set -euo pipefail
export VANTOR_FUZZ_SEED=${VANTOR_FUZZ_SEED:-1208}
exec "$(dirname "$0")/fuzz.sh" "${VANTOR_FUZZ_SECONDS:-25}"
