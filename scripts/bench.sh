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
    [ -f "$exe" ] && (cd "$s_build_dir/bin" && wine "$exe")
    [ -f "$dir/host.sh" ] && bash "$dir/host.sh" "$s_build_dir"
done
