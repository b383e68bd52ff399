#!/usr/bin/env python3
"""Seeds for the fuzz targets, made at run time from the repository's test
archives (read from their folder, never copied into the corpus): for the
decoder targets the compressed data of every entry of the target's method,
with the few prefix bytes each target reads first; for the targets that read
whole archives, every archive file (split volumes and damaged ones included)
up to 64 KiB. Usage: make_seeds.py TEST_DATA_DIR OUT_DIR"""
import os
import struct
import sys
import zipfile

TARGETS = {
    "fuzz_inflate": ([8], lambda info, data: data),
    "fuzz_unshrink": ([1], lambda info, data: data),
    "fuzz_unreduce": ([2, 3, 4, 5], lambda info, data: struct.pack(
        "<HB", min(info.file_size // 64, 0xFFFF), info.compress_type - 2) + data),
    "fuzz_explode": ([6], lambda info, data: struct.pack(
        "<HB", min(info.file_size // 64, 0xFFFF), info.flag_bits & 6) + data),
}

ARCHIVE_TARGETS = ["fuzz_read_zip", "fuzz_unzip", "fuzz_extract"]
ARCHIVE_SUFFIXES = (".zip", ".z01", ".z02", ".z03")
MAX_ARCHIVE_SEED = 65536


def raw_entries(path):
    with open(path, "rb") as f:
        blob = f.read()
    try:
        archive = zipfile.ZipFile(path)
    except (zipfile.BadZipFile, OSError):
        return
    for info in archive.infolist():
        if info.flag_bits & 1:
            continue
        at = info.header_offset
        if blob[at:at + 4] != b"PK\x03\x04":
            continue
        name_len, extra_len = struct.unpack("<HH", blob[at + 26:at + 30])
        start = at + 30 + name_len + extra_len
        yield info, blob[start:start + info.compress_size]


def main():
    source, out = sys.argv[1], sys.argv[2]
    count = 0
    for root, _, files in os.walk(source):
        for name in sorted(files):
            path = os.path.join(root, name)
            if name.lower().endswith(ARCHIVE_SUFFIXES) and os.path.getsize(path) <= MAX_ARCHIVE_SEED:
                with open(path, "rb") as f:
                    whole = f.read()
                for target in ARCHIVE_TARGETS:
                    os.makedirs(os.path.join(out, target), exist_ok=True)
                    with open(os.path.join(out, target, name), "wb") as f:
                        f.write(whole)
                count += len(ARCHIVE_TARGETS)
            if not name.lower().endswith(".zip"):
                continue
            for info, data in raw_entries(os.path.join(root, name)):
                for target, (methods, make) in TARGETS.items():
                    if info.compress_type in methods and len(data) < 60000:
                        os.makedirs(os.path.join(out, target), exist_ok=True)
                        seed = os.path.join(out, target, "%s-%d" % (name, count))
                        with open(seed, "wb") as f:
                            f.write(make(info, data))
                        count += 1
    print("seeds:", count)


if __name__ == "__main__":
    main()
