#!/usr/bin/env bash
# Writes fresh AES-ECB vectors with the host's openssl, then runs the crypto test case that
# checks both AES paths against them under Wine.
# Usage: openssl-vectors.sh <crypto_tests.exe> <work folder>
set -euo pipefail
exe=$1
work=$2
mkdir -p "$work"
vectors="$work/aes-openssl-vectors.txt"
: >"$vectors"
hex() { od -An -v -tx1 | tr -d ' \n'; }
for bits in 128 192 256; do
    for _ in $(seq 10); do
        key=$(head -c $((bits / 8)) /dev/urandom | hex)
        head -c 64 /dev/urandom >"$work/plain.bin"
        cipher=$(openssl enc -aes-$bits-ecb -nopad -K "$key" -in "$work/plain.bin" | hex)
        echo "$key $(hex <"$work/plain.bin") $cipher" >>"$vectors"
    done
done
rm -f "$work/plain.bin"

output=$(S_AES_OPENSSL_VECTORS="Z:$vectors" wine "$exe" --gtest_filter='AesOpenSslVectors.*' 2>&1) || {
    echo "$output"
    exit 1
}
echo "$output"
# A skipped or missing case must not pass for a checked one.
grep -q '^\[  PASSED  \] 1 test' <<<"$output" && ! grep -q 'SKIPPED' <<<"$output"
