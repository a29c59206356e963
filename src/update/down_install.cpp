#include "down_install.h"

#include <system_error>

#include "CAutoUpdater.h"
#include "process.h"
#include "version_info.h"

namespace update {

std::string InstallerUrl(const UpdateConfig& config, int version) {
    return MakerServer(config.updateHost).www + "/" + InstallerFileName(version);
}

DownInstallModel::DownInstallModel(UpdateConfig config, std::string downloadFolder)
    : config_(std::move(config)), folder_(std::move(downloadFolder)) {
    InitNetwork();
}

DownInstallModel::~DownInstallModel() {
    cancel_ = true;
    if (worker_.joinable()) worker_.join();
}

DownInstallModel::Prepared DownInstallModel::PrepareInstallerUrl() {
    Prepared p;
    CAutoUpdater updater(config_);
    std::string text;
    if (!updater.ReadOnce(MakerServer(config_.updateHost).bare + "/vandelore_update.txt", text)) return p;
    p.url = InstallerUrl(config_, LeadingNumber(text));
    expectedSha256 = FindSha256(text);
    p.counter = BumpDownloadCounter(updater, folder_, &p.counterDetail);
    return p;
}

DownInstallModel::Start DownInstallModel::StartDownload(const std::string& url, Events events) {
    if (worker_.joinable()) {
        cancel_ = true;   // the thread stops at its next progress step
        return Start::Cancelling;
    }
    std::string checked = url;
    if (checked.empty() || !CanonicalizeUrl(checked)) return Start::InvalidUrl;
    cancel_ = false;
    result_ = DownloadResult();
    try {
        worker_ = std::thread([this, checked, events] {
            result_ = DownloadFile(checked, folder_, cancel_, events.progress, config_.timeoutSeconds);
            if (result_.ok) result_.sha256 = FileSha256(result_.path);   // what lies on disk is what runs
            if (events.done) events.done();
        });
    } catch (const std::system_error&) {
        return Start::ThreadFailed;
    }
    return Start::Started;
}

DownInstallModel::Outcome DownInstallModel::FinishDownload() {
    if (worker_.joinable()) worker_.join();
    Outcome o;
    if (!result_.ok) {
        o.kind = Outcome::TransferError;
        o.message = "파일전송오류(1)";
        o.detail = result_.error;
        return o;
    }
    o.path = result_.path;
    std::string manual = "직접 다운로드 후 설치바람\n" + o.path;
    if (expectedSha256.empty()) {
        o.kind = Outcome::ManualInstall;
        o.message = manual;
        o.detail = "no checksum in the update information file";
    } else if (result_.sha256 != expectedSha256) {
        o.kind = Outcome::ManualInstall;
        o.message = manual + "\n(SHA-256 불일치)";
        o.detail = "checksum " + result_.sha256 + " differs from " + expectedSha256;
    } else {
        std::vector<std::string> argv = config_.opener;
        argv.push_back(o.path);
        std::string error;
        if (StartProgram(argv, &error)) {
            o.kind = Outcome::Opened;
        } else {
            o.kind = Outcome::ManualInstall;
            o.message = manual;
            o.detail = error;
        }
    }
    return o;
}

}  // namespace update
