#!/usr/bin/env bash
# Installs what the project needs (Debian 12, as root), builds, and runs the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
if [ -x build/bin/vantor ]; then
    # The page view's web engine refuses to start as root with its sandbox on; this applies to a
    # root session started here only, never to the program itself.
    if [ "$(id -u)" = 0 ]; then
        export QTWEBENGINE_DISABLE_SANDBOX=1
    fi
    exec build/bin/vantor "$@"
fi
# Without the window program: build the example site's plugin from the command line.
exec build/bin/vantor-build examples/reseller-site --front index.html --download download.html --name "My Plugin" "$@"
