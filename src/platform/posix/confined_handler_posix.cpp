// Recognises a desktop program installed as a snap. Snapd writes the desktop
// entries of its programs into its own folder and starts them through
// /snap/bin, usually behind "env VAR=... /snap/bin/NAME %u"; either sign is
// enough.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <string>

#include "platform/process.h"

namespace pagorix::platform {

namespace {

constexpr const char* kSnapDesktopFolder = "/var/lib/snapd/desktop/";
constexpr const char* kSnapPrograms = "/snap/";

bool StartsWith(const char* text, const char* prefix) {
    return text != nullptr && std::string(text).rfind(prefix, 0) == 0;
}

}  // namespace

bool HandlerIsConfined(const std::string& document) {
    gchar* type = g_content_type_guess(document.c_str(), nullptr, 0, nullptr);
    GAppInfo* app = type != nullptr ? g_app_info_get_default_for_type(type, FALSE) : nullptr;
    g_free(type);
    if (app == nullptr) return false;
    bool confined = false;
    if (G_IS_DESKTOP_APP_INFO(app) &&
        StartsWith(g_desktop_app_info_get_filename(G_DESKTOP_APP_INFO(app)), kSnapDesktopFolder)) {
        confined = true;
    }
    if (const char* line = g_app_info_get_commandline(app)) {
        gchar** words = nullptr;
        if (g_shell_parse_argv(line, nullptr, &words, nullptr)) {
            for (gchar** word = words; *word != nullptr && !confined; ++word)
                confined = StartsWith(*word, kSnapPrograms);
        }
        g_strfreev(words);
    }
    g_object_unref(app);
    return confined;
}

}  // namespace pagorix::platform
