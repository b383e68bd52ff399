#include "pack/deflated_files.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
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
// As libzip deflates: raw deflate with its largest hash tables.
constexpr int kWindowBits = -MAX_WBITS;
constexpr int kMemoryLevel = MAX_MEM_LEVEL;

std::string CannotRead(const std::string& path) {
    return "cannot read \"" + path + "\"";
}

// One worker's raw deflate stream, buffers and temporary file, kept from
// file to file.
class Worker {
public:
    Worker(int level, platform::FileHandle& holder, const std::string& holderPath)
        : m_holder(holder), m_holderPath(holderPath) {
        if (deflateInit2(&m_stream, level, Z_DEFLATED, kWindowBits, kMemoryLevel,
                         Z_DEFAULT_STRATEGY) != Z_OK) {
            throw EPackError("cannot start the compressor");
        }
    }
    ~Worker() { deflateEnd(&m_stream); }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Deflates `file` into the temporary file after what this worker wrote
    // before; out.deflated stays false when that does not make it smaller.
    void Deflate(const BookFile& file, DeflatedFile& out,
                 const std::function<void(std::uint64_t)>& read) {
        platform::FileHandle in = platform::FileHandle::Open(file.path, platform::fmOpenRead);
        if (!in.IsOpen()) throw EPackError(CannotRead(file.path));
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
                    // Stored: the rest of the file is passed over, and the
                    // next file overwrites what was written of this one.
                    if (read && taken < file.size) read(file.size - taken);
                    if (produced > 0 &&
                        m_holder.Seek(static_cast<std::int64_t>(m_end), platform::kSeekBegin) < 0) {
                        throw EPackError(CannotRead(m_holderPath));
                    }
                    return;
                }
                if (m_holder.Write(m_output.data(), static_cast<std::int64_t>(made)) !=
                    static_cast<std::int64_t>(made)) {
                    throw EPackError("cannot write \"" + m_holderPath + "\": " +
                                     std::system_category().message(platform::LastError()));
                }
                produced += made;
            } while (m_stream.avail_out == 0);
        }
        out.deflated = true;
        out.size = taken;
        out.packedSize = produced;
        out.crc = static_cast<std::uint32_t>(crc);
        out.offset = m_end;
        m_end += produced;
    }

private:
    platform::FileHandle& m_holder;
    const std::string& m_holderPath;
    std::uint64_t m_end = 0;  // where the next file's deflated bytes go
    z_stream m_stream{};
    std::vector<unsigned char> m_input = std::vector<unsigned char>(kChunk);
    std::vector<unsigned char> m_output = std::vector<unsigned char>(kChunk);
};

}  // namespace

DeflatedFiles::DeflatedFiles(const std::vector<BookFile>& files, int level, const std::string& book,
                             const std::function<void(std::uint64_t)>& read)
    : m_files(files.size()) {
    std::vector<std::size_t> work;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (level > 0 && files[i].size > 0) work.push_back(i);
    }
    const std::size_t workers =
        std::min<std::size_t>(std::max(1u, std::thread::hardware_concurrency()), work.size());
    for (std::size_t w = 0; w < workers; ++w) {
        Holder& holder = m_holders.emplace_back();
        holder.file = std::make_unique<TempFile>(book);
        holder.handle = platform::FileHandle::Open(holder.file->Path(), platform::fmOpenReadWrite);
        if (!holder.handle.IsOpen()) {
            throw EPackError("cannot write \"" + holder.file->Path() +
                             "\": " + std::system_category().message(holder.handle.ErrorCode()));
        }
    }

    std::mutex readLock;
    const auto tell = [&](std::uint64_t bytes) {
        const std::lock_guard<std::mutex> hold(readLock);
        read(bytes);
    };
    std::vector<std::exception_ptr> failures(files.size());
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> firstFailure{work.size()};  // files after it are left
    std::exception_ptr notStarted;
    const auto run = [&](std::size_t w) {
        std::optional<Worker> worker;
        try {
            worker.emplace(level, m_holders[w].handle, m_holders[w].file->Path());
        } catch (...) {
            const std::lock_guard<std::mutex> hold(readLock);
            notStarted = std::current_exception();
            return;
        }
        for (std::size_t k = next++; k < work.size() && k < firstFailure; k = next++) {
            const std::size_t index = work[k];
            try {
                const std::optional<double> modified =
                    platform::FileModifiedSeconds(files[index].path);
                m_files[index].modified =
                    modified ? static_cast<std::int64_t>(*modified) : std::time(nullptr);
                std::error_code error;
                m_files[index].mode =
                    kUnixRegularFile |
                    static_cast<std::uint32_t>(fs::status(files[index].path, error).permissions() &
                                               fs::perms::mask);
                m_files[index].holder = w;
                worker->Deflate(files[index], m_files[index],
                                read ? std::function<void(std::uint64_t)>(tell) : nullptr);
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
    Holder& holder = m_holders[file.holder];
    const auto count =
        static_cast<std::int64_t>(std::min<std::uint64_t>(size, file.packedSize - at));
    if (holder.handle.Seek(static_cast<std::int64_t>(file.offset + at), platform::kSeekBegin) < 0 ||
        holder.handle.Read(buffer, count) != count) {
        throw EPackError(CannotRead(holder.file->Path()));
    }
    return static_cast<std::size_t>(count);
}

}  // namespace pagorix
