#include "launcher/splash_clip.h"

#include <vector>

#include "framework/exceptions.h"
#include "framework/stream.h"
#include "launcher/work_dir.h"
#include "platform/platform.h"

namespace pagorix {

void LoadSplashClip(TFileSource& fs) {
    fs.SetCompress(kSplashClipCompress);
    fs.SetExtension(kSplashClipExtension);
    fs.SetStore(kSplashClipStore);
    const std::span<const std::uint8_t> blob = SplashClipBlob();
    TMemoryStream stream(std::vector<std::uint8_t>(blob.begin(), blob.end()));
    fs.ReadData(stream);
}

std::string MoveClipInto(TFileSource& fs, const std::string& dir) {
    const std::string from = fs.FileName();
    if (!fs.OwnsTempFile() || from.empty()) return {};
    const std::string to = dir + platform::kPathDelim + BareName(from);
    // A copy, as the two folders may lie on different file systems.
    try {
        TFileStream input(from, platform::fmOpenRead);
        TFileStream output(to, platform::fmCreate);
        if (input.Size() > 0) output.CopyFrom(input, input.Size());
    } catch (const Exception&) {
        platform::RemoveFile(to);
        return {};
    }
    fs.SetFileName(to);  // deletes the temporary file fs made
    return to;
}

}  // namespace pagorix
