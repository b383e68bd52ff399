#include "pack/deflated_files.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <ctime>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "pack/pack_error.h"
#include "pack/temp_file.h"

namespace pagorix {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kChunk = 256 * 1024;
constexpr std::uint32_t kUnixRegularFile = 0100000;
// Raw deflate with zlib's default memory level: libzip's own deflate uses
// the largest (9), which takes about 5% more time for output a few tenths
// of a percent larger or smaller.
constexpr int kWindowBits = -MAX_WBITS;
constexpr int kMemoryLevel = 8;

std::string CannotRead(const std::string& path) {
    return "cannot read \"" + path + "\"";
}

// Takes `size` bytes from the memory budget when that many are left.
bool TakeFromBudget(std::atomic<std::uint64_t>& budget, std::uint64_t size) {
    std::uint64_t left = budget;
    while (left >= size) {
        if (budget.compare_exchange_weak(left, left - size)) return true;
    }
    return false;
}

// One worker's raw deflate stream and buffers, kept from file to file.
class Worker {
public:
    Worker(int level, DeflatedFiles::Holder& holder, const std::string& book,
           std::atomic<std::uint64_t>& budget)
        : m_holder(holder), m_book(book), m_budget(budget) {
        if (deflateInit2(&m_stream, level, Z_DEFLATED, kWindowBits, kMemoryLevel,
                         Z_DEFAULT_STRATEGY) != Z_OK) {
            throw EPackError("cannot start the compressor");
        }
    }
    ~Worker() { deflateEnd(&m_stream); }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Deflates `file` into `kept` or the holder's temporary file;
    // out.deflated stays false when that does not make it smaller.
    void Deflate(const BookFile& file, DeflatedFile& out, std::vector<unsigned char>& kept,
                 const std::function<void(std::uint64_t)>& read) {
        platform::FileHandle in = platform::FileHandle::Open(file.path, platform::fmOpenRead);
        if (!in.IsOpen()) throw EPackError(CannotRead(file.path));
        out.inMemory = TakeFromBudget(m_budget, file.size);
        if (out.inMemory) kept.reserve(static_cast<std::size_t>(file.size));
        deflateReset(&m_stream);
        uLong crc = crc32(0, nullptr, 0);
        std::uint64_t taken = 0;
        std::uint64_t produced = 0;
        for (int flush = Z_NO_FLUSH; flush != Z_FINISH;) {
            const std::int64_t got =
                in.Read(m_input.data(), static_cast<std::int64_t>(m_input.size()));
            if (got < 0) throw EPackError(CannotRead(file.path));
            crc = crc32(crc, m_input.data(), static_cast<uInt>(got));
            taken += static_cast<std::uint64_t>(got);
            if (read && got > 0) read(static_cast<std::uint64_t>(got));
            flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
            m_stream.next_in = m_input.data();
            m_stream.avail_in = static_cast<uInt>(got);
            do {
                m_stream.next_out = m_output.data();
                m_stream.avail_out = static_cast<uInt>(m_output.size());
                deflate(&m_stream, flush);
                const std::size_t made = m_output.size() - m_stream.avail_out;
                if (produced + made >= file.size) {
                    // Stored: the rest of the file is passed over, and what
                    // was made of it is dropped.
                    if (read && taken < file.size) read(file.size - taken);
                    if (out.inMemory) {
                        std::vector<unsigned char>().swap(kept);
                        m_budget += file.size;
                    }
                    return;
                }
                Keep(out.inMemory ? &kept : nullptr, m_holder.end + produced, made);
                produced += made;
            } while (m_stream.avail_out == 0);
        }
        out.deflated = true;
        out.size = taken;
        out.packedSize = produced;
        out.crc = static_cast<std::uint32_t>(crc);
        if (out.inMemory) {
            kept.shrink_to_fit();
            m_budget += file.size - produced;
        } else {
            out.offset = m_holder.end;
            m_holder.end += produced;
        }
    }

private:
    // Appends the `made` bytes of the output buffer to `kept`, or, with
    // none, to the temporary file at `at`.
    void Keep(std::vector<unsigned char>* kept, std::uint64_t at, std::size_t made) {
        if (kept != nullptr) {
            kept->insert(kept->end(), m_output.data(), m_output.data() + made);
            return;
        }
        if (!m_holder.file) {
            m_holder.file = std::make_unique<TempFile>(m_book);
            m_holder.handle =
                platform::FileHandle::Open(m_holder.file->Path(), platform::fmOpenReadWrite);
        }
        const auto size = static_cast<std::int64_t>(made);
        const bool placed =
            m_holder.handle.IsOpen() &&
            (m_holder.position == at ||
             m_holder.handle.Seek(static_cast<std::int64_t>(at), platform::kSeekBegin) >= 0);
        if (!placed || m_holder.handle.Write(m_output.data(), size) != size) {
            throw EPackError("cannot write \"" + m_holder.file->Path() +
                             "\": " + std::system_category().message(platform::LastError()));
        }
        m_holder.position = at + made;
    }

    DeflatedFiles::Holder& m_holder;
    const std::string& m_book;
    std::atomic<std::uint64_t>& m_budget;
    z_stream m_stream{};
    std::vector<unsigned char> m_input = std::vector<unsigned char>(kChunk);
    std::vector<unsigned char> m_output = std::vector<unsigned char>(kChunk);
};

}  // namespace

DeflatedFiles::DeflatedFiles(const std::vector<BookFile>& files, int level, const std::string& book,
                             const std::function<void(std::uint64_t)>& read,
                             std::uint64_t keptInMemory)
    : m_files(files.size()), m_kept(files.size()) {
    std::vector<std::size_t> work;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (level > 0 && files[i].size > 0) work.push_back(i);
    }
    const std::size_t workers =
        std::min<std::size_t>(std::max(1u, std::thread::hardware_concurrency()), work.size());
    m_holders.resize(workers);

    std::mutex readLock;
    const std::function<void(std::uint64_t)> tell = [&](std::uint64_t bytes) {
        const std::lock_guard<std::mutex> hold(readLock);
        read(bytes);
    };
    std::atomic<std::uint64_t> budget{keptInMemory};
    std::vector<std::exception_ptr> failures(files.size());
    std::exception_ptr notStarted;
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> firstFailure{work.size()};  // the files after it are left
    const auto run = [&](std::size_t w) {
        std::optional<Worker> worker;
        try {
            worker.emplace(level, m_holders[w], book, budget);
        } catch (...) {
            const std::lock_guard<std::mutex> hold(readLock);
            notStarted = std::current_exception();
            return;
        }
        for (std::size_t k = next++; k < work.size() && k < firstFailure; k = next++) {
            const std::size_t index = work[k];
            DeflatedFile& out = m_files[index];
            try {
                const std::optional<double> modified =
                    platform::FileModifiedSeconds(files[index].path);
                out.modified = modified ? static_cast<std::int64_t>(*modified) : std::time(nullptr);
                std::error_code error;
                out.mode =
                    kUnixRegularFile |
                    static_cast<std::uint32_t>(fs::status(files[index].path, error).permissions() &
                                               fs::perms::mask);
                out.holder = w;
                worker->Deflate(files[index], out, m_kept[index], read ? tell : nullptr);
            } catch (...) {
                failures[index] = std::current_exception();
                std::size_t seen = firstFailure;
                while (k < seen && !firstFailure.compare_exchange_weak(seen, k)) {
                }
            }
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t w = 1; w < workers; ++w)
        threads.emplace_back(run, w);
    if (workers > 0) run(0);
    for (std::thread& thread : threads)
        thread.join();
    if (notStarted) std::rethrow_exception(notStarted);
    for (const std::exception_ptr& failure : failures) {
        if (failure) std::rethrow_exception(failure);
    }
}

DeflatedFiles::~DeflatedFiles() = default;

std::size_t DeflatedFiles::Read(std::size_t index, std::uint64_t at, void* buffer,
                                std::size_t size) {
    const DeflatedFile& file = m_files[index];
    const auto count =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, file.packedSize - at));
    if (count == 0) return 0;
    if (file.inMemory) {
        std::vector<unsigned char>& kept = m_kept[index];
        std::memcpy(buffer, kept.data() + at, count);
        if (at + count == kept.size()) std::vector<unsigned char>().swap(kept);
        return count;
    }
    Holder& holder = m_holders[file.holder];
    const std::uint64_t from = file.offset + at;
    if (holder.position != from) {
        if (holder.handle.Seek(static_cast<std::int64_t>(from), platform::kSeekBegin) < 0) {
            throw EPackError(CannotRead(holder.file->Path()));
        }
        holder.position = from;
    }
    if (holder.handle.Read(buffer, static_cast<std::int64_t>(count)) !=
        static_cast<std::int64_t>(count)) {
        throw EPackError(CannotRead(holder.file->Path()));
    }
    holder.position += count;
    return count;
}

}  // namespace pagorix
