#include "startup_check.h"

#include "CAutoUpdater.h"
#include "process.h"

namespace update {

bool StartupUpdateCheck(const UpdateConfig& config, const std::string& exePath, const StartupHooks& hooks) {
    CAutoUpdater updater(config);
    long long current = ReadModuleVersion(exePath);
    if (current < 0) return true;
    long long online = 0;
    if (updater.QueryOnlineVersion(current, &online) != UpdateAvailable) return true;
    if (!hooks.offer || !hooks.offer(current, online)) return true;
    if (hooks.startSetupfetch && hooks.startSetupfetch()) return false;
    return true;
}

bool StartSetupfetch(const std::string& folder) { return StartProgram({folder + "/setupfetch"}); }

}  // namespace update
