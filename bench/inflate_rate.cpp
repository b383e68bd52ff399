// pagorix-bench-inflate: the engine's inflate (with its CRC-32) against
// libdeflate and zlib on the same deflate streams, in memory.
//
//   pagorix-bench-inflate ARCHIVE.zip [ROUNDS]
//
// Every deflated, unencrypted entry of ARCHIVE is loaded into memory. Each
// round decodes all of them with each of the three, in turn:
//   libdeflate  libdeflate_deflate_decompress into a buffer of the entry's
//               size, then libdeflate_crc32 over it;
//   zlib        inflate (raw, one call) into the same buffer, then crc32;
//   pagorix     TUnZipper in test mode on an archive holding just those
//               entries, written to memory-backed storage (/dev/shm when it
//               exists): the engine's whole path (refills, window flushes,
//               CRC-32, progress) but no output file.
// Every CRC-32 is checked against the archive's. The rate is uncompressed
// bytes per second, the median of ROUNDS rounds (default 7).
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/unzipper.h"
#include "framework/exceptions.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Entry {
    std::string name;
    std::uint32_t crc;
    std::uint32_t size;
    Bytes data;  // the raw deflate stream
};

std::uint32_t Get16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t Get32(const Bytes& b, std::size_t at) {
    return Get16(b, at) | (Get16(b, at + 2) << 16);
}
void Put16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

std::vector<Entry> LoadDeflated(const Bytes& zip) {
    std::size_t end = zip.size() - 22;
    while (Get32(zip, end) != 0x06054b50)
        --end;
    const std::uint32_t count = Get16(zip, end + 10);
    std::size_t at = Get32(zip, end + 16);
    std::vector<Entry> entries;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t flags = Get16(zip, at + 8), method = Get16(zip, at + 10);
        const std::uint32_t nameLength = Get16(zip, at + 28);
        const std::uint32_t skip = nameLength + Get16(zip, at + 30) + Get16(zip, at + 32);
        const std::uint32_t local = Get32(zip, at + 42);
        const std::uint32_t packed = Get32(zip, at + 20);
        if (method == 8 && (flags & 1) == 0) {
            const std::size_t data = local + 30 + Get16(zip, local + 26) + Get16(zip, local + 28);
            entries.push_back({std::string(zip.begin() + static_cast<long>(at) + 46,
                                           zip.begin() + static_cast<long>(at) + 46 + nameLength),
                               Get32(zip, at + 16), Get32(zip, at + 24),
                               Bytes(zip.begin() + static_cast<long>(data),
                                     zip.begin() + static_cast<long>(data + packed))});
        }
        at += 46 + skip;
    }
    return entries;
}

// An archive of the entries alone, one after another.
Bytes MakeArchive(const std::vector<Entry>& entries) {
    Bytes zip, central;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        std::string name(1, 'f');
        name += std::to_string(i);
        const auto offset = static_cast<std::uint32_t>(zip.size());
        for (Bytes* out : {&zip, &central}) {
            Put32(*out, out == &zip ? 0x04034b50 : 0x02014b50);
            if (out == &central) Put16(*out, 20);
            Put16(*out, 20);
            Put16(*out, 0);
            Put16(*out, 8);
            Put32(*out, 0x58210000);
            Put32(*out, e.crc);
            Put32(*out, static_cast<std::uint32_t>(e.data.size()));
            Put32(*out, e.size);
            Put16(*out, static_cast<std::uint32_t>(name.size()));
            Put16(*out, 0);
            if (out == &central) {
                Put16(*out, 0);
                Put16(*out, 0);
                Put16(*out, 0);
                Put32(*out, 0);
                Put32(*out, offset);
            }
            out->insert(out->end(), name.begin(), name.end());
        }
        zip.insert(zip.end(), e.data.begin(), e.data.end());
    }
    const auto centralAt = static_cast<std::uint32_t>(zip.size());
    zip.insert(zip.end(), central.begin(), central.end());
    Put32(zip, 0x06054b50);
    Put32(zip, 0);
    Put16(zip, static_cast<std::uint32_t>(entries.size()));
    Put16(zip, static_cast<std::uint32_t>(entries.size()));
    Put32(zip, static_cast<std::uint32_t>(central.size()));
    Put32(zip, centralAt);
    Put16(zip, 0);
    return zip;
}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: pagorix-bench-inflate ARCHIVE.zip [ROUNDS]\n");
        return 2;
    }
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    std::ifstream in(argv[1], std::ios::binary);
    const Bytes zip{std::istreambuf_iterator<char>(in), {}};
    const auto entries = LoadDeflated(zip);
    std::uint64_t total = 0, packed = 0;
    std::uint32_t largest = 0;
    for (const Entry& e : entries) {
        total += e.size;
        packed += e.data.size();
        largest = std::max(largest, e.size);
    }
    const char* shm = "/dev/shm";
    const std::string dir = std::ifstream(std::string(shm) + "/.") ? shm : "/tmp";
    const std::string copy =
        dir + "/pagorix-bench-inflate-" +
        std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + ".zip";
    {
        const Bytes archive = MakeArchive(entries);
        std::ofstream(copy, std::ios::binary)
            .write(reinterpret_cast<const char*>(archive.data()),
                   static_cast<long>(archive.size()));
    }
    Bytes out(largest + 1);
    libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
    z_stream zs{};
    inflateInit2(&zs, -15);
    std::vector<double> tLd, tZ, tOurs;
    bool ok = true;
    for (int r = 0; r < rounds; ++r) {
        auto start = std::chrono::steady_clock::now();
        for (const Entry& e : entries) {
            std::size_t got = 0;
            if (libdeflate_deflate_decompress(decompressor, e.data.data(), e.data.size(),
                                              out.data(), e.size, &got) != LIBDEFLATE_SUCCESS ||
                libdeflate_crc32(0, out.data(), got) != e.crc)
                ok = false;
        }
        tLd.push_back(Seconds(start));
        start = std::chrono::steady_clock::now();
        for (const Entry& e : entries) {
            inflateReset(&zs);
            zs.next_in = const_cast<Bytef*>(e.data.data());
            zs.avail_in = static_cast<uInt>(e.data.size());
            zs.next_out = out.data();
            zs.avail_out = static_cast<uInt>(out.size());
            if (inflate(&zs, Z_FINISH) != Z_STREAM_END ||
                crc32(0, out.data(), static_cast<uInt>(zs.total_out)) != e.crc)
                ok = false;
        }
        tZ.push_back(Seconds(start));
        start = std::chrono::steady_clock::now();
        pagorix::TUnZipper unzipper;
        unzipper.DoProcessMessages = false;
        unzipper.TestMode = true;
        unzipper.DoAll = true;
        std::int32_t done = 0;
        try {
            unzipper.SetZipName(copy);
            done = unzipper.UnZip();
        } catch (const pagorix::Exception& e) {
            std::fprintf(stderr, "pagorix: %s\n", e.Message().c_str());
        }
        tOurs.push_back(Seconds(start));
        if (done != static_cast<std::int32_t>(entries.size())) ok = false;
    }
    inflateEnd(&zs);
    libdeflate_free_decompressor(decompressor);
    std::remove(copy.c_str());
    const double mb = static_cast<double>(total) / 1e6;
    const double ld = mb / Median(tLd), z = mb / Median(tZ), ours = mb / Median(tOurs);
    std::printf("%zu deflated entries, %.1f MB -> %.1f MB; medians of %d rounds\n", entries.size(),
                static_cast<double>(packed) / 1e6, mb, rounds);
    std::printf("libdeflate %7.0f MB/s\nzlib       %7.0f MB/s\npagorix    %7.0f MB/s\n", ld, z,
                ours);
    std::printf("pagorix / libdeflate %.2f   pagorix / zlib %.2f\n", ours / ld, ours / z);
    if (!ok) std::printf("CHECK FAILED: a decoder gave a wrong result\n");
    return ok ? 0 : 1;
}
