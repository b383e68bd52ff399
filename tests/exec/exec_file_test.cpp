// Known answers of TExecFile that need no process: the system values of the
// window styles and priority classes, and the 255-character properties.
#include "exec/exec_file.h"

#include <gtest/gtest.h>

namespace pagorix {
namespace {

TEST(ExecFileMappings, WindowStylesGiveTheirShowCommands) {
    const struct {
        TWindowStyle style;
        int show;
    } cases[] = {
        {TWindowStyle::wsNorm, 1},          {TWindowStyle::wsMinimize, 2},
        {TWindowStyle::wsMaximize, 3},      {TWindowStyle::wsHide, 0},
        {TWindowStyle::wsMinNoActivate, 7}, {TWindowStyle::wsShowNoActivate, 8},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ShowCommandOf(c.style), c.show) << static_cast<int>(c.style);
    }
}

TEST(ExecFileMappings, PriorityClassesGiveTheirCreationFlags) {
    const struct {
        TPriorityClass priority;
        std::uint32_t flag;
    } cases[] = {
        {TPriorityClass::pcNormal, 0x20},
        {TPriorityClass::pcIdle, 0x40},
        {TPriorityClass::pcHigh, 0x80},
        {TPriorityClass::pcRealTime, 0x100},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PriorityFlagOf(c.priority), c.flag) << static_cast<int>(c.priority);
    }
}

TEST(ExecFileProperties, StartClearedAndCutLongTexts) {
    TExecFile exec;
    EXPECT_FALSE(exec.Associate());
    EXPECT_FALSE(exec.Wait());
    EXPECT_EQ(exec.WaitStyle(), TWaitStyle::wRegular);
    EXPECT_EQ(exec.WindowStyle(), TWindowStyle::wsNorm);
    EXPECT_EQ(exec.Priority(), TPriorityClass::pcNormal);
    EXPECT_EQ(exec.ErrorCode(), 0u);
    EXPECT_FALSE(exec.Busy());

    exec.SetCommandLine(std::string(300, 'c'));
    exec.SetParameters(std::string(256, 'p'));
    EXPECT_EQ(exec.CommandLine(), std::string(255, 'c'));
    EXPECT_EQ(exec.Parameters(), std::string(255, 'p'));
}

}  // namespace
}  // namespace pagorix
