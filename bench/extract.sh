#!/usr/bin/env bash
# Extraction speed of pagorix-unzip against Info-ZIP unzip (and 7-Zip when it
# is installed) on the same archives, per method.
#
#   deflate   a corpus of at least 50 MB gathered from the machine (text:
#             licences, headers, manuals; binary: libraries and programs),
#             made into one archive by Info-ZIP zip, plain and with -P;
#   legacy    the shrunk and imploded archives of the test set (tests/data/zip)
#             (Info-ZIP unzip reads no reduced entries, so those are timed
#             for pagorix-unzip alone).
#
# Each measurement is the median of RUNS runs (default 7), the two tools
# alternating; ratio = ours / theirs (below 1 means pagorix-unzip is faster).
# Usage: bench/extract.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-7}
build=build/bench-extract
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" --target pagorix-unzip -j "$(nproc)" >/dev/null
ours=$PWD/$build/apps/unzip/pagorix-unzip
testset=$(pwd)/tests/data/zip
seven=$(command -v 7zz || command -v 7z || true)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus/text" "$work/corpus/bin"

# The corpus: text first, then binaries, until each half has its share.
gather() {  # target-dir, bytes, find arguments...
    local dir=$1 want=$2 got=0 n=0
    shift 2
    while IFS= read -r -d '' f; do
        local size
        size=$(stat -c %s "$f")
        ((size > 0 && size < 8000000)) || continue
        cp "$f" "$dir/$n.$(basename "$f")" 2>/dev/null || continue
        n=$((n + 1))
        got=$((got + size))
        ((got < want)) || break
    done < <(find "$@" -type f -print0 2>/dev/null)
}
gather "$work/corpus/text" 30000000 /usr/share/common-licenses /usr/include /usr/share/doc /usr/share/perl
gather "$work/corpus/bin" 30000000 /usr/lib/x86_64-linux-gnu /usr/bin
corpus_mb=$(du -sm "$work/corpus" | cut -f1)
(cd "$work/corpus" && zip -q -r ../deflate.zip . && zip -q -r -P benchpw ../enc.zip .)

seconds() {  # command...: wall time of one run
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f\n", b - a }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

compare() {  # label, archive, password-or-empty, repeat
    local label=$1 archive=$2 pw=$3 repeat=${4:-1} a=() b=() c=()
    local pwo=() pws=()
    [[ -n $pw ]] && pwo=(-P "$pw") && pws=("-p$pw")
    loop() { for ((i = 0; i < repeat; i++)); do "$@"; done; }
    for ((r = 0; r < runs; r++)); do
        rm -rf "$work/o1" "$work/o2" "$work/o3"
        a+=("$(seconds loop "$ours" -o -q "${pwo[@]}" -d "$work/o1" "$archive")")
        b+=("$(seconds loop unzip -o -q "${pwo[@]}" -d "$work/o2" "$archive")")
        if [[ -n $seven ]]; then c+=("$(seconds loop "$seven" x -y "${pws[@]}" -o"$work/o3" "$archive")"); fi
    done
    local ma mb mc
    ma=$(printf '%s\n' "${a[@]}" | median)
    mb=$(printf '%s\n' "${b[@]}" | median)
    if [[ -n $seven ]]; then mc=$(printf '%s\n' "${c[@]}" | median); else mc=""; fi
    awk -v l="$label" -v a="$ma" -v b="$mb" -v c="$mc" 'BEGIN {
        printf "%-34s ours %7.3f s   unzip %7.3f s   ratio %.2f", l, a, b, a / b
        if (c != "") printf "   7z %7.3f s   ratio %.2f", c, a / c
        printf "\n" }'
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "corpus: ${corpus_mb} MB ($(find "$work/corpus" -type f | wc -l) files); medians of $runs runs"
compare "deflate (zip -6)" "$work/deflate.zip" ""
compare "deflate, encrypted (zip -P)" "$work/enc.zip" benchpw
for f in hw_shrink.zip ext_pkz110es_noexe.zip hw_implode_4k2t.zip hw_implode_8k3t.zip \
    ext_commons_moby-imploded.zip; do
    path=$(find "$testset" -name "$f" | head -1)
    [[ -n $path ]] && compare "$f (x20)" "$path" "" 20
done
for f in hw_reduce1.zip hw_reduce4.zip ext_pkz80b1_noexe.zip; do
    path=$(find "$testset" -name "$f" | head -1)
    [[ -z $path ]] && continue
    t=()
    for ((r = 0; r < runs; r++)); do
        rm -rf "$work/o1"
        t+=("$(seconds bash -c "for i in \$(seq 20); do '$ours' -o -q -d '$work/o1' '$path'; done")")
    done
    printf '%-34s ours %7.3f s   (unzip cannot read reduced entries)\n' "$f (x20)" \
        "$(printf '%s\n' "${t[@]}" | median)"
done
