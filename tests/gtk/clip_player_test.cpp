// The animation control's playing state: which frames a play request shows
// and when it runs out, the requests it refuses, and the transparent colour.
#include "framework/gtk/clip_player.h"

#include <gtest/gtest.h>

#include "framework/test_clip_builder.h"
#include "support/test_support.h"

namespace pagorix::gtk {
namespace {

class ClipPlayerTest : public ::testing::Test {
protected:
    ClipPlayerTest() { test::WriteFile(clip, test::BuildClip(test::StandardClip())); }
    test::TempDir dir;
    const std::string clip = dir / "clip.avi";
    ClipPlayer player;
};

// A play without end (repeat -1) wraps to the first frame of its range and
// never runs out.
TEST_F(ClipPlayerTest, PlaysTheRangeTheRepeatsAndRunsOutAfterTheLastFrameTime) {
    struct Case {
        int first, last, repeat;
        std::vector<int> shown;  // the frame after Play, then after each tick until it ran out
    };
    const std::vector<Case> cases = {
        {0, 0xFFFF, 1, {0, 1, 2, 3}},
        {1, 2, 2, {1, 2, 1, 2}},
        {2, 2, 1, {2}},
        {3, 3, 0, {3}},  // a repeat count of 0 plays once
        {0, 1, 3, {0, 1, 0, 1, 0, 1}},
        {2, 0xFFFF, -1, {2, 3, 2, 3, 2, 3, 2, 3, 2, 3, 2, 3, 2, 3, 2, 3, 2, 3, 2, 3, 2}},
    };
    ASSERT_TRUE(player.Open(clip));
    EXPECT_EQ(player.FrameMilliseconds(), 100u);  // 10 frames per second
    for (const Case& c : cases) {
        ASSERT_TRUE(player.Play(c.first, c.last, c.repeat));
        std::vector<int> shown = {player.CurrentFrame()};
        bool ranOut = false;
        for (int tick = 0; tick < 20 && !ranOut; ++tick) {
            ranOut = player.Tick();
            if (!ranOut) shown.push_back(player.CurrentFrame());
        }
        EXPECT_EQ(ranOut, c.repeat >= 0);
        EXPECT_EQ(player.Playing(), c.repeat < 0);
        EXPECT_EQ(shown, c.shown) << c.first << ".." << c.last << " x" << c.repeat;
    }
}

TEST_F(ClipPlayerTest, RefusesRangesOutsideTheClipAndFilesTheReaderRefuses) {
    EXPECT_FALSE(player.Play(0, 0, 1));  // nothing open
    ASSERT_TRUE(player.Open(clip));
    EXPECT_FALSE(player.Play(2, 1, 1));
    EXPECT_FALSE(player.Play(0, 4, 1));
    EXPECT_FALSE(player.Play(4, 0xFFFF, 1));
    EXPECT_FALSE(player.Playing());
    test::WriteFile(dir / "junk.avi", std::string("RIFF\x04\0\0\0AVI ", 12));
    EXPECT_FALSE(player.Open(dir / "junk.avi"));
    EXPECT_FALSE(player.IsOpen());
}

TEST_F(ClipPlayerTest, TheFirstFramesTopLeftColourIsTransparentInEveryFrame) {
    ASSERT_TRUE(player.Open(clip));
    const auto key = test::TestColour(8);  // frame 0 starts with two pixels of colour 8
    EXPECT_EQ(player.KeyColour(), (std::array<std::uint8_t, 3>{key[0], key[1], key[2]}));
    const auto indices = test::StandardClipIndices();
    for (int frame = 0; frame < 4; ++frame) {
        if (frame == 0) {
            ASSERT_TRUE(player.Play(0, 0xFFFF, 1));
        } else {
            ASSERT_FALSE(player.Tick());
        }
        const std::vector<std::uint32_t> see = player.Picture(true);
        const std::vector<std::uint32_t> opaque = player.Picture(false);
        ASSERT_EQ(see.size(), indices[frame].size());
        for (size_t i = 0; i < see.size(); ++i) {
            const auto c = test::TestColour(indices[frame][i]);
            const std::uint32_t argb =
                0xFF000000u | (std::uint32_t{c[0]} << 16) | (std::uint32_t{c[1]} << 8) | c[2];
            EXPECT_EQ(opaque[i], argb) << "frame " << frame << " pixel " << i;
            EXPECT_EQ(see[i], indices[frame][i] == 8 ? 0u : argb)
                << "frame " << frame << " pixel " << i;
        }
    }
}

}  // namespace
}  // namespace pagorix::gtk
