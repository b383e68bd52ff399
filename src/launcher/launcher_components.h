// The stored-description faces of the non-visual components the splash form
// holds: the archive engine, the program launcher and the embedded file
// source. Each one reads the published properties the form stores for it
// (events by the name of a handler the form defines) and is registered under
// its class name, so the form reader can create it.
#pragma once

#include "archive/unzipper.h"
#include "exec/exec_file.h"
#include "streams/file_source.h"

namespace pagorix {

class TStoredUnZipper : public TUnZipper {
public:
    using TUnZipper::TUnZipper;
    void ReadProperty(const std::string& name, const TStoredValue& value) override;
};

class TStoredExecFile : public TExecFile {
public:
    using TExecFile::TExecFile;
    void ReadProperty(const std::string& name, const TStoredValue& value) override;
};

class TStoredFileSource : public TFileSource {
public:
    using TFileSource::TFileSource;
    void ReadProperty(const std::string& name, const TStoredValue& value) override;
};

// Registers TUnZipper, TExecFile and TFileSource (and the splash components)
// with the form reader. Calling it again does no harm.
void RegisterLauncherComponents();

}  // namespace pagorix
