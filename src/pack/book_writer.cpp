#include "pack/book_writer.h"

#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

#include "pack/book_folder.h"
#include "pack/page_links.h"
#include "platform/platform.h"

namespace pagorix {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kCopyChunk = 64 * 1024;
constexpr std::uint64_t kMaxArchiveBytes = 0xFFFFFFFFu;
constexpr std::size_t kMaxBookFiles = 0xFFFF - 1;

std::string HostError(int code) {
    return std::system_category().message(code);
}

// A file made under a fresh name beside `beside`, removed again unless kept.
class TempFile {
public:
    explicit TempFile(const std::string& beside) {
        std::random_device random;
        for (int attempt = 0; attempt < 64; ++attempt) {
            char suffix[24];
            std::snprintf(suffix, sizeof suffix, ".part%08x", static_cast<unsigned>(random()));
            const std::string candidate = beside + suffix;
            if (platform::CreateNewFile(candidate)) {
                m_path = candidate;
                return;
            }
            const int error = platform::LastError();
            if (!fs::exists(fs::symlink_status(candidate))) {
                throw EPackError("cannot write \"" + beside + "\": " + HostError(error));
            }
        }
        throw EPackError("cannot find a free temporary name beside \"" + beside + "\"");
    }
    ~TempFile() {
        if (!m_path.empty()) platform::RemoveFile(m_path);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& Path() const { return m_path; }
    void Keep() { m_path.clear(); }

private:
    std::string m_path;
};

struct ZipDiscard {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ZipArchive = std::unique_ptr<zip_t, ZipDiscard>;

struct DeflateEnd {
    void operator()(z_stream* stream) const { deflateEnd(stream); }
};

// Whether deflating the file at `level` gives fewer bytes than storing it.
// Runs the same raw deflate that the archive gets and stops as soon as the
// answer is known. `done` is told of every chunk read.
bool DeflatingPays(std::istream& in, std::uint64_t size, const std::string& name, int level,
                   const std::function<void(std::size_t)>& done) {
    if (size == 0 || level == 0) return false;
    if (!in) throw EPackError("cannot read \"" + name + "\"");
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw EPackError("cannot start the compressor");
    }
    const std::unique_ptr<z_stream, DeflateEnd> guard(&stream);
    std::vector<unsigned char> input(kCopyChunk);
    std::vector<unsigned char> output(kCopyChunk);
    std::uint64_t produced = 0;
    int flush = Z_NO_FLUSH;
    while (flush != Z_FINISH) {
        in.read(reinterpret_cast<char*>(input.data()), static_cast<std::streamsize>(input.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (in.bad()) throw EPackError("cannot read \"" + name + "\"");
        flush = in.eof() ? Z_FINISH : Z_NO_FLUSH;
        stream.next_in = input.data();
        stream.avail_in = static_cast<uInt>(got);
        do {
            stream.next_out = output.data();
            stream.avail_out = static_cast<uInt>(output.size());
            deflate(&stream, flush);
            produced += output.size() - stream.avail_out;
        } while (stream.avail_out == 0);
        if (done) done(got);
        if (produced >= size) return false;
    }
    return produced < size;
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
    double measured = 0;  // share of the work that the size checks stand for
};

void OnZipProgress(zip_t*, double fraction, void* context) {
    const auto& state = *static_cast<ProgressState*>(context);
    (*state.handler)(*state.stats, state.measured + (1 - state.measured) * fraction);
}

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
// book `output`.
void WriteArchive(const std::string& path, const std::string& output,
                  const std::vector<BookFile>& files, const std::vector<bool>& deflate,
                  const std::string& manifest, bool deflateManifest, int level,
                  ProgressState* progress) {
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
             kManifestName, deflateManifest, level);
    for (std::size_t i = 0; i < files.size(); ++i) {
        AddEntry(archive.get(), zip_source_file(archive.get(), files[i].path.c_str(), 0, 0),
                 files[i].storedName, deflate[i], level);
    }
    if (progress != nullptr) {
        zip_register_progress_callback_with_state(archive.get(), 0.01, OnZipProgress, nullptr,
                                                  progress);
    }
    if (zip_close(archive.get()) != 0) {
        // libzip reads the files only now; a file that changed or vanished
        // since the folder was read ends up here.
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
    std::vector<char> chunk(kCopyChunk);
    std::uint64_t total = stub.size();
    for (;;) {
        const std::int64_t got =
            archive.Read(chunk.data(), static_cast<std::int64_t>(chunk.size()));
        if (got < 0) throw EPackError("cannot read the archive \"" + archivePath + "\"");
        if (got == 0) break;
        WriteAll(out, chunk.data(), static_cast<std::size_t>(got), output);
        total += static_cast<std::uint64_t>(got);
    }
    return total;
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
    ProgressState state{&progress, &stats, request.level > 0 ? 0.5 : 0.0};

    // Nothing has been written so far; from here on the temporary files
    // clean up after any failure.
    std::vector<bool> deflate(files.size(), false);
    std::uint64_t measured = 0;
    std::mutex progressLock;
    const auto done = [&](std::size_t bytes) {
        const std::lock_guard<std::mutex> hold(progressLock);
        measured += bytes;
        if (progress) progress(stats, state.measured * static_cast<double>(measured) / total);
    };
    // The measurements take most of the time and are independent of each
    // other: every core takes the next file until none is left. A failure is
    // reported for the first failing file in the folder's order, as one core
    // would.
    std::vector<char> pays(files.size(), 0);
    std::vector<std::exception_ptr> failures(files.size());
    std::atomic<std::size_t> next{0};
    const auto measure = [&] {
        for (std::size_t i = next++; i < files.size(); i = next++) {
            try {
                std::ifstream in(files[i].path, std::ios::binary);
                pays[i] = DeflatingPays(in, files[i].size, files[i].path, request.level, done);
            } catch (...) {
                failures[i] = std::current_exception();
            }
        }
    };
    const std::size_t helpers =
        std::min<std::size_t>(std::max(1u, std::thread::hardware_concurrency()), files.size()) -
        (files.empty() ? 0 : 1);
    std::vector<std::thread> workers;
    for (std::size_t h = 0; h < helpers; ++h)
        workers.emplace_back(measure);
    measure();
    for (std::thread& worker : workers)
        worker.join();
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (failures[i]) std::rethrow_exception(failures[i]);
        deflate[i] = pays[i] != 0;
    }
    std::istringstream manifestStream(manifestBytes);
    const bool deflateManifest =
        DeflatingPays(manifestStream, manifestBytes.size(), kManifestName, request.level, {});
    TempFile archive(request.output);
    WriteArchive(archive.Path(), request.output, files, deflate, manifestBytes, deflateManifest,
                 request.level, progress ? &state : nullptr);
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
