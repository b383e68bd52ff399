#include "framework/backend_choice.h"

namespace pagorix {

ChosenBackend ChooseBackend(const std::vector<BackendCandidate>& candidates) {
    for (const BackendCandidate& candidate : candidates) {
        if (!candidate.make) continue;
        if (std::unique_ptr<Backend> backend = candidate.make()) {
            return {candidate.name, std::move(backend)};
        }
    }
    return {};
}

}  // namespace pagorix
