// The hidden taskbar button acts on every assignment, never hides in the
// designer and applies its stored value after loading.
#include "splash/hide_app_btn.h"

#include <gtest/gtest.h>

#include "framework/form.h"
#include "framework/headless_fixture.h"
#include "splash/splash_components.h"

namespace pagorix {
namespace {

using Lines = std::vector<std::string>;

class HideAppBtn : public test::HeadlessTest {};

TEST_F(HideAppBtn, EveryAssignmentActsAndTheDesignerNeverHides) {
    struct Case {
        bool designing;
        std::vector<bool> values;
        Lines transcript;
    };
    const std::vector<Case> cases = {
        {false, {false, false, true}, {"taskbar hidden", "taskbar hidden", "taskbar shown"}},
        {false, {true, true}, {"taskbar shown", "taskbar shown"}},
        {true, {false, true}, {"taskbar shown", "taskbar shown"}},
    };
    for (const Case& c : cases) {
        hb.ClearTranscript();
        THideAppBtn app(nullptr);
        EXPECT_TRUE(app.AppVisible());
        app.SetDesigning(c.designing);
        for (bool v : c.values) {
            app.SetAppVisible(v);
            EXPECT_EQ(app.AppVisible(), v);  // stored in the designer too
        }
        EXPECT_EQ(hb.Transcript(), c.transcript);
    }
    // Destroying the component leaves the button as it is.
    hb.ClearTranscript();
    { THideAppBtn(nullptr).SetAppVisible(false); }
    EXPECT_EQ(hb.Transcript(), (Lines{"taskbar hidden"}));
}

TEST_F(HideAppBtn, LoadingAppliesTheStoredValue) {
    RegisterSplashComponents();
    struct Case {
        std::vector<TStoredProperty> properties;
        Lines transcript;
    };
    const std::vector<Case> cases = {
        {{}, {"taskbar shown"}},
        {{{"AppVisible", TStoredValue::Bool(false)}}, {"taskbar hidden", "taskbar hidden"}},
    };
    for (const Case& c : cases) {
        hb.ClearTranscript();
        TForm form(nullptr);
        form.ReadDescription({"TForm", "f", {}, {{"THideAppBtn", "app", c.properties, {}}}});
        EXPECT_EQ(hb.Transcript(), c.transcript);
    }
}

}  // namespace
}  // namespace pagorix
