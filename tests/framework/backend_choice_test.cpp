// The backend chosen at program start: the first candidate that can run.
#include "framework/backend_choice.h"

#include <gtest/gtest.h>

namespace pagorix {
namespace {

TEST(BackendChoice, TakesTheFirstCandidateThatCanRun) {
    auto can = [] { return std::make_unique<Backend>(); };
    auto cannot = []() -> std::unique_ptr<Backend> { return nullptr; };
    struct Case {
        BackendFactory desktop, fallback;
        const char* chosen;
    };
    const std::vector<Case> cases = {
        {can, can, "desktop"},
        {cannot, can, "fallback"},
        {nullptr, can, "fallback"},
        {cannot, cannot, ""},
    };
    for (const Case& c : cases) {
        ChosenBackend chosen = ChooseBackend(c.desktop, c.fallback);
        EXPECT_EQ(chosen.name, c.chosen);
        EXPECT_EQ(chosen.backend != nullptr, *c.chosen != '\0');
    }
}

TEST(BackendChoice, DoesNotMakeTheFallbackWhenTheDesktopRuns) {
    int fallbacksMade = 0;
    ChosenBackend chosen = ChooseBackend([] { return std::make_unique<Backend>(); },
                                         [&] {
                                             ++fallbacksMade;
                                             return std::make_unique<Backend>();
                                         });
    EXPECT_EQ(chosen.name, "desktop");
    EXPECT_EQ(fallbacksMade, 0);
}

}  // namespace
}  // namespace pagorix
