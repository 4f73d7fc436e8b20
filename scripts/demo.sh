#!/usr/bin/env bash
# The agent's main job end to end (filled in as the pieces land).
set -euo pipefail
build=${1:-build}
source "$(dirname "$0")/wine-env.sh" "$build"
echo "demo: not yet available"
