// Builds small RIFF/AVI RLE8 clips for the tests, field by field, and the
// pictures their frames decode to.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace pagorix::test {

// Palette entry i of the test clips: red i*16, green 255-i*16, blue i*37.
inline std::array<std::uint8_t, 4> TestColour(int i) {
    return {static_cast<std::uint8_t>(i * 16), static_cast<std::uint8_t>(255 - i * 16),
            static_cast<std::uint8_t>((i * 37) & 0xFF), 0xFF};
}

struct ClipPlan {
    std::int32_t width = 8;
    std::int32_t height = 4;
    std::uint16_t bitCount = 8;
    std::uint32_t compression = 1;  // BI_RLE8
    std::uint32_t colours = 16;
    std::uint32_t scale = 1;
    std::uint32_t rate = 10;
    // Chunks of the movie list in order: id ("00dc", "00pc", ...) and bytes.
    std::vector<std::pair<std::string, Bytes>> chunks;
};

inline Bytes BuildClip(const ClipPlan& plan) {
    const auto u32 = [](std::int64_t v) { return static_cast<std::uint32_t>(v); };
    // A chunk or list: its id, its size, its bytes.
    const auto chunk = [&](const char* id, const ByteWriter& body) {
        return ByteWriter().Text(id).U32(u32(body.Size())).Raw(body.Data());
    };
    ByteWriter strf;  // BITMAPINFOHEADER (height > 0: bottom-up), then the palette
    strf.U32(40).U32(u32(plan.width)).U32(u32(plan.height)).U16(1).U16(plan.bitCount);
    strf.U32(plan.compression).U32(u32(plan.width * plan.height)).U32(0).U32(0);
    strf.U32(plan.colours).U32(0);
    for (std::uint32_t i = 0; i < plan.colours; ++i) {
        const auto c = TestColour(static_cast<int>(i));
        strf.U8(c[2]).U8(c[1]).U8(c[0]).U8(0);  // blue, green, red, reserved
    }
    std::uint32_t frames = 0;
    for (const auto& c : plan.chunks)
        frames += c.first.substr(2) != "pc";
    ByteWriter strh;  // type, handler, flags, priority, language, initial frames
    strh.Text("vids").Text("mrle").U32(0).U16(0).U16(0).U32(0);
    // scale, rate (rate / scale frames per second), start, length, buffer size,
    // quality, sample size, frame rectangle
    strh.U32(plan.scale).U32(plan.rate).U32(0).U32(frames).U32(0).U32(0xFFFFFFFF).U32(0);
    strh.U16(0).U16(0).U16(static_cast<std::uint16_t>(plan.width));
    strh.U16(static_cast<std::uint16_t>(plan.height));
    ByteWriter strl;
    strl.Text("strl").Raw(chunk("strh", strh).Data()).Raw(chunk("strf", strf).Data());
    ByteWriter avih;  // microseconds per frame, max bytes per second, padding, flags (has index)
    avih.U32(1000000u * plan.scale / (plan.rate == 0 ? 1 : plan.rate)).U32(0).U32(0).U32(0x10);
    // total and initial frames, streams, buffer size, width, height, reserved
    avih.U32(frames).U32(0).U32(1).U32(0).U32(u32(plan.width)).U32(u32(plan.height)).Fill(16, 0);
    ByteWriter hdrl;
    hdrl.Text("hdrl").Raw(chunk("avih", avih).Data()).Raw(chunk("LIST", strl).Data());
    ByteWriter movi, idx1;
    movi.Text("movi");
    for (const auto& [id, data] : plan.chunks) {
        idx1.Text(id).U32(0x10).U32(u32(movi.Size())).U32(u32(data.size()));
        movi.Text(id).U32(u32(data.size())).Raw(data);
        if (data.size() % 2 != 0) movi.U8(0);  // chunks are padded to even sizes
    }
    ByteWriter body;
    body.Text("AVI ").Raw(chunk("LIST", hdrl).Data()).Raw(chunk("LIST", movi).Data());
    body.Raw(chunk("idx1", idx1).Data());
    return chunk("RIFF", body).Data();
}

// The four frames of the standard test clip, 8 × 4, in RLE8.
// (ffmpeg takes a frame whose size is exactly width × height as uncompressed,
// so the key frame is kept at another size.)
inline ClipPlan StandardClip() {
    ClipPlan plan;
    const Bytes f0 = {
        8, 1,  0, 0,                       // row 3 (rows go bottom up): 8 × 1; end of line
        2, 2,  2, 2, 4, 3,  0,  0,         // row 2: 2 × 2 twice, 4 × 3; end of line
        0, 3,  4, 5, 6, 0,  5,  7,  0, 0,  // row 1: literal 4 5 6, padded; 5 × 7; end of line
        2, 8,  0, 4, 9, 10, 11, 12,        // row 0: 2 × 8, literal 9..12,
        2, 13, 0, 1,                       //        2 × 13; end of bitmap
    };
    const Bytes f1 = {
        0, 2, 3, 1, 2, 14, 0, 0,  // move right 3, up 1 (row 2, column 3); 2 × 14; end of line
        0, 2, 6, 0, 2, 15, 0, 1,  // move right 6 on row 1; 2 × 15; end of bitmap
    };
    const Bytes f3 = {0, 0, 0, 0, 0, 0, 8, 0, 0, 1};  // three line ends; row 0: 8 × 0; end
    plan.chunks = {{"00dc", f0}, {"00dc", f1}, {"00dc", {}}, {"00dc", f3}};
    return plan;
}

// What the standard clip's frames show: palette indices, top row first.
inline std::vector<std::vector<int>> StandardClipIndices() {
    const std::vector<int> f0 = {8, 8, 9, 10, 11, 12, 13, 13,  //
                                 4, 5, 6, 7,  7,  7,  7,  7,   //
                                 2, 2, 2, 2,  3,  3,  3,  3,   //
                                 1, 1, 1, 1,  1,  1,  1,  1};
    std::vector<int> f1 = f0;
    f1[2 * 8 + 3] = f1[2 * 8 + 4] = 14;
    f1[1 * 8 + 6] = f1[1 * 8 + 7] = 15;
    std::vector<int> f3 = f1;
    for (int x = 0; x < 8; ++x)
        f3[x] = 0;
    return {f0, f1, f1, f3};
}

inline Bytes IndicesToRgba(const std::vector<int>& indices) {
    Bytes rgba;
    for (int i : indices) {
        const auto c = TestColour(i);
        rgba.insert(rgba.end(), c.begin(), c.end());
    }
    return rgba;
}

}  // namespace pagorix::test
