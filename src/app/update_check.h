// The start-up update check. Asking the maker's server comes with the
// updater; until then the check finds nothing and start-up goes on.
#pragma once

// True when the download-and-install program was started (the editor ends).
inline bool RunStartupUpdateCheck() { return false; }
