// Helpers of the archive tests: a GUI backend double that answers dialogs and
// counts message pumping, and builders of small ZIP archives field by field.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/unzipper.h"
#include "framework/backend.h"
#include "support/test_support.h"

namespace pagorix::test {

class BackendDouble : public Backend {
public:
    BackendDouble() { SetBackend(this); }
    ~BackendDouble() override { SetBackend(nullptr); }

    void ProcessMessages() override {
        ++pumps;
        if (onPump) onPump();
    }
    int ShowMessageBox(const MessageBoxRequest& request) override {
        boxes.push_back(request.caption + "|" + request.text);
        return boxAnswer;
    }
    bool OpenFileDialog(const std::string& title, const std::string& filter,
                        const std::string& initialDir, std::string& fileName) override {
        dialogs.push_back(title + "|" + filter + "|" + initialDir);
        fileName = fileAnswer;
        return !fileAnswer.empty();
    }
    bool SelectDirectoryDialog(std::string& directory, bool allowCreate) override {
        dialogs.push_back("dir|" + directory + (allowCreate ? "|create" : ""));
        directory = dirAnswer;
        return !dirAnswer.empty();
    }

    int pumps = 0;
    std::function<void()> onPump;
    std::vector<std::string> boxes;
    std::vector<std::string> dialogs;
    int boxAnswer = 1;
    std::string fileAnswer;
    std::string dirAnswer;
};

// One entry of an archive built for a test.
struct EntryPlan {
    std::string name;
    Bytes data;  // stored as is (method 0 unless method says otherwise)
    std::uint16_t method = 0;
    std::uint16_t flags = 0;
    std::uint32_t dosDateTime = 0x58652CE4;  // 2024-03-05 05:39:08
    std::uint32_t crc = 0;                   // 0: computed from data
    bool computeCrc = true;
    std::int64_t uncompressedSize = -1;  // -1: the size of data
    std::uint16_t versionMadeBy = 20;    // high byte: the host (0 MS-DOS, 3 Unix)
    std::uint32_t externalAttrs = 0x20;  // archive
};

struct BuiltZip {
    Bytes bytes;
    std::vector<std::uint32_t> localOffsets;
    std::vector<size_t> centralPositions;  // where each central record starts in bytes
    std::uint32_t centralOffset = 0;
    size_t endPosition = 0;  // where the end record starts in bytes
};

// Local headers and data, the central directory and the end record, with
// `prefix` bytes of other data in front that the offsets do not count.
BuiltZip BuildZip(const std::vector<EntryPlan>& entries, const Bytes& prefix = {},
                  const std::string& comment = {});

// The entries of the shared corpus listing: archive -> rows.
struct ExpectedEntry {
    std::string name;
    std::uint32_t size;
    std::uint32_t crc;
    std::string method;
    std::string flags;
};
std::vector<std::pair<std::string, std::vector<ExpectedEntry>>> LoadExpected(
    const std::string& tsvPath);
// The folder of a corpus archive (generated/ or external/).
std::string CorpusPath(const std::string& archive);
// Installs the Info-ZIP split naming on the component.
void UseSplitNaming(TUnZipper& zip, const std::string& lastVolume);

}  // namespace pagorix::test
