// TFileSource carries one whole file inside a stored form description and
// turns it back into a file on disk when the form is loaded.
//
// The file travels as the extra binary value "FileData", present while Store
// is set: either a 32-bit little-endian length and the bytes (Compress clear)
// or a "PMCS10" container (Compress set). Loading writes it to a new file
// "~fs" + seconds + counter + Extension in the user's temporary directory,
// created exclusively (owner-only on POSIX), and the component then owns that
// file: it deletes it when FileName is set again or when it is destroyed. A
// file the component did not make is never deleted.
//
// FileName answers the stored path only while a file exists there; existence
// is tested on every read.
#pragma once

#include <string>

#include "framework/component.h"
#include "framework/stream.h"

namespace pagorix {

class TFileSource : public TComponent {
public:
    // The name of the extra persisted value, written and read by WriteData and
    // ReadData while Store is set.
    static constexpr const char* kFileDataName = "FileData";

    explicit TFileSource(TComponent* owner = nullptr) : TComponent(owner) {}
    ~TFileSource() override;

    // Published, in the order they are persisted.
    bool Compress() const { return m_compress; }
    // Setting Compress also sets Store; clearing it leaves Store alone.
    void SetCompress(bool compress);
    const std::string& DisplayLabel() const { return m_displayLabel; }
    void SetDisplayLabel(std::string label) { m_displayLabel = std::move(label); }
    const std::string& Extension() const { return m_extension; }
    void SetExtension(std::string extension) { m_extension = std::move(extension); }
    // The path, or the empty text when no file exists there now.
    std::string FileName() const;
    // Deletes an owned temporary file, takes the path, and takes its
    // extension (text from the last '.' after any '\', ':' or separator).
    void SetFileName(const std::string& path);
    bool Store() const { return m_store; }
    void SetStore(bool store) { m_store = store; }

    bool OwnsTempFile() const { return m_ownsTempFile; }

    // Restores the file from a FileData blob held by stream at its position.
    virtual void ReadData(TStream& stream);
    // Appends the FileData blob of the file named by FileName to stream.
    virtual void WriteData(TStream& stream);

    // Makes and returns a new empty file in the temporary directory named
    // "~fs" + the current seconds + the first free counter + Extension.
    std::string MakeTempFileName() const;

private:
    void DeleteTempFile();

    bool m_compress = false;
    std::string m_displayLabel;
    std::string m_extension;
    std::string m_fileName;
    bool m_store = false;
    bool m_ownsTempFile = false;
};

}  // namespace pagorix
