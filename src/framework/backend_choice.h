// Choosing the GUI backend at program start: the desktop backend when it can
// reach a display, the fallback (the terminal backend) otherwise.
//
// Each candidate is a factory that makes and installs its backend, or returns
// nullptr without installing anything when it cannot run here (a desktop
// backend without a display). The first candidate that succeeds is kept; the
// caller owns it for the whole run.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/backend.h"

namespace pagorix {

using BackendFactory = std::function<std::unique_ptr<Backend>()>;

struct BackendCandidate {
    std::string name;  // "gtk", "terminal", ... (for messages and tests)
    BackendFactory make;
};

struct ChosenBackend {
    std::string name;  // empty when no candidate could run
    std::unique_ptr<Backend> backend;
};

// Tries the candidates in order and keeps the first that can run.
ChosenBackend ChooseBackend(const std::vector<BackendCandidate>& candidates);

// The usual order: the desktop first, the fallback when there is no display.
inline ChosenBackend ChooseBackend(BackendFactory desktop, BackendFactory fallback) {
    return ChooseBackend({{"desktop", std::move(desktop)}, {"fallback", std::move(fallback)}});
}

}  // namespace pagorix
