// The installer download of setupfetch: a fresh copy into a folder, with
// throttled progress reports and cancellation; and a file's SHA-256.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace update {

// At most this many progress reports a second (the last one always comes).
inline constexpr int kProgressPerSecond = 20;

struct DownloadResult {
    bool ok = false;
    bool cancelled = false;
    std::string path;      // the downloaded file; empty unless ok
    std::string sha256;    // lower-case hex of the file (FileSha256), when asked for
    std::string error;     // why it failed
};

using ProgressFn = std::function<void(uint64_t done, uint64_t total)>;

// Downloads url into folder under the URL's last file name (written beside
// it first and renamed when complete, so a broken transfer leaves nothing
// under that name). Runs on the calling thread; cancel is looked at on
// every progress step of the transfer, at least once a second.
DownloadResult DownloadFile(const std::string& url, const std::string& folder, const std::atomic<bool>& cancel,
                            const ProgressFn& progress, int timeoutSeconds);

// The SHA-256 of a file as lower-case hex; empty when it cannot be read.
std::string FileSha256(const std::string& path);

// The file name a URL is saved under (its last path part, unescaped;
// "download" when it has none usable).
std::string DownloadName(const std::string& url);

}  // namespace update
