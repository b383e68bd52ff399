// The backend chosen at program start: the first candidate that can run; the
// fallback is not even made when the desktop runs.
#include "framework/backend_choice.h"

#include <gtest/gtest.h>

namespace pagorix {
namespace {

TEST(BackendChoice, TakesTheFirstCandidateThatCanRun) {
    int made = 0;
    const BackendFactory can = [&made] {
        ++made;
        return std::make_unique<Backend>();
    };
    const BackendFactory cannot = [&made]() -> std::unique_ptr<Backend> {
        ++made;
        return nullptr;
    };
    struct Case {
        BackendFactory desktop, fallback;
        const char* chosen;
        int made;
    };
    const std::vector<Case> cases = {
        {can, can, "desktop", 1},
        {cannot, can, "fallback", 2},
        {nullptr, can, "fallback", 1},
        {cannot, cannot, "", 2},
    };
    for (const Case& c : cases) {
        made = 0;
        ChosenBackend chosen = ChooseBackend(c.desktop, c.fallback);
        EXPECT_EQ(chosen.name, c.chosen);
        EXPECT_EQ(chosen.backend != nullptr, *c.chosen != '\0');
        EXPECT_EQ(made, c.made) << c.chosen;
    }
}

}  // namespace
}  // namespace pagorix
