#!/usr/bin/env bash
# Installs the Debian packages listed in scripts/packages.d/*.txt (one per line, # for comments).
# Run as root on Debian 12. Starts no system service.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mapfile -t pkgs < <(cat "$here"/packages.d/*.txt | sed -e 's/#.*//' -e 's/[[:space:]]//g' | grep -v '^$' | sort -u)
missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    echo "[deps] all ${#pkgs[@]} packages present"
    exit 0
fi
echo "[deps] installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# policy-rc.d keeps package scripts from starting services (mariadb) during the install
policy=/usr/sbin/policy-rc.d
created_policy=0
if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' > "$policy"; chmod +x "$policy"; created_policy=1
fi
trap '[ $created_policy = 1 ] && rm -f "$policy"' EXIT
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
