#!/usr/bin/env bash
# Runs every benchmark under the project's Wine prefix, then its host-side reference figures.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/wine-env.sh" "$build"
for dir in "$root"/bench/*/; do
    name=$(basename "$dir")
    echo "== $name"
    exe="$s_build_dir/bin/bench_$name.exe"
    if [ -f "$exe" ]; then (cd "$s_build_dir/bin" && wine "$exe"); fi
    if [ -f "$dir/host.sh" ]; then bash "$dir/host.sh" "$s_build_dir"; fi
done
