// Any input is either refused by the clip reader or decoded frame by frame
// into whole RGBA pictures, never with a read or write outside its buffers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "framework/avi_clip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pagorix::TAviClip clip;
    if (clip.Open(std::vector<std::uint8_t>(data, data + size)) != pagorix::ClipStatus::Ok) {
        return 0;
    }
    const std::size_t frameSize = static_cast<std::size_t>(clip.Width()) * clip.Height() * 4;
    std::vector<std::uint8_t> rgba;
    int frames = 0;
    while (clip.DecodeNext(rgba)) {
        if (rgba.size() != frameSize) std::abort();
        ++frames;
    }
    if (frames != clip.FrameCount()) std::abort();
    return 0;
}
