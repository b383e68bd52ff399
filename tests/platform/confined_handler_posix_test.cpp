// Telling a browser installed as a snap from an ordinary one, through the
// desktop's database (snapd's entries start the program through env, which
// exists, so the desktop takes them even where /snap does not). Each case runs in a fresh process
// whose HOME and XDG folders are private, since GLib reads them once per process.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/process.h"
#include "support/private_desktop.h"
#include "support/test_support.h"

namespace pagorix {
namespace {

TEST(ConfinedHandler, ASnapBrowserIsConfinedAnOrdinaryOneIsNot) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Case {
        const char* name;
        const char* exec;
        bool confined;
    };
    const Case cases[] = {
        {"snap through env",
         "env BAMF_DESKTOP_FILE_HINT=/var/lib/snapd/desktop/applications/firefox_firefox.desktop "
         "/snap/bin/firefox %u",
         true},
        {"snap run", "env BAMF_DESKTOP_FILE_HINT=x /snap/bin/chromium.chromium %U", true},
        {"ordinary", "/bin/true %u", false},
        {"ordinary through env", "env MOZ_ENABLE_WAYLAND=1 true %u", false},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        const test::PrivateDesktop desktop(dir.Path(), c.exec);
        EXPECT_EXIT(
            {
                desktop.Enter();
                std::_Exit(platform::HandlerIsConfined("index.html") ? 10 : 20);
            },
            ::testing::ExitedWithCode(c.confined ? 10 : 20), "")
            << c.name;
    }
}

}  // namespace
}  // namespace pagorix
