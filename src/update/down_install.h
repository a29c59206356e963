// What setupfetch's dialog does, without the window: the installer's
// address from the update information file, the counter step, starting and
// cancelling the download thread, and what follows a finished download.
// The window shows the results and forwards the thread's reports to the
// user-interface thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "counter.h"
#include "download.h"
#include "update_config.h"

namespace update {

class DownInstallModel {
public:
    // Called on the download thread; the window posts them on.
    struct Events {
        ProgressFn progress;
        std::function<void()> done;
    };

    DownInstallModel(UpdateConfig config, std::string downloadFolder);
    ~DownInstallModel();   // a running download is cancelled and waited for

    struct Prepared {
        std::string url;                       // empty when the file gave nothing
        CounterResult counter = CounterResult::Skipped;
        std::string counterDetail;
    };
    // Reads "vandelore_update.txt" from the maker's server, forms the
    // installer's address on the server's "www" form, remembers the file's
    // checksum line and raises the download counter.
    Prepared PrepareInstallerUrl();

    enum class Start { Started, Cancelling, InvalidUrl, ThreadFailed };
    // Enter: cancels the running download, or starts one for url (checked
    // first). Only one download thread at a time.
    Start StartDownload(const std::string& url, Events events);
    bool Downloading() const { return worker_.joinable(); }

    struct Outcome {
        enum Kind {
            TransferError,   // "파일전송오류(1)": nothing downloaded, nothing opened
            Opened,          // the checksum matched, the opener was started
            ManualInstall,   // "직접 다운로드 후 설치바람" with the file's path
        } kind = TransferError;
        std::string path;      // the downloaded file
        std::string message;   // the text to show (empty for Opened)
        std::string detail;    // why (for the log)
    };
    // After the done event: waits for the thread, then checks the file's
    // SHA-256 against the update information file's "sha256=" line and
    // runs the opener only when it matches.
    Outcome FinishDownload();

    // The checksum expected for the installer (from PrepareInstallerUrl).
    std::string expectedSha256;
    const UpdateConfig& Config() const { return config_; }

private:
    UpdateConfig config_;
    std::string folder_;
    std::thread worker_;
    std::atomic<bool> cancel_{false};
    DownloadResult result_;
};

// The installer's address for version n on the maker's server.
std::string InstallerUrl(const UpdateConfig& config, int version);

}  // namespace update
