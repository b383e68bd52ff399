#include "launcher/splash_clip.h"

#include <vector>

#include "framework/stream.h"

namespace pagorix {

void LoadSplashClip(TFileSource& fs) {
    fs.SetCompress(kSplashClipCompress);
    fs.SetExtension(kSplashClipExtension);
    fs.SetStore(kSplashClipStore);
    const std::span<const std::uint8_t> blob = SplashClipBlob();
    TMemoryStream stream(std::vector<std::uint8_t>(blob.begin(), blob.end()));
    fs.ReadData(stream);
}

}  // namespace pagorix
