// The resolution fix scales its form's controls once, by DesignRes over the
// screen's density.
#include "splash/resolution_fix.h"

#include <gtest/gtest.h>

#include "framework/form.h"
#include "framework/headless_fixture.h"

namespace pagorix {
namespace {

using Place = std::vector<int>;  // top, left, height, width

class ResolutionFix : public test::HeadlessTest {
protected:
    TLabel& AddControl(TComponent& owner, const Place& p) {
        auto& control = owner.CreateOwned<TLabel>();
        control.SetParent(&form);
        control.SetBounds(p[1], p[0], p[3], p[2]);
        return control;
    }
    static Place PlaceOf(const TControl& c) { return {c.Top(), c.Left(), c.Height(), c.Width()}; }

    TForm form{nullptr};
};

TEST_F(ResolutionFix, ScalesEveryControlOfTheFormOnce) {
    hb.SetScreen(120, 1024, 768);
    struct Case {
        Place before, after;
    };
    const std::vector<Case> cases = {
        {{96, 8, 33, 209}, {76, 6, 26, 167}},
        {{-9, 0, 0, 1}, {-7, 0, 0, 0}},  // truncation towards zero
        {{72, 8, 17, 273}, {57, 6, 13, 218}},
    };
    std::vector<TLabel*> controls;
    for (const Case& c : cases)
        controls.push_back(&AddControl(form, c.before));
    auto& timer = form.CreateOwned<TTimer>();  // not a control: skipped
    auto& other = form.CreateOwned<TComponent>();
    TLabel& foreign = AddControl(other, {96, 8, 33, 209});  // owned by another component
    auto& fix = form.CreateOwned<TResolutionFix>();
    fix.SetDesignRes(96);
    form.SetBounds(0, 0, 300, 162);

    fix.Apply();
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(PlaceOf(*controls[i]), cases[i].after);
    EXPECT_EQ(PlaceOf(foreign), (Place{96, 8, 33, 209}));
    EXPECT_EQ(PlaceOf(form), (Place{0, 0, 162, 300}));  // the form itself stays
    EXPECT_EQ(form.PixelsPerInch(), 120);
    EXPECT_EQ(timer.Interval(), 1000u);

    fix.SetDesignRes(48);
    fix.Apply();  // once in its life
    EXPECT_TRUE(fix.Applied());
    EXPECT_EQ(PlaceOf(*controls[0]), cases[0].after);
}

// The default DesignRes (120) on a 120 dpi screen, and a host that reports no
// density, change nothing.
TEST_F(ResolutionFix, ChangesNothingWithoutADensityToScaleBy) {
    for (const int density : {120, 0}) {
        hb.SetScreen(density, 1024, 768);
        TForm owner(nullptr);
        auto& label = owner.CreateOwned<TLabel>();
        label.SetBounds(8, 96, 209, 33);
        owner.CreateOwned<TResolutionFix>().Apply();
        EXPECT_EQ(PlaceOf(label), (Place{96, 8, 33, 209})) << density;
    }
}

TEST_F(ResolutionFix, OwnerThatIsNotAFormIsAnInvalidCast) {
    TComponent owner;
    auto& fix = owner.CreateOwned<TResolutionFix>();
    EXPECT_THROW(fix.Apply(), EInvalidCast);
    EXPECT_TRUE(fix.Applied());
}

}  // namespace
}  // namespace pagorix
