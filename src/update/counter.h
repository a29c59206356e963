// The download counter: a count kept on the counter server, read over HTTP
// and written back over FTP, one higher on every start of setupfetch that
// reaches the server.
#pragma once

#include <string>

#include "CAutoUpdater.h"

namespace update {

enum class CounterResult {
    Skipped,        // no counter server, no account, nothing read, or no local copy
    Uploaded,
    UploadFailed,   // the program then shows "파일전송오류(2)"
};

// Reads the count C, writes C + 1 ("%d", no line end) to "dninf.tmp" in
// localFolder (left in place) and uploads it as "www/vandelore_update.txt".
// The account comes from the configured credentials file; without one the
// step is skipped. why (optional) gets the reason of a skip or a failure.
CounterResult BumpDownloadCounter(CAutoUpdater& updater, const std::string& localFolder,
                                  std::string* why = nullptr);

}  // namespace update
