#!/usr/bin/env bash
# pagorix-pack against Info-ZIP `zip -r -6 -P` on the same folder: about 30 MB
# of C++ headers, licences and two programs, with a start page. Both deflate
# at level 6 and encrypt with the traditional ZIP encryption; pagorix-pack
# also checks the pages' links and writes the runtime in front. The tools
# alternate; medians of RUNS runs (default 5); ratio = ours / zip.
# Usage: bench/pack.sh [RUNS]   (PAGORIX_BENCH_BUILD: the build folder to use)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
build=${PAGORIX_BENCH_BUILD:-build/bench-pack}
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" --target pagorix-stub pagorix-pack -j "$(nproc)" >/dev/null
pack=$PWD/$build/apps/pack/pagorix-pack
stub=$PWD/$build/apps/stub/pagorix-stub
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
site=$work/site
mkdir -p "$site/bin"
cp -rL /usr/include/c++ "$site/inc" 2>/dev/null || true
cp -rL /usr/share/common-licenses "$site/licences"
for p in perl gdb python3; do [[ -f /usr/bin/$p ]] && cp -L "/usr/bin/$p" "$site/bin/"; done
echo '<html><head><title>Bench</title></head><body>Start</body></html>' >"$site/index.html"

ms() { local s; s=$(date +%s%N); "$@" >/dev/null 2>&1; echo $((($(date +%s%N) - s) / 1000000)); }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ours=() theirs=()
for ((r = 0; r < runs; r++)); do
    rm -f "$work/book" "$work/z.zip"
    ours+=("$(ms "$pack" "$site" -o "$work/book" --stub "$stub" --quiet)")
    theirs+=("$(ms bash -c "cd '$site' && zip -q -r -6 -P benchpw '$work/z.zip' .")")
done
a=$(printf '%s\n' "${ours[@]}" | median)
b=$(printf '%s\n' "${theirs[@]}" | median)
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); $(date -u '+%Y-%m-%d %H:%M UTC'); load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "folder: $(du -sm "$site" | cut -f1) MB, $(find "$site" -type f | wc -l) files; medians of $runs runs"
awk -v a="$a" -v b="$b" 'BEGIN { printf "pagorix-pack %d ms   zip -6 -P %d ms   ratio %.2f (goal <= 1.0: %s)\n", a, b, a / b, (a <= b ? "met" : "NOT met") }'
