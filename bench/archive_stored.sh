#!/usr/bin/env bash
# Archive engine: throughput of stored entries, plain and traditionally
# encrypted, where the work is reading, decrypting and the CRC-32. Builds the
# release pagorix-unzip, makes a 64 MiB random file into archives with
# Info-ZIP zip, and times `pagorix-unzip -t` against `unzip -t`.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/bench-archive
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" --target pagorix-unzip -j2 >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c $((64 * 1024 * 1024)) /dev/urandom >"$work/data.bin"
(cd "$work" && zip -q -0 plain.zip data.bin && zip -q -0 -P benchpw enc.zip data.bin)
rate() {  # label, seconds
    awk -v l="$1" -v s="$2" 'BEGIN { printf "%-36s %6.3f s  %7.1f MiB/s\n", l, s, 64 / s }'
}
timed() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}
echo "stored entry of 64 MiB, test mode (best of 3)"
for archive in plain enc; do
    for tool in pagorix unzip; do
        best=999
        for _ in 1 2 3; do
            if [[ $tool == pagorix ]]; then
                t=$(timed "$build/apps/unzip/pagorix-unzip" -t -q -P benchpw "$work/$archive.zip")
            else
                t=$(timed unzip -t -qq -P benchpw "$work/$archive.zip")
            fi
            best=$(awk -v a="$best" -v b="$t" 'BEGIN { print (b < a) ? b : a }')
        done
        rate "$tool $archive" "$best"
    done
done
