// The clip reader: known frames of generated clips, refused containers,
// damaged frames that stay inside the picture, and agreement with ffmpeg.
#include "framework/avi_clip.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "framework/test_clip_builder.h"
#include "support/test_support.h"

namespace pagorix {
namespace {

using test::Bytes;
using test::ByteWriter;

std::vector<Bytes> Decode(const Bytes& file, ClipStatus* status = nullptr) {
    TAviClip clip;
    const ClipStatus s = clip.Open(file);
    if (status != nullptr) *status = s;
    std::vector<Bytes> frames;
    for (const auto& f : clip.DecodeAll())
        frames.push_back(f);
    return frames;
}

TEST(AviClip, DecodesTheStandardClip) {
    TAviClip clip;
    ASSERT_EQ(clip.Open(test::BuildClip(test::StandardClip())), ClipStatus::Ok);
    EXPECT_EQ(clip.FrameCount(), 4);
    EXPECT_EQ(clip.Width(), 8);
    EXPECT_EQ(clip.Height(), 4);
    EXPECT_EQ(clip.MicroSecondsPerFrame(), 100000u);
    const auto expected = test::StandardClipIndices();
    const auto frames = clip.DecodeAll();
    ASSERT_EQ(frames.size(), expected.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i], test::IndicesToRgba(expected[i])) << "frame " << i;
    }
    // Rewinding starts again from an empty picture.
    EXPECT_EQ(clip.DecodeAll(), frames);
}

TEST(AviClip, PaletteChangesAndUncompressedFrames) {
    test::ClipPlan changed = test::StandardClip();
    changed.chunks.resize(1);
    ByteWriter change;
    change.U8(1)
        .U8(1)
        .U16(0)  // first entry 1, one entry, flags
        .U8(0x11)
        .U8(0x22)
        .U8(0x33)
        .U8(0);  // red, green, blue, flags
    changed.chunks.push_back({"00pc", change.Data()});
    changed.chunks.push_back({"00dc", {}});
    auto frames = Decode(test::BuildClip(changed));
    ASSERT_EQ(frames.size(), 2u);
    auto indices = test::StandardClipIndices()[0];
    Bytes expected = test::IndicesToRgba(indices);
    for (int x = 0; x < 8; ++x) {  // row 3 holds index 1 only
        const size_t at = static_cast<size_t>(3 * 8 + x) * 4;
        expected[at] = 0x11, expected[at + 1] = 0x22, expected[at + 2] = 0x33;
    }
    EXPECT_EQ(frames[0], test::IndicesToRgba(indices));
    EXPECT_EQ(frames[1], expected);

    test::ClipPlan raw;
    raw.width = 3;  // rows padded to 4 bytes
    raw.height = 2;
    raw.compression = 0;
    ByteWriter picture;
    picture.U8(1)
        .U8(2)
        .U8(3)
        .U8(0)  // bottom row, padding
        .U8(4)
        .U8(5)
        .U8(6)
        .U8(0);  // top row, padding
    raw.chunks = {{"00db", picture.Data()}};
    frames = Decode(test::BuildClip(raw));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], test::IndicesToRgba({4, 5, 6, 1, 2, 3}));
}

TEST(AviClip, DamagedFramesStayInsideThePicture) {
    struct Case {
        const char* what;
        Bytes frame;
        std::vector<int> indices;  // top row first, 8 × 2
    };
    const std::vector<Case> cases = {
        {"run longer than the line is cut, not wrapped",
         ByteWriter().U8(20).U8(5).U8(0).U8(1).Data(),
         {0, 0, 0, 0, 0, 0, 0, 0, 5, 5, 5, 5, 5, 5, 5, 5}},
        {"move above the picture ends the frame",
         ByteWriter().U8(1).U8(7).U8(0).U8(2).U8(0).U8(9).U8(3).U8(3).Data(),
         {0, 0, 0, 0, 0, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0}},
        {"literal run longer than the chunk",
         ByteWriter().U8(0).U8(200).U8(1).U8(2).U8(3).Data(),
         {0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 0, 0, 0, 0, 0}},
        {"move cut short",
         ByteWriter().U8(2).U8(4).U8(0).U8(2).U8(1).Data(),
         {0, 0, 0, 0, 0, 0, 0, 0, 4, 4, 0, 0, 0, 0, 0, 0}},
        {"no end of bitmap, odd length",
         ByteWriter().U8(0).U8(0).U8(3).U8(6).U8(9).Data(),
         {6, 6, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        test::ClipPlan plan;
        plan.height = 2;
        plan.chunks = {{"00dc", c.frame}};
        const auto frames = Decode(test::BuildClip(plan));
        ASSERT_EQ(frames.size(), 1u) << c.what;
        EXPECT_EQ(frames[0], test::IndicesToRgba(c.indices)) << c.what;
    }
}

TEST(AviClip, RefusesWhatItCannotPlay) {
    const Bytes good = test::BuildClip(test::StandardClip());
    auto with = [](std::function<void(test::ClipPlan&)> change) {
        test::ClipPlan plan = test::StandardClip();
        change(plan);
        return test::BuildClip(plan);
    };
    auto patched = [&good](size_t at, const char* text) {
        Bytes b = good;
        for (size_t i = 0; text[i] != 0; ++i)
            b[at + i] = static_cast<std::uint8_t>(text[i]);
        return b;
    };
    struct Case {
        const char* what;
        Bytes file;
        ClipStatus status;
    };
    const std::vector<Case> cases = {
        {"empty", {}, ClipStatus::NotAvi},
        {"cut inside the RIFF header", Bytes(good.begin(), good.begin() + 11), ClipStatus::NotAvi},
        {"not RIFF", patched(0, "RIFX"), ClipStatus::NotAvi},
        {"not AVI", patched(8, "WAVE"), ClipStatus::NotAvi},
        {"cut before the headers end", Bytes(good.begin(), good.begin() + 60), ClipStatus::NoVideo},
        {"16 bits per pixel", with([](auto& s) { s.bitCount = 16; }), ClipStatus::Unsupported},
        {"RLE4", with([](auto& s) { s.compression = 2; }), ClipStatus::Unsupported},
        {"zero width", with([](auto& s) { s.width = 0; }), ClipStatus::BadSize},
        {"too wide", with([](auto& s) { s.width = 5000; }), ClipStatus::BadSize},
        {"too many pixels", with([](auto& s) { s.width = 4096, s.height = 4096; }),
         ClipStatus::BadSize},
        {"top-down RLE", with([](auto& s) { s.height = -4; }), ClipStatus::BadSize},
        {"no frames", with([](auto& s) { s.chunks.clear(); }), ClipStatus::NoFrames},
        {"only another stream's frames", with([](auto& s) {
             s.chunks = {{"01dc", {0, 1}}};
         }),
         ClipStatus::NoFrames},
    };
    for (const Case& c : cases) {
        TAviClip clip;
        EXPECT_EQ(clip.Open(c.file), c.status) << c.what;
        EXPECT_FALSE(clip.IsOpen()) << c.what;
        std::vector<std::uint8_t> rgba;
        EXPECT_FALSE(clip.DecodeNext(rgba)) << c.what;
    }
    test::TempDir dir;
    TAviClip clip;
    EXPECT_EQ(clip.LoadFromFile(dir / "missing.avi"), ClipStatus::CannotRead);
}

// Every prefix and many damaged copies of a clip are read without a read or
// write outside the buffers (the sanitizers watch), with whole frames out.
TEST(AviClip, SurvivesCutAndDamagedFiles) {
    const Bytes good = test::BuildClip(test::StandardClip());
    auto check = [](const Bytes& file) {
        TAviClip clip;
        if (clip.Open(file) != ClipStatus::Ok) return;
        for (const auto& frame : clip.DecodeAll()) {
            ASSERT_EQ(frame.size(), static_cast<size_t>(clip.Width()) * clip.Height() * 4);
        }
    };
    for (size_t n = 0; n <= good.size(); ++n)
        check(Bytes(good.begin(), good.begin() + n));
    for (std::uint32_t seed = 1; seed <= 3000; ++seed) {
        Bytes damaged = good;
        const Bytes noise = test::RandomBytes(6, seed);
        for (size_t i = 0; i + 1 < noise.size(); i += 2) {
            damaged[(noise[i] * 131u + noise[i + 1] * 7u + seed) % damaged.size()] = noise[i + 1];
        }
        check(damaged);
    }
}

// ---- Against ffmpeg's decoder ----

bool HaveFfmpeg() {
    return std::system("ffmpeg -version > /dev/null 2>&1") == 0;
}

// ffmpeg's RGBA frames of a clip, one after the other.
Bytes FfmpegFrames(const std::string& clipPath, const std::string& outPath) {
    const std::string command = "ffmpeg -v error -y -i '" + clipPath +
                                "' -f rawvideo -pix_fmt rgba -fps_mode passthrough '" + outPath +
                                "' > /dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return {};
    return test::ReadFile(outPath);
}

void ExpectSameAsFfmpeg(const std::string& clipPath) {
    test::TempDir dir;
    const Bytes theirs = FfmpegFrames(clipPath, dir / "frames.rgba");
    ASSERT_FALSE(theirs.empty()) << "ffmpeg could not decode " << clipPath;
    TAviClip clip;
    ASSERT_EQ(clip.LoadFromFile(clipPath), ClipStatus::Ok);
    // ffmpeg drops the empty chunks that repeat a picture; so do we here.
    Bytes ours;
    std::vector<std::uint8_t> rgba;
    std::vector<std::uint8_t> previous;
    while (clip.DecodeNext(rgba)) {
        if (!ours.empty() && rgba == previous) continue;
        ours.insert(ours.end(), rgba.begin(), rgba.end());
        previous = rgba;
    }
    const size_t frameSize = static_cast<size_t>(clip.Width()) * clip.Height() * 4;
    ASSERT_EQ(theirs.size() % frameSize, 0u);
    // Compare the distinct pictures in order.
    Bytes theirsDistinct;
    for (size_t at = 0; at < theirs.size(); at += frameSize) {
        Bytes frame(theirs.begin() + static_cast<std::ptrdiff_t>(at),
                    theirs.begin() + static_cast<std::ptrdiff_t>(at + frameSize));
        if (theirsDistinct.size() >= frameSize &&
            std::equal(frame.begin(), frame.end(), theirsDistinct.end() - frameSize)) {
            continue;
        }
        theirsDistinct.insert(theirsDistinct.end(), frame.begin(), frame.end());
    }
    ASSERT_EQ(ours.size(), theirsDistinct.size());
    for (size_t at = 0; at < ours.size(); at += frameSize) {
        EXPECT_TRUE(std::equal(ours.begin() + static_cast<std::ptrdiff_t>(at),
                               ours.begin() + static_cast<std::ptrdiff_t>(at + frameSize),
                               theirsDistinct.begin() + static_cast<std::ptrdiff_t>(at)))
            << "picture " << at / frameSize << " of " << clipPath;
    }
}

// Every picture of a generated clip and of the splash clip, as ffmpeg sees it.
TEST(AviClipFfmpeg, AgreesWithFfmpeg) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    test::TempDir dir;
    test::WriteFile(dir / "clip.avi", test::BuildClip(test::StandardClip()));
    for (const std::string& clip :
         {dir / "clip.avi", test::RequireInput(test::TestDataDir() + "/../../assets/splash.avi")}) {
        ExpectSameAsFfmpeg(clip);
    }
}

}  // namespace
}  // namespace pagorix
