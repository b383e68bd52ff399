#!/usr/bin/env bash
# Start-up of a book: the time from starting pagorix-stub to the start of the
# browser, for a 20 MB book of 300 files, against the time pagorix-unzip
# needs to extract the same payload copy; and the runtime's peak resident
# memory. The terminal backend runs with no terminal attached; the browser is
# a script registered for text/html in a private desktop that notes the time
# it starts and ends at once.
#
# Goal: start-up <= 300 ms (the splash pause) + 1.2 x extraction; <= 8 MB.
# Each time is the median of RUNS runs (default 5).
# Usage: bench/launch.sh [RUNS]   (PAGORIX_BENCH_BUILD: the build folder to use)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
build=${PAGORIX_BENCH_BUILD:-build/bench-launch}
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" --target pagorix-stub pagorix-pack pagorix-unzip -j "$(nproc)" >/dev/null
stub=$PWD/$build/apps/stub/pagorix-stub
pack=$PWD/$build/apps/pack/pagorix-pack
unzip_tool=$PWD/$build/apps/unzip/pagorix-unzip
offset=$("$pack" --print-format | sed -n 's/^payload-offset //p')
password=$("$pack" --print-format | sed -n 's/^archive-password //p')

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src" "$work/tmp" "$work/out"

# 300 files, 20 MB: pages of text (compressible) and pictures (random bytes).
python3 - "$work/src" <<'PY'
import os, random, sys
random.seed(1)
root = sys.argv[1]
words = [w.strip() for w in open("/usr/share/common-licenses/GPL-3", encoding="utf-8").read().split()]
for i in range(300):
    if i % 3 == 0:
        data = os.urandom(160_000)
        name = f"picture{i:03}.png"
    else:
        data = " ".join(random.choice(words) for _ in range(9000)).encode()[:50_000]
        name = f"page{i:03}.html"
    open(os.path.join(root, name), "wb").write(data)
open(os.path.join(root, "index.html"), "w").write("<html><body>Start</body></html>")
PY
"$pack" "$work/src" -o "$work/book" --stub "$stub" --title "Bench" --start index.html --quiet
tail -c +$((offset + 1)) "$work/book" >"$work/payload.zip"

# The private desktop and the browser that notes when it starts.
desk=$work/desk
mkdir -p "$desk/home" "$desk/config" "$desk/data/applications" "$desk/none"
cat >"$work/browser" <<SH
#!/bin/sh
date +%s%N >"$work/stamp"
SH
chmod +x "$work/browser"
printf '[Desktop Entry]\nType=Application\nName=Bench\nExec=%s %%f\nMimeType=text/html;\n' \
  "$work/browser" >"$desk/data/applications/bench-browser.desktop"
export HOME=$desk/home XDG_CONFIG_HOME=$desk/config XDG_DATA_HOME=$desk/data \
  XDG_CACHE_HOME=$desk/home XDG_CONFIG_DIRS=$desk/none GIO_USE_VFS=local
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION XDG_DATA_DIRS
xdg-mime default bench-browser.desktop text/html

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
launch=() extract=() rss=()
for ((r = 0; r < runs; r++)); do
  rm -f "$work/stamp"
  start=$(date +%s%N)
  TMPDIR=$work/tmp /usr/bin/time -f %M -o "$work/rss" "$work/book" </dev/null >/dev/null 2>&1
  launch+=("$((($(cat "$work/stamp") - start) / 1000000))")
  rss+=("$(cat "$work/rss")")
  rm -rf "$work/out"
  start=$(date +%s%N)
  "$unzip_tool" -o -q -P "$password" -d "$work/out" "$work/payload.zip" >/dev/null
  extract+=("$((($(date +%s%N) - start) / 1000000))")
done
left=$(find "$work/tmp" -mindepth 1 | wc -l)
l=$(printf '%s\n' "${launch[@]}" | median)
e=$(printf '%s\n' "${extract[@]}" | median)
m=$(printf '%s\n' "${rss[@]}" | sort -n | tail -1)
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "book: $(du -m "$work/book" | cut -f1) MB, $(find "$work/src" -type f | wc -l) files; medians of $runs runs"
awk -v l="$l" -v e="$e" -v m="$m" -v left="$left" 'BEGIN {
  goal = 300 + 1.2 * e
  printf "start to browser %5d ms   pagorix-unzip extraction %5d ms   goal <= %d ms: %s\n",
         l, e, goal, (l <= goal ? "met" : "NOT met")
  printf "peak resident memory %.1f MB   goal <= 8 MB: %s\n", m / 1024, (m <= 8192 ? "met" : "NOT met")
  printf "left in the temporary directory: %d entries\n", left }'
