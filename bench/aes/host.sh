#!/usr/bin/env bash
# The host's own single-block AES-128 figures: openssl on 16-byte buffers, with its AES-NI
# code and with AES-NI (and PCLMULQDQ) masked out of its capability vector.
set -euo pipefail
speed() {
    openssl speed -bytes 16 -seconds 2 aes-128-cbc 2>/dev/null | awk '$1 == "aes-128-cbc" { sub(/k$/, "", $2); print $2 }'
}
with=$(speed)
without=$(OPENSSL_ia32cap="~0x200000200000000" speed)
awk -v k="$with" 'BEGIN { printf "aes-128-cbc host openssl with AES-NI, 16-byte blocks: %.1f MB/s\n", k / 1000 }'
awk -v k="$without" 'BEGIN { printf "aes-128-cbc host openssl without AES-NI, 16-byte blocks: %.1f MB/s\n", k / 1000 }'
