// The book's files deflated on every core, each file once, and kept until
// the archive writer copies them in the book's order.
//
// Every worker takes the next file in the book's order and deflates it (raw
// deflate at the book's level), computing the CRC-32 of what it reads. As
// soon as the deflated bytes reach the file's size, deflating does not pay:
// the file is to be stored as it is, and what was made of it is dropped.
// Empty files, and every file at level 0, are stored without being read here.
//
// Memory stays bounded whatever the size of the site: deflated bytes are
// kept in memory up to kKeptInMemory bytes for all the files together, and
// the rest goes into one temporary file per worker beside the book, taking
// about as much room on disk as the archive they go into. A file takes its
// own size from the memory budget while it is deflated, and gives back what
// its deflated bytes do not need.
//
// When a file cannot be read, the files after it are left and the failure
// is raised, once the workers have ended, for the first failing file in the
// book's order, as one core would. The temporary files go with the object.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pack/book_folder.h"
#include "platform/platform.h"

namespace pagorix {

class TempFile;

struct DeflatedFile {
    bool deflated = false;         // else the file is stored as it is
    std::uint64_t size = 0;        // the bytes read from the file
    std::uint64_t packedSize = 0;  // the deflated bytes
    std::uint32_t crc = 0;         // CRC-32 of the bytes read
    std::int64_t modified = 0;     // last-write time, seconds since the Unix epoch (UTC)
    std::uint32_t mode = 0;        // the Unix file type and permission bits
    std::size_t holder = 0;        // the worker that holds the deflated bytes
    bool inMemory = false;         // in memory, else in the worker's temporary file
    std::uint64_t offset = 0;      // where they start in that file
};

class DeflatedFiles {
public:
    static constexpr std::uint64_t kKeptInMemory = 32u << 20;

    // Deflates `files` at `level` (0 to 9), keeping at most `keptInMemory`
    // deflated bytes in memory; the temporary files are made beside `book`.
    // `read` is told of the bytes read, or passed over in a file that is to
    // be stored, from the workers' threads one at a time. Raises EPackError
    // naming the file that cannot be read.
    DeflatedFiles(const std::vector<BookFile>& files, int level, const std::string& book,
                  const std::function<void(std::uint64_t)>& read,
                  std::uint64_t keptInMemory = kKeptInMemory);
    ~DeflatedFiles();
    DeflatedFiles(const DeflatedFiles&) = delete;
    DeflatedFiles& operator=(const DeflatedFiles&) = delete;

    const DeflatedFile& operator[](std::size_t index) const { return m_files[index]; }
    // Copies up to `size` bytes of the deflated data of file `index`, from
    // byte `at` of them; returns the bytes copied, 0 at their end. Bytes
    // kept in memory are freed once copied. Raises EPackError.
    std::size_t Read(std::size_t index, std::uint64_t at, void* buffer, std::size_t size);

    // One worker's temporary file, made when it first needs one.
    struct Holder {
        std::unique_ptr<TempFile> file;
        platform::FileHandle handle;
        std::uint64_t end = 0;       // where the next file's bytes go
        std::uint64_t position = 0;  // where the handle stands
    };

private:
    std::vector<DeflatedFile> m_files;
    std::vector<std::vector<unsigned char>> m_kept;  // the bytes kept in memory, by file
    std::vector<Holder> m_holders;                   // one per worker
};

}  // namespace pagorix
