#!/usr/bin/env bash
# Runs the whole suite under the project's Wine prefix with a warm wineserver.
set -euo pipefail
build=${1:-build}
source "$(dirname "$0")/wine-env.sh" "$build"
cd "$build"
ctest --output-on-failure -j "${JOBS:-2}" --timeout 300
