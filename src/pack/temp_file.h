// A file made under a fresh name beside another path, removed again unless
// kept: the tool's temporary files all lie beside the book it writes, on the
// same disk, so that the last step is a rename.
#pragma once

#include <string>

namespace pagorix {

class TempFile {
public:
    // Makes an empty file named `beside` plus ".part" and eight hexadecimal
    // digits. Raises EPackError, naming `beside`, when none can be made.
    explicit TempFile(const std::string& beside);
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& Path() const { return m_path; }
    void Keep() { m_path.clear(); }

private:
    std::string m_path;
};

}  // namespace pagorix
