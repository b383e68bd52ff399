#!/usr/bin/env bash
# Archive engine: entries past 2 GiB and archives past 4 GiB. Builds the
# release pagorix-unzip and writes two sparse archives (holes of zeros, so
# they take almost no disk): a classic one with one stored entry of 3 GiB,
# and a ZIP64 one with stored entries of 2 GiB, 2 GiB and 1 MiB, the last
# behind the 4 GiB mark (ZIP64 extra field, ZIP64 end record). Then `pagorix-unzip
# -t` and, where installed, `unzip -t` test both; the times are printed.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/bench-extract
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" --target pagorix-unzip -j2 >/dev/null
ours=$PWD/$build/apps/unzip/pagorix-unzip
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work" <<'PY'
import os, struct, sys, zlib
work = sys.argv[1]
def zero_crc(size):
    crc, chunk = 0, bytes(1 << 24)
    while size:
        n = min(size, len(chunk))
        crc = zlib.crc32(chunk[:n], crc)
        size -= n
    return crc
def write(path, sizes, zip64):
    crcs = {s: zero_crc(s) for s in set(sizes)}
    central = b""
    with open(path, "wb") as f:
        for i, size in enumerate(sizes):
            name = b"zeros%d.bin" % i
            offset = f.tell()
            extra = struct.pack("<HHQQ", 1, 16, size, size) if zip64 else b""
            field = 0xFFFFFFFF if zip64 else size
            f.write(struct.pack("<IHHHIIIIHH", 0x04034B50, 45 if zip64 else 10, 0, 0, 0,
                                crcs[size], field, field, len(name), len(extra)) + name + extra)
            f.seek(size, 1)  # a hole of zeros
            cextra = struct.pack("<HHQ", 1, 8, offset) if zip64 and offset >= 0xFFFFFFFF else b""
            coff = 0xFFFFFFFF if cextra else offset
            central += struct.pack("<IHHHHIIIIHHHHHII", 0x02014B50, 0x0314, 45 if zip64 else 10,
                                   0, 0, 0, crcs[size], size, size, len(name), len(cextra), 0,
                                   0, 0, 0x81A40000, coff) + name + cextra
        start = f.tell()
        f.write(central)
        if zip64:
            end64 = f.tell()
            f.write(struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, len(sizes),
                                len(sizes), len(central), start))
            f.write(struct.pack("<IIQI", 0x07064B50, 0, end64, 1))
            f.write(struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF,
                                0xFFFFFFFF, 0))
        else:
            f.write(struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(sizes), len(sizes),
                                len(central), start, 0))
GiB = 1 << 30
write(os.path.join(work, "stored_3gib.zip"), [3 * GiB], False)
write(os.path.join(work, "zip64_4gib.zip"), [2 * GiB, 2 * GiB, 1 << 20], True)
PY

for archive in stored_3gib zip64_4gib; do
    echo "== $archive.zip ($(du -h --apparent-size "$work/$archive.zip" | cut -f1) apparent," \
        "$(du -h "$work/$archive.zip" | cut -f1) on disk)"
    start=$(date +%s.%N)
    status=0
    "$ours" -t "$work/$archive.zip" || status=$?
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" -v s="$status" \
        'BEGIN { printf "pagorix-unzip -t: exit %d, %.1f s\n", s, b - a }'
    if command -v unzip >/dev/null; then
        start=$(date +%s.%N)
        status=0
        unzip -tq "$work/$archive.zip" || status=$?
        end=$(date +%s.%N)
        awk -v a="$start" -v b="$end" -v s="$status" \
            'BEGIN { printf "unzip -t:         exit %d, %.1f s\n", s, b - a }'
    fi
done
