// TExecFile's state before any start, and its 255-character properties.
#include "exec/exec_file.h"

#include <gtest/gtest.h>

namespace pagorix {
namespace {

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
