#!/usr/bin/env bash
# Runs the whole suite under the project's Wine prefix with a warm wineserver.
set -euo pipefail
build=${1:-build}
source "$(dirname "$0")/wine-env.sh" "$build"
# The first program to draw starts Wine's desktop process, which keeps that program's standard
# handles for as long as the wineserver lives; started here with none, it holds no test's output open.
wine "$build/bin/fontprobe.exe" "Desktop warm-up" >/dev/null 2>&1 </dev/null || true
cd "$build"
ctest --output-on-failure -j "${JOBS:-2}" --timeout 300
