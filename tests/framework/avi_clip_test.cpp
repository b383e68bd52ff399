// The clip reader: known frames of generated clips, refused containers,
// damaged frames that stay inside the picture, and agreement with ffmpeg.
#include "framework/avi_clip.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "framework/test_clip_builder.h"
#include "support/test_support.h"

namespace pagorix {
namespace {

using test::Bytes;

std::vector<Bytes> Decode(const Bytes& file) {
    TAviClip clip;
    clip.Open(file);
    return clip.DecodeAll();
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

// A palette change recolours the following frames only; an uncompressed
// frame's rows are padded to 4 bytes and stored bottom up.
TEST(AviClip, PaletteChangesAndUncompressedFrames) {
    test::ClipPlan changed = test::StandardClip();
    changed.chunks.resize(1);
    // First entry 1, one entry, flags; red, green, blue, flags.
    changed.chunks.push_back({"00pc", {1, 1, 0, 0, 0x11, 0x22, 0x33, 0}});
    changed.chunks.push_back({"00dc", {}});
    auto frames = Decode(test::BuildClip(changed));
    ASSERT_EQ(frames.size(), 2u);
    Bytes expected = test::IndicesToRgba(test::StandardClipIndices()[0]);
    EXPECT_EQ(frames[0], expected);
    for (int x = 0; x < 8; ++x) {  // row 3 holds index 1 only
        const size_t at = static_cast<size_t>(3 * 8 + x) * 4;
        expected[at] = 0x11, expected[at + 1] = 0x22, expected[at + 2] = 0x33;
    }
    EXPECT_EQ(frames[1], expected);

    test::ClipPlan raw;
    raw.width = 3;
    raw.height = 2;
    raw.compression = 0;
    raw.chunks = {{"00db", {1, 2, 3, 0, 4, 5, 6, 0}}};  // bottom row, padding; top row, padding
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
         {20, 5, 0, 1},
         {0, 0, 0, 0, 0, 0, 0, 0, 5, 5, 5, 5, 5, 5, 5, 5}},
        {"move above the picture ends the frame",
         {1, 7, 0, 2, 0, 9, 3, 3},
         {0, 0, 0, 0, 0, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0}},
        {"literal run longer than the chunk",
         {0, 200, 1, 2, 3},
         {0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 0, 0, 0, 0, 0}},
        {"move cut short", {2, 4, 0, 2, 1}, {0, 0, 0, 0, 0, 0, 0, 0, 4, 4, 0, 0, 0, 0, 0, 0}},
        {"no end of bitmap, odd length",
         {0, 0, 3, 6, 9},
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

// The distinct pictures of a run of RGBA frames, in order: ffmpeg drops the
// empty chunks that repeat a picture.
std::vector<Bytes> Distinct(const Bytes& frames, size_t frameSize) {
    std::vector<Bytes> pictures;
    for (size_t at = 0; at + frameSize <= frames.size(); at += frameSize) {
        Bytes frame(frames.begin() + static_cast<std::ptrdiff_t>(at),
                    frames.begin() + static_cast<std::ptrdiff_t>(at + frameSize));
        if (pictures.empty() || pictures.back() != frame) pictures.push_back(std::move(frame));
    }
    return pictures;
}

// Every picture of a generated clip and of the splash clip, as ffmpeg's
// decoder sees it.
TEST(AviClipFfmpeg, AgreesWithFfmpeg) {
    if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
    test::TempDir dir;
    test::WriteFile(dir / "clip.avi", test::BuildClip(test::StandardClip()));
    for (const std::string& path :
         {dir / "clip.avi", test::RequireInput(test::TestDataDir() + "/../../assets/splash.avi")}) {
        SCOPED_TRACE(path);
        const std::string command = "ffmpeg -v error -y -i '" + path +
                                    "' -f rawvideo -pix_fmt rgba -fps_mode passthrough '" +
                                    (dir / "frames.rgba") + "' > /dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << "ffmpeg could not decode it";
        const Bytes theirs = test::ReadFile(dir / "frames.rgba");
        ASSERT_FALSE(theirs.empty());
        TAviClip clip;
        ASSERT_EQ(clip.LoadFromFile(path), ClipStatus::Ok);
        Bytes ours;
        for (const auto& frame : clip.DecodeAll())
            ours.insert(ours.end(), frame.begin(), frame.end());
        const size_t frameSize = static_cast<size_t>(clip.Width()) * clip.Height() * 4;
        ASSERT_EQ(theirs.size() % frameSize, 0u);
        EXPECT_TRUE(Distinct(ours, frameSize) == Distinct(theirs, frameSize));
    }
}

}  // namespace
}  // namespace pagorix
