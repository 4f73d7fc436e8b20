#!/usr/bin/env bash
# Installs what the build, the tests and the demo need on a Debian 12 machine.
# Quick when everything is already there.
set -euo pipefail
# binutils: the host `strings` of the DLL image check; clang-format: `make format`.
packages=(g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine64 wine googletest cmake make
          python3 python3-fonttools fonts-dejavu-core openssl binutils clang-format)
# One query for all of them: quick when everything is there.
installed=$(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null |
            awk '/ ok installed$/ { print $1 }' || true)
missing=()
for p in "${packages[@]}"; do
    grep -qx "$p" <<<"$installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
