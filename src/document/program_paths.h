// Where the program keeps the files it writes.
//
// $PIMLORA_HOME, when set, is the program folder for everything. Otherwise
// the configuration files live in $XDG_CONFIG_HOME/pimlora (~/.config/pimlora)
// and the "tmp" journal folder in $XDG_CACHE_HOME/pimlora (~/.cache/pimlora).
#pragma once

#include <string>

namespace paths {

std::string ConfigFolder();     // made if missing
std::string CacheFolder();      // made if missing
// "<cache>/tmp": the journal root; each running program takes its own
// folder below it (see JournalLock).
std::string JournalRoot();

// Makes the folder and its parents; false on failure.
bool MakeFolders(const std::string& path);

// A journal folder owned by this process for as long as it runs: a folder
// "run-PID-XXXXXX" below JournalRoot() with a lock file ".lock" held open
// with an exclusive lock. The folder is made and locked under a name that
// other programs pass over and only then renamed into place, so no other
// program starting at the same time can find it unlocked. Folders of
// programs that are gone (lock not held) are removed on creation.
class JournalLock {
public:
    JournalLock();
    ~JournalLock();
    JournalLock(const JournalLock&) = delete;
    JournalLock& operator=(const JournalLock&) = delete;
    const std::string& Folder() const { return folder_; }   // ends with '/'; empty on failure
    int Error() const { return error_; }                     // errno of the failure

private:
    std::string folder_;
    int fd_ = -1;
    int error_ = 0;
};

}  // namespace paths
