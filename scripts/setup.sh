#!/usr/bin/env bash
# Installs what building and testing Quillbay needs on Debian 12, and nothing when all is there.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libsqlite3-dev qt6-webengine-dev qt6-webengine-dev-tools
    qt6-declarative-dev
    qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-translations-l10n qt6-svg-dev
    ninja-build cmake g++ make xvfb xauth openbox x11-utils xdotool imagemagick fonts-noto-cjk
    libqt6sql6-psql libpq-dev postgresql postgresql-common libboost1.81-dev libssl-dev
    # The bench's comparisons of the service are run on a busy machine as well as a quiet one.
    stress-ng
    # The bench's trial of a database server restarted under the service syncs through curl and reads answers with jq.
    curl jq
    # The service's tests and bench run it through a connection pooler in front of the throw-away PostgreSQL cluster.
    pgbouncer
    # Several checkouts built side by side share their compiled objects (CMakeLists.txt).
    ccache
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

# A machine may carry its own Node.js with npm; Debian's are needed only where there is none.
if ! command -v npm >/dev/null 2>&1; then
    missing+=(nodejs npm)
fi

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo_cmd=(sudo)
    fi
    "${sudo_cmd[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

# Script libraries pinned in package-lock.json, copied into the resources by the build. Only their browser
# files are used, so no package's install script (native builds for Node) is run.
if [ -f package-lock.json ] && [ ! -f node_modules/.package-lock.json -o package-lock.json -nt node_modules/.package-lock.json ]; then
    npm ci --ignore-scripts --no-audit --no-fund
fi
