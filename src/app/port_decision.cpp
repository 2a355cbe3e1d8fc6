#include "app/port_decision.h"

#include <algorithm>

namespace splicerec {

PortDecision decidePort(const std::string& given, const std::string& remembered, bool lastOpenFailed,
                        const std::vector<PortOffer>& present)
{
    const auto adapters = std::count_if(present.begin(), present.end(), [](const auto& port) { return port.adapter; });
    const bool rememberedHere = !remembered.empty() && std::any_of(present.begin(), present.end(), [&](const auto& port) {
        return port.path == remembered || port.stableName == remembered;
    });
    // A failed open asks only when there is something to pick; one adapter is always taken.
    const bool askAfterFailure = lastOpenFailed && !present.empty();
    if (!given.empty())
        return {given, askAfterFailure};
    if (adapters == 1)
        return {"", false};
    if (rememberedHere)
        return {remembered, askAfterFailure};
    return {"", adapters > 1 || askAfterFailure};
}

}  // namespace splicerec
