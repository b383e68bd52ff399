#include "launcher/manifest.h"

namespace pagorix {

bool IsManifestSentinel(const std::string& line) {
    return line == kManifestSentinel;
}

ManifestWindow ManifestWindowStyle(const std::string& line) {
    if (line == "1") return ManifestWindow::Normal;
    if (line == "2") return ManifestWindow::Minimized;
    return ManifestWindow::Maximized;
}

}  // namespace pagorix
