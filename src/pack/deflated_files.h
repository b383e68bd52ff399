// The book's files deflated on every core, each file once, and kept in
// temporary files beside the book until the archive writer copies them in
// the book's order.
//
// Every worker takes the next file in the book's order and deflates it (raw
// deflate at the book's level) into its own temporary file, computing the
// CRC-32 of what it reads. As soon as the deflated bytes reach the file's
// size, deflating does not pay: the file is to be stored as it is, and the
// worker's next file overwrites what it wrote. Empty files, and every file at
// level 0, are stored without being read here.
//
// Memory stays bounded whatever the size of the site: a worker holds one
// deflate stream and two buffers, and the deflated data wait on disk, taking
// about as much room as the archive they go into. When a file cannot be
// read, the files after it are left and the failure is raised, once the
// workers have ended, for the first failing file in the book's order, as
// one core would. The temporary files go with the object.
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
    std::size_t holder = 0;        // the temporary file holding the deflated bytes
    std::uint64_t offset = 0;      // where they start in it
};

class DeflatedFiles {
public:
    // Deflates `files` at `level` (0 to 9); the temporary files are made
    // beside `book`. `read` is told of the bytes read, or passed over in a
    // file that is to be stored, from the workers' threads one at a time.
    // Raises EPackError naming the file that cannot be read.
    DeflatedFiles(const std::vector<BookFile>& files, int level, const std::string& book,
                  const std::function<void(std::uint64_t)>& read);
    ~DeflatedFiles();
    DeflatedFiles(const DeflatedFiles&) = delete;
    DeflatedFiles& operator=(const DeflatedFiles&) = delete;

    const DeflatedFile& operator[](std::size_t index) const { return m_files[index]; }
    // Copies up to `size` bytes of the deflated data of file `index`, from
    // byte `at` of them; returns the bytes copied. Raises EPackError.
    std::size_t Read(std::size_t index, std::uint64_t at, void* buffer, std::size_t size);

private:
    struct Holder {
        std::unique_ptr<TempFile> file;
        platform::FileHandle handle;
    };

    std::vector<DeflatedFile> m_files;
    std::vector<Holder> m_holders;  // one per worker
};

}  // namespace pagorix
