// The start-up check of the editor without its window: ask the maker's
// server, offer a newer version, hand over to setupfetch.
#pragma once

#include <functional>
#include <string>

#include "update_config.h"

namespace update {

struct StartupHooks {
    // Shows the offer (numbers scaled by 100); true when the user accepts.
    std::function<bool(long long currentScaled, long long onlineScaled)> offer;
    // Starts setupfetch; true when it was started.
    std::function<bool()> startSetupfetch;
};

// False only when the user accepted and setupfetch was started (start-up
// then ends); every failure is silent and gives true. The version is read
// from the executable at exePath; without one nothing is asked.
bool StartupUpdateCheck(const UpdateConfig& config, const std::string& exePath, const StartupHooks& hooks);

// Starts "setupfetch" from folder (the editor's own); false when it cannot.
bool StartSetupfetch(const std::string& folder);

}  // namespace update
