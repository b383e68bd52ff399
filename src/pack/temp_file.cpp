#include "pack/temp_file.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include "pack/pack_error.h"
#include "platform/platform.h"

namespace pagorix {

namespace fs = std::filesystem;

namespace {

constexpr int kNameAttempts = 64;

}  // namespace

TempFile::TempFile(const std::string& beside) {
    std::random_device random;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".part%08x", static_cast<unsigned>(random()));
        const std::string candidate = beside + suffix;
        if (platform::CreateNewFile(candidate)) {
            m_path = candidate;
            return;
        }
        const int error = platform::LastError();
        if (!fs::exists(fs::symlink_status(candidate))) {
            throw EPackError("cannot write \"" + beside +
                             "\": " + std::system_category().message(error));
        }
    }
    throw EPackError("cannot find a free temporary name beside \"" + beside + "\"");
}

TempFile::~TempFile() {
    if (!m_path.empty()) platform::RemoveFile(m_path);
}

}  // namespace pagorix
