#!/usr/bin/env bash
# Start-up and clean-up of a book, on the terminal backend and on GTK (under
# an Xvfb display of its own, when Xvfb is installed):
#   start     the time from starting pagorix-stub to the start of the
#             browser, for a 20 MB book of 300 files (pages of text and
#             incompressible pictures), against the time pagorix-unzip needs
#             to extract the same payload copy;
#   memory    the runtime's peak resident memory (/usr/bin/time);
#   clean-up  the time from the browser's end to the runtime's end, for a
#             book of 5,000 small files whose names mix letter cases.
# The browser is a script registered for text/html in a private desktop; it
# notes when it starts and ends, and lives 5.5 s, past the runtime's hand-off
# limit, so the run goes straight to its clean-up. Each run must leave
# nothing in its temporary directory.
#
# Goals: start <= 300 ms (the splash pause) + 1.0 x extraction; <= 8 MB;
# clean-up of 5,000 files < 0.5 s. Medians of RUNS runs (default 5).
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
xvfb_pid=
cleanup() {
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/src" "$work/many" "$work/tmp" "$work/out"

# 300 files, 20 MB: pages of text (compressible) and pictures (random bytes);
# and 5,000 small pages in 20 folders, named in mixed case.
python3 - "$work/src" "$work/many" <<'PY'
import os, random, sys
random.seed(1)
root, many = sys.argv[1], sys.argv[2]
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
for i in range(5000):
    folder = os.path.join(many, f"Part{i % 20:02}")
    os.makedirs(folder, exist_ok=True)
    name = f"Page{i:04}.HTML" if i % 2 else f"page{i:04}.Html"
    open(os.path.join(folder, name), "w").write(" ".join(random.choice(words) for _ in range(60)))
open(os.path.join(many, "index.html"), "w").write("<html><body>Start</body></html>")
PY
"$pack" "$work/src" -o "$work/book" --stub "$stub" --title "Bench" --start index.html --quiet
"$pack" "$work/many" -o "$work/many-book" --stub "$stub" --title "Many" --start index.html --quiet
tail -c +$((offset + 1)) "$work/book" >"$work/payload.zip"

# The private desktop and the browser that notes when it starts and ends.
desk=$work/desk
mkdir -p "$desk/home" "$desk/config" "$desk/data/applications" "$desk/none"
cat >"$work/browser" <<SH
#!/bin/sh
date +%s%N >"$work/stamp"
sleep 5.5
date +%s%N >"$work/end-stamp"
SH
chmod +x "$work/browser"
printf '[Desktop Entry]\nType=Application\nName=Bench\nExec=%s %%f\nMimeType=text/html;\n' \
  "$work/browser" >"$desk/data/applications/bench-browser.desktop"
export HOME=$desk/home XDG_CONFIG_HOME=$desk/config XDG_DATA_HOME=$desk/data \
  XDG_CACHE_HOME=$desk/home XDG_CONFIG_DIRS=$desk/none GIO_USE_VFS=local
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION XDG_DATA_DIRS WAYLAND_DISPLAY
xdg-mime default bench-browser.desktop text/html

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# One run of BOOK: sets last_start (ms to the browser), last_clean (ms from
# the browser's end to the runtime's) and last_rss (KB).
# Every timed run, of the book or of pagorix-unzip, starts with the file
# system synced: what the last run left to write back (5,000 files deleted,
# 20 MB extracted) would otherwise compete with the run for the CPU.
run_book() {  # book
    rm -f "$work/stamp" "$work/end-stamp"
    sync
    local start
    start=$(date +%s%N)
    TMPDIR=$work/tmp /usr/bin/time -f %M -o "$work/rss" "$1" </dev/null >/dev/null 2>&1
    local end
    end=$(date +%s%N)
    last_start=$((($(cat "$work/stamp") - start) / 1000000))
    last_clean=$(((end - $(cat "$work/end-stamp")) / 1000000))
    last_rss=$(cat "$work/rss")
}

extract=()
for ((r = 0; r < runs; r++)); do
  rm -rf "$work/out"
  sync
  start=$(date +%s%N)
  "$unzip_tool" -o -q -P "$password" -d "$work/out" "$work/payload.zip" >/dev/null
  extract+=("$((($(date +%s%N) - start) / 1000000))")
done
e=$(printf '%s\n' "${extract[@]}" | median)

report() {  # backend name
    local launch=() rss=() clean=()
    for ((r = 0; r < runs; r++)); do
        run_book "$work/book"
        launch+=("$last_start")
        rss+=("$last_rss")
        run_book "$work/many-book"
        clean+=("$last_clean")
    done
    local left l m c
    left=$(find "$work/tmp" -mindepth 1 | wc -l)
    l=$(printf '%s\n' "${launch[@]}" | median)
    m=$(printf '%s\n' "${rss[@]}" | sort -n | tail -1)
    c=$(printf '%s\n' "${clean[@]}" | median)
    awk -v b="$1" -v l="$l" -v e="$e" -v m="$m" -v c="$c" -v left="$left" 'BEGIN {
      goal = 300 + 1.0 * e
      printf "%-8s start to browser %5d ms (goal <= 300 + 1.0 x %d = %d ms: %s)   peak %.1f MB (goal <= 8 MB: %s)   clean-up of 5,000 files %4d ms (goal < 500 ms: %s)   left behind: %d\n",
             b, l, e, goal, (l <= goal ? "met" : "NOT met"), m / 1024, (m <= 8192 ? "met" : "NOT met"),
             c, (c < 500 ? "met" : "NOT met"), left }'
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); $(date -u '+%Y-%m-%d %H:%M UTC'); load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "book: $(du -m "$work/book" | cut -f1) MB, $(find "$work/src" -type f | wc -l) files; pagorix-unzip extracts it in $e ms; medians of $runs runs"
(unset DISPLAY; report terminal)
if command -v Xvfb >/dev/null; then
    exec {fd}<> <(:)
    Xvfb -displayfd "$fd" -nolisten tcp -screen 0 1024x768x24 >/dev/null 2>&1 &
    xvfb_pid=$!
    read -r -t 10 display <&"$fd" || display=
    if [[ -n $display ]]; then
        DISPLAY=:$display report gtk
    fi
fi
