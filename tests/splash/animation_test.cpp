// The animation control against the headless host control: the requests it
// sends, its checks and error boxes, the playing request, the size it keeps.
#include "splash/animation.h"

#include <gtest/gtest.h>

#include "framework/form.h"
#include "framework/headless_fixture.h"
#include "framework/test_clip_builder.h"
#include "splash/splash_components.h"
#include "support/test_support.h"

namespace pagorix {
namespace {

using Lines = std::vector<std::string>;
using V = TStoredValue;

class Animation : public test::HeadlessTest {
protected:
    Animation() {
        // Six frames: the standard clip and two repeats of its last picture.
        test::ClipPlan plan = test::StandardClip();
        plan.chunks.push_back({"00dc", {}});
        plan.chunks.push_back({"00dc", {}});
        test::WriteFile(clip, test::BuildClip(plan));
        anim.SetName("anim");
        anim.SetParent(&form);
        anim.SetBounds(8, 0, 273, 65);
    }
    Lines Anim() const { return hb.TranscriptOf("anim"); }

    test::TempDir dir;
    const std::string clip = dir / "clip.avi";
    TForm form{nullptr};
    TAnimation& anim = form.CreateOwned<TAnimation>();
};

TEST_F(Animation, PlayRequestsCarryTheRangeAndRepeatCount) {
    struct Case {
        std::int16_t start, end;
        std::int32_t repeat;
        const char* play;
    };
    const std::vector<Case> cases = {
        {1, 0, 0, "anim anim ACM_PLAY -1 0xFFFF0000"},
        {2, 5, 3, "anim anim ACM_PLAY 3 0x00040001"},
        {6, 6, 1, "anim anim ACM_PLAY 1 0x00050005"},
    };
    for (const Case& c : cases) {
        anim.Stop();
        anim.SetEndFrame(0);
        anim.SetStartFrame(c.start);
        anim.SetEndFrame(c.end);
        anim.SetRepeatCount(c.repeat);
        anim.SetAVIFile(clip);
        anim.SetAVIFile("");
        anim.SetAVIFile(clip);
        hb.ClearTranscript();
        anim.Play();
        EXPECT_EQ(Anim(), (Lines{c.play, "anim anim ACN_START"}));
    }
}

TEST_F(Animation, PlayBeforeAClipIsOpenOnlyRecordsTheRequest) {
    anim.Play();
    EXPECT_TRUE(anim.Playing());
    EXPECT_TRUE(Anim().empty());
    anim.SetAVIFile(clip);
    EXPECT_EQ(Anim(), (Lines{"anim anim ACM_OPEN 0 \"" + clip + "\" -> 1",
                             "anim anim ACM_PLAY 1 0x00000000", "anim anim ACN_START",
                             "anim anim ACM_PLAY -1 0xFFFF0000", "anim anim ACN_START"}));
    EXPECT_TRUE(anim.ClipOpen());
    EXPECT_TRUE(anim.Playing());

    hb.ClearTranscript();
    anim.SetAVIFile(clip);  // the same text again: nothing at all
    EXPECT_TRUE(hb.Transcript().empty());
}

// A value out of range shows its box and keeps the old one; the frame range
// and the repeat count are set after the start and end frames given.
TEST_F(Animation, RejectedValuesKeepTheOldOneAndShowTheirBox) {
    const char* const endFrame = "EndFrame must be 0 or >= StartFrame!";
    const struct {
        std::int16_t start0, end0;
        char property;  // Start, End or Repeat
        std::int32_t value;
        const char* message;  // nullptr: accepted
        std::int16_t start, end;
        std::int32_t repeat;
    } cases[] = {
        {1, 0, 'S', 0, "StartFrame must be >= 1!", 1, 0, 0},
        {1, 3, 'S', 5, "StartFrame must be <= EndFrame!", 1, 3, 0},
        {1, 0, 'S', 7, nullptr, 7, 0, 0},
        {1, 0, 'E', -1, endFrame, 1, 0, 0},
        {3, 0, 'E', 2, endFrame, 3, 0, 0},
        {3, 4, 'E', 0, nullptr, 3, 0, 0},
        {1, 0, 'R', -1, "RepeatCount must be >= 0!", 1, 0, 0},
        {1, 0, 'R', 2, nullptr, 1, 0, 2},
    };
    for (const auto& c : cases) {
        TForm owner(nullptr);
        auto& a = owner.CreateOwned<TAnimation>();
        a.SetStartFrame(c.start0);
        a.SetEndFrame(c.end0);
        // The error box is expected; any other box fails the script.
        if (c.message != nullptr) hb.Answer("error", c.message, "OK");
        if (c.property == 'S') a.SetStartFrame(static_cast<std::int16_t>(c.value));
        if (c.property == 'E') a.SetEndFrame(static_cast<std::int16_t>(c.value));
        if (c.property == 'R') a.SetRepeatCount(c.value);
        EXPECT_TRUE(hb.UnusedAnswers().empty());
        EXPECT_EQ(a.StartFrame(), c.start);
        EXPECT_EQ(a.EndFrame(), c.end);
        EXPECT_EQ(a.RepeatCount(), c.repeat);
    }
}

// A new frame range while playing restarts the play with it.
TEST_F(Animation, ANewFrameRangeWhilePlayingRestartsThePlay) {
    anim.SetRepeatCount(2);
    anim.SetAVIFile(clip);
    anim.Play();
    hb.ClearTranscript();
    anim.SetEndFrame(3);
    EXPECT_EQ(Anim(), (Lines{"anim anim ACM_STOP 0 0x00000000", "anim anim ACN_STOP",
                             "anim anim ACM_PLAY 1 0x00000000", "anim anim ACN_START",
                             "anim anim ACM_PLAY 2 0x00020000", "anim anim ACN_START"}));
    EXPECT_TRUE(anim.Playing());
}

TEST_F(Animation, WithoutCentringTheControlKeepsTheClipsSize) {
    anim.SetCenter(false);
    anim.SetAVIFile(clip);
    EXPECT_EQ(anim.ClipWidth(), 8);  // the host control took the clip's size
    EXPECT_EQ(anim.ClipHeight(), 4);
    anim.SetBounds(20, 30, 100, 50);
    EXPECT_EQ((std::vector<int>{anim.Left(), anim.Top(), anim.Width(), anim.Height()}),
              (std::vector<int>{20, 30, 8, 4}));

    anim.SetFocus();
    anim.SetCenter(true);  // centred: any size; the control made again keeps the focus
    EXPECT_TRUE(anim.Focused());
    anim.SetBounds(20, 30, 100, 50);
    EXPECT_EQ((std::vector<int>{anim.Width(), anim.Height()}), (std::vector<int>{100, 50}));
}

TEST_F(Animation, LoadedFromADescriptionOpensOnceAndPlaysWhatWasStored) {
    RegisterSplashComponents();
    TForm loaded(nullptr);
    loaded.ReadDescription({"TForm",
                            "f",
                            {},
                            {{"TAnimation",
                              "anim",
                              {{"AVIFile", V::Str(clip)},
                               {"Center", V::Bool(false)},
                               {"Playing", V::Bool(true)},
                               {"StartFrame", V::Int(2)},
                               {"RepeatCount", V::Int(0)}},
                              {}}}});
    EXPECT_EQ(Anim(), (Lines{"anim anim ACM_OPEN 0 \"" + clip + "\" -> 1",
                             "anim anim ACM_PLAY 1 0x00010001", "anim anim ACN_START",
                             "anim anim ACM_PLAY -1 0xFFFF0001", "anim anim ACN_START"}));
    auto& a = loaded.FindAs<TAnimation>("anim");
    EXPECT_TRUE(a.Playing());

    hb.ClearTranscript();
    a.SetColor(0x00FF00);  // a colour change makes the control again
    EXPECT_EQ(Anim().front(), "anim anim ACM_STOP 0 0x00000000");
    EXPECT_EQ(hb.TranscriptOf("anim anim ACM_OPEN").size(), 1u);
    EXPECT_TRUE(a.Playing());
}

}  // namespace
}  // namespace pagorix
