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
    ByteWriter palette;
    for (std::uint32_t i = 0; i < plan.colours; ++i) {
        const auto c = TestColour(static_cast<int>(i));
        palette.U8(c[2]).U8(c[1]).U8(c[0]).U8(0);  // blue, green, red, reserved
    }
    ByteWriter strf;
    strf.U32(40)                                       // biSize
        .U32(static_cast<std::uint32_t>(plan.width))   // biWidth
        .U32(static_cast<std::uint32_t>(plan.height))  // biHeight (bottom-up when positive)
        .U16(1)                                        // biPlanes
        .U16(plan.bitCount)                            // biBitCount
        .U32(plan.compression)                         // biCompression
        .U32(static_cast<std::uint32_t>(plan.width * plan.height))  // biSizeImage
        .U32(0)
        .U32(0)             // pixels per metre
        .U32(plan.colours)  // biClrUsed
        .U32(0)             // biClrImportant
        .Raw(palette.Data());
    std::uint32_t frames = 0;
    for (const auto& c : plan.chunks)
        frames += c.first.substr(2) != "pc";
    ByteWriter strh;
    strh.Text("vids")
        .Text("mrle")  // type, handler
        .U32(0)        // flags
        .U16(0)
        .U16(0)  // priority, language
        .U32(0)  // initial frames
        .U32(plan.scale)
        .U32(plan.rate)   // rate / scale frames per second
        .U32(0)           // start
        .U32(frames)      // length
        .U32(0)           // suggested buffer size
        .U32(0xFFFFFFFF)  // quality
        .U32(0)           // sample size
        .U16(0)
        .U16(0)
        .U16(static_cast<std::uint16_t>(plan.width))
        .U16(static_cast<std::uint16_t>(plan.height));  // frame rectangle
    ByteWriter strl;
    strl.Text("strl")
        .Text("strh")
        .U32(static_cast<std::uint32_t>(strh.Size()))
        .Raw(strh.Data())
        .Text("strf")
        .U32(static_cast<std::uint32_t>(strf.Size()))
        .Raw(strf.Data());
    ByteWriter avih;
    avih.U32(1000000u * plan.scale / (plan.rate == 0 ? 1 : plan.rate))  // microseconds per frame
        .U32(0)
        .U32(0)
        .U32(0x10)  // max bytes per second, padding, flags (has index)
        .U32(frames)
        .U32(0)
        .U32(1)
        .U32(0)  // total and initial frames, streams, buffer size
        .U32(static_cast<std::uint32_t>(plan.width))
        .U32(static_cast<std::uint32_t>(plan.height))
        .Fill(16, 0);  // reserved
    ByteWriter hdrl;
    hdrl.Text("hdrl")
        .Text("avih")
        .U32(static_cast<std::uint32_t>(avih.Size()))
        .Raw(avih.Data())
        .Text("LIST")
        .U32(static_cast<std::uint32_t>(strl.Size()))
        .Raw(strl.Data());
    ByteWriter movi;
    ByteWriter idx1;
    movi.Text("movi");
    for (const auto& [id, data] : plan.chunks) {
        idx1.Text(id)
            .U32(0x10)
            .U32(static_cast<std::uint32_t>(movi.Size()))
            .U32(static_cast<std::uint32_t>(data.size()));
        movi.Text(id).U32(static_cast<std::uint32_t>(data.size())).Raw(data);
        if (data.size() % 2 != 0) movi.U8(0);  // chunks are padded to even sizes
    }
    ByteWriter body;
    body.Text("AVI ")
        .Text("LIST")
        .U32(static_cast<std::uint32_t>(hdrl.Size()))
        .Raw(hdrl.Data())
        .Text("LIST")
        .U32(static_cast<std::uint32_t>(movi.Size()))
        .Raw(movi.Data())
        .Text("idx1")
        .U32(static_cast<std::uint32_t>(idx1.Size()))
        .Raw(idx1.Data());
    ByteWriter riff;
    riff.Text("RIFF").U32(static_cast<std::uint32_t>(body.Size())).Raw(body.Data());
    return riff.Data();
}

// The four frames of the standard test clip, 8 × 4, in RLE8.
// (ffmpeg takes a frame whose size is exactly width × height as uncompressed,
// so the key frame is kept at another size.)
inline ClipPlan StandardClip() {
    ClipPlan plan;
    ByteWriter f0;  // a key frame, rows from the bottom up
    f0.U8(8)
        .U8(1)
        .U8(0)
        .U8(0)  // row 3: 8 × 1; end of line
        .U8(2)
        .U8(2)
        .U8(2)
        .U8(2)
        .U8(4)
        .U8(3)
        .U8(0)
        .U8(0)  // row 2: 2 × 2 twice, 4 × 3; end
        .U8(0)
        .U8(3)
        .U8(4)
        .U8(5)
        .U8(6)
        .U8(0)  // row 1: literal 4 5 6, padded
        .U8(5)
        .U8(7)
        .U8(0)
        .U8(0)  //        5 × 7; end of line
        .U8(2)
        .U8(8)
        .U8(0)
        .U8(4)
        .U8(9)
        .U8(10)
        .U8(11)
        .U8(12)  // row 0: 2 × 8, literal 9..12
        .U8(2)
        .U8(13)
        .U8(0)
        .U8(1);     //        2 × 13; end of bitmap
    ByteWriter f1;  // a delta frame
    f1.U8(0)
        .U8(2)
        .U8(3)
        .U8(1)  // move right 3, up 1: row 2, column 3
        .U8(2)
        .U8(14)  // 2 × 14
        .U8(0)
        .U8(0)  // end of line: row 1, column 0
        .U8(0)
        .U8(2)
        .U8(6)
        .U8(0)  // move right 6
        .U8(2)
        .U8(15)  // 2 × 15
        .U8(0)
        .U8(1);  // end of bitmap
    ByteWriter f3;
    f3.U8(0)
        .U8(0)
        .U8(0)
        .U8(0)
        .U8(0)
        .U8(0)  // three line ends: row 0
        .U8(8)
        .U8(0)  // 8 × 0
        .U8(0)
        .U8(1);  // end of bitmap
    plan.chunks = {{"00dc", f0.Data()}, {"00dc", f1.Data()}, {"00dc", {}}, {"00dc", f3.Data()}};
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
