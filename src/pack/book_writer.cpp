#include "pack/book_writer.h"

#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <system_error>
#include <vector>

#include "pack/book_folder.h"
#include "pack/deflated_files.h"
#include "pack/page_links.h"
#include "pack/temp_file.h"
#include "platform/platform.h"

namespace pagorix {

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kMaxArchiveBytes = 0xFFFFFFFFu;
constexpr std::size_t kMaxBookFiles = 0xFFFF - 1;
// The share of the progress that deflating the files stands for; libzip's
// writing, which copies and encrypts, takes the rest.
constexpr double kDeflatingShare = 0.9;

std::string HostError(int code) {
    return std::system_category().message(code);
}

struct ZipDiscard {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ZipArchive = std::unique_ptr<zip_t, ZipDiscard>;

// Whether deflating `bytes` at `level` gives fewer bytes than storing them.
bool DeflatingPays(const std::string& bytes, int level) {
    if (bytes.empty() || level == 0) return false;
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw EPackError("cannot start the compressor");
    }
    std::vector<unsigned char> output(bytes.size());
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = output.data();
    stream.avail_out = static_cast<uInt>(output.size());
    const bool pays = deflate(&stream, Z_FINISH) == Z_STREAM_END && stream.avail_out > 0;
    deflateEnd(&stream);
    return pays;
}

void CheckOutputPlace(const std::string& sourceDir, const std::string& output) {
    std::error_code error;
    fs::path source = fs::weakly_canonical(sourceDir, error);
    fs::path out = fs::weakly_canonical(fs::absolute(output, error), error);
    if (error) throw EPackError("cannot resolve \"" + output + "\": " + error.message());
    if (source.filename().empty()) source = source.parent_path();
    const auto [sourceEnd, outEnd] =
        std::mismatch(source.begin(), source.end(), out.begin(), out.end());
    if (sourceEnd == source.end()) {
        throw EPackError("the book \"" + output + "\" would be inside the source folder \"" +
                         sourceDir + "\"");
    }
    if (fs::is_directory(out, error)) {
        throw EPackError("\"" + output + "\" is a folder; give the book's file name");
    }
    if (!fs::is_directory(out.parent_path(), error)) {
        throw EPackError("cannot write \"" + output + "\": its folder does not exist");
    }
}

std::vector<char> ReadStub(const std::string& path) {
    platform::FileHandle stub = platform::FileHandle::Open(path, platform::fmOpenRead);
    if (!stub.IsOpen()) {
        throw EPackError("cannot open the runtime \"" + path +
                         "\": " + HostError(stub.ErrorCode()));
    }
    const std::int64_t size = stub.Size();
    if (size != PayloadOffset) {
        throw EPackError("the runtime \"" + path + "\" is " + std::to_string(size) +
                         " bytes long; a book's runtime must be exactly " +
                         std::to_string(PayloadOffset) + " bytes");
    }
    std::vector<char> bytes(static_cast<std::size_t>(size));
    if (stub.Read(bytes.data(), size) != size) {
        throw EPackError("cannot read the runtime \"" + path + "\"");
    }
    return bytes;
}

struct ProgressState {
    const PackProgress* handler;
    const PackStats* stats;
    double deflating = 0;  // share of the work that deflating the files stands for
};

void OnZipProgress(zip_t*, double fraction, void* context) {
    const auto& state = *static_cast<ProgressState*>(context);
    (*state.handler)(*state.stats, state.deflating + (1 - state.deflating) * fraction);
}

// A deflated file as libzip reads it: the deflated data with their sizes and
// CRC-32, which libzip copies as they are (the entry asks for deflate too)
// before it encrypts them.
class DeflatedSource {
public:
    DeflatedSource(DeflatedFiles& files, std::size_t index, int level)
        : m_files(files), m_index(index), m_level(level) {
        zip_error_init(&m_error);
    }
    ~DeflatedSource() { zip_error_fini(&m_error); }
    DeflatedSource(const DeflatedSource&) = delete;
    DeflatedSource& operator=(const DeflatedSource&) = delete;

    // Set when a read failed; libzip reports it only as a failing read.
    std::exception_ptr failure;

    static zip_int64_t Callback(void* user, void* data, zip_uint64_t length,
                                zip_source_cmd_t command) {
        auto& source = *static_cast<DeflatedSource*>(user);
        try {
            return source.Handle(data, length, command);
        } catch (...) {
            source.failure = std::current_exception();
            zip_error_set(&source.m_error, ZIP_ER_READ, 0);
            return -1;
        }
    }

private:
    static constexpr std::uint32_t kOwnerWrite = 0200;
    static constexpr std::uint32_t kDosReadOnly = 0x01;
    static constexpr zip_uint16_t kLevelFlags = 0x0006;
    static constexpr zip_uint16_t kMaximumFlag = 0x0002;
    static constexpr zip_uint16_t kFastFlag = 0x0004;

    zip_int64_t Handle(void* data, zip_uint64_t length, zip_source_cmd_t command) {
        const DeflatedFile& file = m_files[m_index];
        switch (command) {
            case ZIP_SOURCE_SUPPORTS:
                return zip_source_make_command_bitmap(
                    ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                    ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_GET_FILE_ATTRIBUTES, -1);
            case ZIP_SOURCE_OPEN:
                m_at = 0;
                return 0;
            case ZIP_SOURCE_READ: {
                const std::size_t got = m_files.Read(m_index, m_at, data, length);
                m_at += got;
                return static_cast<zip_int64_t>(got);
            }
            case ZIP_SOURCE_STAT: {
                auto* stat = static_cast<zip_stat_t*>(data);
                zip_stat_init(stat);
                stat->valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD |
                              ZIP_STAT_CRC | ZIP_STAT_MTIME;
                stat->size = file.size;
                stat->comp_size = file.packedSize;
                stat->comp_method = ZIP_CM_DEFLATE;
                stat->crc = file.crc;
                stat->mtime = static_cast<time_t>(file.modified);
                return sizeof *stat;
            }
            case ZIP_SOURCE_GET_FILE_ATTRIBUTES: {
                // What libzip records of a file that it reads and deflates
                // itself: the file's mode, with the MS-DOS read-only flag
                // when the owner may not write it, and the level's hint in
                // the general purpose flags.
                auto* attributes = static_cast<zip_file_attributes_t*>(data);
                attributes->valid |= ZIP_FILE_ATTRIBUTES_HOST_SYSTEM |
                                     ZIP_FILE_ATTRIBUTES_EXTERNAL_FILE_ATTRIBUTES |
                                     ZIP_FILE_ATTRIBUTES_GENERAL_PURPOSE_BIT_FLAGS;
                attributes->host_system = ZIP_OPSYS_UNIX;
                attributes->external_file_attributes =
                    file.mode << 16 | ((file.mode & kOwnerWrite) != 0 ? 0 : kDosReadOnly);
                attributes->general_purpose_bit_mask = kLevelFlags;
                attributes->general_purpose_bit_flags = m_level >= 8   ? kMaximumFlag
                                                        : m_level <= 2 ? kFastFlag
                                                                       : 0;
                return 0;
            }
            case ZIP_SOURCE_CLOSE:
            case ZIP_SOURCE_FREE:
                return 0;
            case ZIP_SOURCE_ERROR:
                return zip_error_to_data(&m_error, data, length);
            default:
                zip_error_set(&m_error, ZIP_ER_OPNOTSUPP, 0);
                return -1;
        }
    }

    DeflatedFiles& m_files;
    const std::size_t m_index;
    const int m_level;
    std::uint64_t m_at = 0;
    zip_error_t m_error;
};

void AddEntry(zip_t* archive, zip_source_t* source, const std::string& name, bool deflate,
              int level) {
    if (source == nullptr) {
        throw EPackError("cannot add \"" + name + "\": " + zip_strerror(archive));
    }
    const zip_int64_t index = zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_CP437);
    if (index < 0) {
        zip_source_free(source);
        throw EPackError("cannot add \"" + name + "\": " + zip_strerror(archive));
    }
    const auto entry = static_cast<zip_uint64_t>(index);
    if (zip_set_file_compression(archive, entry, deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE,
                                 deflate ? static_cast<zip_uint32_t>(level) : 0) != 0 ||
        zip_file_set_encryption(archive, entry, ZIP_EM_TRAD_PKWARE, kArchivePassword) != 0) {
        throw EPackError("cannot add \"" + name + "\": " + zip_strerror(archive));
    }
}

// Writes the payload archive into `path` (an existing empty file) for the
// book `output`: the manifest, which libzip deflates itself when that pays,
// then the files, deflated ones as they are and stored ones read by libzip.
void WriteArchive(const std::string& path, const std::string& output,
                  const std::vector<BookFile>& files, DeflatedFiles& deflated,
                  const std::string& manifest, int level, ProgressState* progress) {
    std::vector<std::unique_ptr<DeflatedSource>> sources;  // outlive the archive
    int error = 0;
    ZipArchive archive(zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error));
    if (!archive) {
        zip_error_t details;
        zip_error_init_with_code(&details, error);
        const std::string message = zip_error_strerror(&details);
        zip_error_fini(&details);
        throw EPackError("cannot write \"" + output + "\": " + message);
    }
    // The manifest's bytes stay alive until the archive is closed below.
    AddEntry(archive.get(), zip_source_buffer(archive.get(), manifest.data(), manifest.size(), 0),
             kManifestName, DeflatingPays(manifest, level), level);
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (deflated[i].deflated) {
            DeflatedSource* source =
                sources.emplace_back(std::make_unique<DeflatedSource>(deflated, i, level)).get();
            AddEntry(archive.get(),
                     zip_source_function(archive.get(), &DeflatedSource::Callback, source),
                     files[i].storedName, true, level);
        } else {
            AddEntry(archive.get(), zip_source_file(archive.get(), files[i].path.c_str(), 0, 0),
                     files[i].storedName, false, level);
        }
    }
    if (progress != nullptr) {
        zip_register_progress_callback_with_state(archive.get(), 0.01, OnZipProgress, nullptr,
                                                  progress);
    }
    if (zip_close(archive.get()) != 0) {
        for (const auto& source : sources) {
            if (source->failure) std::rethrow_exception(source->failure);
        }
        // libzip reads the stored files only now; a file that changed or
        // vanished since the folder was read ends up here.
        throw EPackError("cannot write \"" + output + "\": " + zip_strerror(archive.get()));
    }
    static_cast<void>(archive.release());  // zip_close has freed it
}

void WriteAll(platform::FileHandle& out, const char* data, std::size_t size,
              const std::string& name) {
    if (out.Write(data, static_cast<std::int64_t>(size)) != static_cast<std::int64_t>(size)) {
        throw EPackError("cannot write \"" + name + "\": " + HostError(platform::LastError()));
    }
}

// Writes the runtime image followed by the archive's bytes into `path`.
std::uint64_t JoinBook(const std::string& path, const std::vector<char>& stub,
                       const std::string& archivePath, const std::string& output) {
    platform::FileHandle out = platform::FileHandle::Open(path, platform::fmOpenWrite);
    if (!out.IsOpen()) {
        throw EPackError("cannot write \"" + output + "\": " + HostError(out.ErrorCode()));
    }
    WriteAll(out, stub.data(), stub.size(), output);
    platform::FileHandle archive = platform::FileHandle::Open(archivePath, platform::fmOpenRead);
    if (!archive.IsOpen()) {
        throw EPackError("cannot read the archive \"" + archivePath + "\"");
    }
    const std::int64_t size = archive.Size();
    if (size < 0) throw EPackError("cannot read the archive \"" + archivePath + "\"");
    const platform::CopyOutcome copy = platform::CopyFileData(archive, out, size);
    if (copy.copied != size) {
        if (copy.sourceShort) {
            throw EPackError("cannot read the archive \"" + archivePath + "\"");
        }
        throw EPackError("cannot write \"" + output + "\": " + HostError(platform::LastError()));
    }
    return stub.size() + static_cast<std::uint64_t>(size);
}

const BookFile& StartPage(const std::vector<BookFile>& files, const PackRequest& request,
                          bool flat) {
    if (!request.manifest.startPage.empty()) {
        return FindStartPage(files, request.manifest.startPage, flat);
    }
    if (const BookFile* index = DefaultStartPage(files)) return *index;
    throw EPackError("\"" + request.sourceDir +
                     "\" has no index.html or index.htm at the top; name the page the book "
                     "opens with --start PAGE");
}

// The start page's <title>; the source folder's name when it has none.
std::string TitleOf(const BookFile& start, const std::string& sourceDir) {
    std::string title;
    if (IsHtmlPage(start.relative)) {
        std::ifstream in(start.path, std::ios::binary);
        const std::string page((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        title = HtmlTitle(page);
    }
    if (title.empty()) {
        const fs::path folder = fs::path(sourceDir).lexically_normal();
        const std::u8string name =
            (folder.has_filename() ? folder.filename() : folder.parent_path().filename())
                .u8string();
        title.assign(name.begin(), name.end());
    }
    // A title that the book cannot carry is refused by the manifest writer;
    // say where it came from.
    try {
        ToBookText(title, "title");
    } catch (const EPackError& error) {
        throw EPackError(std::string(error.what()) + " (the title is read from \"" +
                         start.relative + "\" unless given); give one with --title");
    }
    return title;
}

}  // namespace

std::string DescribeBrokenLink(const BrokenLink& link) {
    return link.file + ": \"" + link.link + "\" " + link.reason;
}

PackStats PackBook(const PackRequest& request, const PackProgress& progress) {
    std::error_code error;
    if (!fs::exists(request.sourceDir, error)) {
        throw EPackError("the source folder \"" + request.sourceDir + "\" does not exist");
    }
    if (!fs::is_directory(request.sourceDir, error)) {
        throw EPackError("\"" + request.sourceDir + "\" is not a folder");
    }
    if (request.level < 0 || request.level > 9) {
        throw EPackError("the compression level must be 0 to 9");
    }
    CheckOutputPlace(request.sourceDir, request.output);

    const bool flat = request.scan.flat;
    const BookFolder folder = ScanBookFolder(request.sourceDir, request.scan);
    const std::vector<BookFile>& files = folder.files;
    PackStats stats;
    stats.leftOut = folder.leftOut;
    const BookFile& start = StartPage(files, request, flat);
    stats.brokenLinks = CheckLinks(files, flat);
    if (request.strictLinks && !stats.brokenLinks.empty()) {
        std::string message = std::to_string(stats.brokenLinks.size()) +
                              (stats.brokenLinks.size() == 1 ? " link leads" : " links lead") +
                              " to nothing in the book:";
        for (const BrokenLink& link : stats.brokenLinks)
            message += "\n  " + DescribeBrokenLink(link);
        throw EPackError(message);
    }
    BookManifest manifest = request.manifest;
    manifest.folders = !flat;
    manifest.startPage = flat ? std::string(FlatName(start.relative)) : start.relative;
    if (manifest.title.empty()) manifest.title = TitleOf(start, request.sourceDir);
    stats.title = manifest.title;
    stats.startPage = start.relative;
    const std::string manifestBytes = WriteManifest(manifest);
    const std::vector<char> stub = ReadStub(request.stub);

    stats.files = files.size();
    for (const BookFile& file : files)
        stats.bytes += file.size;
    // The runtime reads classic archives only: 32-bit sizes and offsets, and
    // 16-bit entry counts (the manifest takes one entry).
    if (stats.bytes >= kMaxArchiveBytes) {
        throw EPackError("the files of \"" + request.sourceDir + "\" come to " +
                         std::to_string(stats.bytes) + " bytes; a book holds less than 4 GiB");
    }
    if (files.size() > kMaxBookFiles) {
        throw EPackError("\"" + request.sourceDir + "\" holds " + std::to_string(files.size()) +
                         " files; a book holds at most " + std::to_string(kMaxBookFiles));
    }
    const double total = static_cast<double>(std::max<std::uint64_t>(stats.bytes, 1));
    ProgressState state{&progress, &stats, request.level > 0 ? kDeflatingShare : 0.0};
    std::uint64_t read = 0;
    const auto deflating = [&](std::uint64_t bytes) {
        read += bytes;
        progress(stats, state.deflating * static_cast<double>(read) / total);
    };

    // Nothing has been written so far; from here on the temporary files
    // clean up after any failure.
    TempFile archive(request.output);
    {
        DeflatedFiles deflated(files, request.level, request.output,
                               progress ? std::function<void(std::uint64_t)>(deflating) : nullptr);
        WriteArchive(archive.Path(), request.output, files, deflated, manifestBytes, request.level,
                     progress ? &state : nullptr);
    }
    TempFile book(request.output);
    stats.bookSize = JoinBook(book.Path(), stub, archive.Path(), request.output);

    // A book is a program: readable and runnable by everyone, like what a
    // compiler leaves. Hosts without these bits keep what they have.
    fs::permissions(book.Path(),
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::replace, error);
    fs::rename(book.Path(), request.output, error);
    if (error) {
        throw EPackError("cannot write \"" + request.output + "\": " + error.message());
    }
    book.Keep();
    if (progress) progress(stats, 1.0);
    return stats;
}

}  // namespace pagorix
