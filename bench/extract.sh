#!/usr/bin/env bash
# Extraction speed of pagorix-unzip against Info-ZIP unzip, 7-Zip (7zz) and
# bsdtar (libarchive) on the same archives, and the engine's inflate in memory
# against libdeflate and zlib.
#
#   deflate   a corpus of at least 50 MB gathered from the machine (text:
#             licences, headers, manuals; binary: libraries and programs),
#             made into one archive by Info-ZIP zip, plain and with -P;
#   legacy    a 12 MB part of the corpus, shrunk, imploded (8 KiB, three
#             trees) and reduced (factor 4) by bench/make_legacy_zip.cpp, since
#             no current tool writes these methods.
#
# Each peer is first asked to test every archive; one that cannot decode an
# archive is left out of its row. Each time is the median of RUNS runs
# (default 5), the tools alternating within each run; ratio = ours / theirs
# (below 1 means pagorix-unzip is faster). 7zz and bsdtar are installed from
# Debian's packages (7zip, libarchive-tools, libdeflate-dev) when missing.
# Usage: bench/extract.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
build=${PAGORIX_BENCH_BUILD:-build/bench-extract}
# The peers, and libdeflate for the in-memory benchmark (linked there only).
if ! command -v 7zz >/dev/null || ! command -v bsdtar >/dev/null ||
    ! dpkg-query -W -f='${Status}' libdeflate-dev 2>/dev/null | grep -q 'install ok installed'; then
    if [[ $(id -u) == 0 ]]; then
        apt-get install -y -qq 7zip libarchive-tools libdeflate-dev >/dev/null 2>&1 || true
    fi
fi
cmake --preset release -B "$build" -DPAGORIX_BENCH=ON >/dev/null
cmake --build "$build" --target pagorix-unzip make-legacy-zip pagorix-bench-inflate \
    -j "$(nproc)" >/dev/null
ours=$PWD/$build/apps/unzip/pagorix-unzip
legacy=$PWD/$build/bench/make-legacy-zip
inflate_rate=$PWD/$build/bench/pagorix-bench-inflate
seven=$(command -v 7zz || true)
bsdtar=$(command -v bsdtar || true)

# A memory file system by default, so the disk's speed is not what is timed;
# TMPDIR chooses another place.
if [[ -z ${TMPDIR:-} && -d /dev/shm && -w /dev/shm ]]; then export TMPDIR=/dev/shm; fi
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
    done < <(find "$@" -type f -print0 2>/dev/null | sort -z)
}
gather "$work/corpus/text" 30000000 /usr/share/common-licenses /usr/include /usr/share/doc /usr/share/perl
gather "$work/corpus/bin" 30000000 /usr/lib/x86_64-linux-gnu /usr/bin
corpus_mb=$(du -sm "$work/corpus" | cut -f1)
(cd "$work/corpus" && zip -q -r ../deflate.zip . && zip -q -r -P benchpw ../enc.zip .)
# The legacy part: 8 MB of text and 4 MB of binaries, in files of at most 1 MB.
mkdir -p "$work/part"
pick() {  # source-dir, bytes
    local got=0 f size
    while IFS= read -r -d '' f; do
        size=$(stat -c %s "$f")
        ((size <= 1000000)) || continue
        cp "$f" "$work/part/"
        got=$((got + size))
        ((got < $2)) || break
    done < <(find "$1" -type f -print0 | sort -z)
}
pick "$work/corpus/text" 8000000
pick "$work/corpus/bin" 4000000
part_mb=$(du -sm "$work/part" | cut -f1)
(cd "$work/part" && "$legacy" shrink ../shrink.zip ./* && "$legacy" implode ../implode.zip ./* &&
    "$legacy" reduce4 ../reduce.zip ./*)

seconds() {  # command...: wall time of one run
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f\n", b - a }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# One extraction of ARCHIVE into the empty folder DIR by TOOL; PW may be
# empty. The folder is made (and the last run's output removed) by the
# caller, outside the time taken.
run_tool() {  # tool, archive, dir, pw
    local tool=$1 archive=$2 dir=$3 pw=$4
    case $tool in
        ours) "$ours" -o -q ${pw:+-P "$pw"} -d "$dir" "$archive" ;;
        unzip) unzip -o -q ${pw:+-P "$pw"} -d "$dir" "$archive" ;;
        7zz) "$seven" x -y ${pw:+"-p$pw"} -o"$dir" "$archive" ;;
        bsdtar) "$bsdtar" -x ${pw:+--passphrase "$pw"} -f "$archive" -C "$dir" ;;
    esac
}
# Whether TOOL decodes ARCHIVE whole: its output matches ours byte for byte.
fresh() { rm -rf "$1" && mkdir -p "$1"; }
decodes() {  # tool, archive, pw
    fresh "$work/check"
    run_tool "$1" "$2" "$work/check" "$3" >/dev/null 2>&1 || return 1
    diff -r -q "$work/check" "$work/reference" >/dev/null 2>&1
}

compare() {  # label, archive, password-or-empty
    local label=$1 archive=$2 pw=$3 tools=(ours) t r line
    fresh "$work/reference"
    run_tool ours "$archive" "$work/reference" "$pw" >/dev/null 2>&1
    for t in unzip 7zz bsdtar; do
        [[ $t == 7zz && -z $seven ]] && continue
        [[ $t == bsdtar && -z $bsdtar ]] && continue
        if decodes "$t" "$archive" "$pw"; then tools+=("$t"); fi
    done
    declare -A times=()
    for ((r = 0; r < runs; r++)); do
        for t in "${tools[@]}"; do
            fresh "$work/out"
            times[$t]+="$(seconds run_tool "$t" "$archive" "$work/out" "$pw") "
        done
    done
    local mine
    mine=$(printf '%s\n' ${times[ours]} | median)
    line=$(printf '%-30s ours %6.3f s' "$label" "$mine")
    for t in unzip 7zz bsdtar; do
        if [[ -n ${times[$t]:-} ]]; then
            local theirs
            theirs=$(printf '%s\n' ${times[$t]} | median)
            line+=$(awk -v t="$t" -v a="$mine" -v b="$theirs" \
                'BEGIN { printf "   %s %6.3f s (%.2f)", t, b, a / b }')
        else
            line+=$(printf '   %s cannot decode it' "$t")
        fi
    done
    echo "$line"
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); $(date -u '+%Y-%m-%d %H:%M UTC'); load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "corpus: ${corpus_mb} MB ($(find "$work/corpus" -type f | wc -l) files); legacy part: ${part_mb} MB ($(find "$work/part" -type f | wc -l) files); medians of $runs runs; (ours / theirs)"
compare "deflate (zip -6)" "$work/deflate.zip" ""
compare "deflate, encrypted (zip -P)" "$work/enc.zip" benchpw
compare "shrunk" "$work/shrink.zip" ""
compare "imploded (8K, 3 trees)" "$work/implode.zip" ""
compare "reduced (factor 4)" "$work/reduce.zip" ""
# The decoders' own rates: every legacy archive tested (decoded, CRC-checked,
# nothing written) by pagorix-unzip -t.
part_bytes=$(du -sb "$work/part" | cut -f1)
for m in shrink implode reduce; do
    t=()
    for ((r = 0; r < runs; r++)); do t+=("$(seconds "$ours" -t -q "$work/$m.zip")"); done
    awk -v m="$m" -v b="$part_bytes" -v s="$(printf '%s\n' "${t[@]}" | median)" \
        'BEGIN { printf "%-8s decoded in test mode: %4.0f MB/s (%.1f MB in %.3f s)\n", m, b / s / 1e6, b / 1e6, s }'
done
echo "in-memory inflate with CRC-32, the deflated entries of the corpus archive:"
"$inflate_rate" "$work/deflate.zip" "$((runs > 7 ? runs : 7))"
