// A test with the headless backend installed and the application at its
// start state; a script failure fails the test.
#pragma once

#include <gtest/gtest.h>

#include "framework/application.h"
#include "framework/headless/headless_backend.h"

namespace pagorix::test {

class HeadlessTest : public ::testing::Test {
protected:
    HeadlessTest() {
        Application().ResetState();
        hb.SetFailureHandler([](const std::string& message) { ADD_FAILURE() << message; });
    }
    ~HeadlessTest() override { Application().ResetState(); }

    headless::HeadlessBackend hb;
};

}  // namespace pagorix::test
