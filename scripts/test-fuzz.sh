#!/usr/bin/env bash
# The short fuzz run of CI: every target for 25 seconds.
set -euo pipefail
exec "$(dirname "$0")/fuzz.sh" "${VANTOR_FUZZ_SECONDS:-25}"
