#include "counter.h"

#include <cstdio>

namespace update {

CounterResult BumpDownloadCounter(CAutoUpdater& updater, const std::string& localFolder, std::string* why) {
    auto skip = [why](const std::string& reason) {
        if (why) *why = reason;
        return CounterResult::Skipped;
    };
    const UpdateConfig& config = updater.Config();
    CounterUrls urls;
    if (!CounterServer(config.counterHost, urls)) return skip("no counter server");
    if (config.credentialsFile.empty()) return skip("no counter account");
    std::string account, reason;
    if (!ReadCredentials(config.credentialsFile, account, &reason))
        return skip(config.credentialsFile + ": " + reason);
    std::string text;
    if (!updater.ReadOnce(urls.http, text)) return skip("nothing read from the counter server");
    long long next = (long long)LeadingNumber(text) + 1;
    std::string local = localFolder + "/dninf.tmp";
    FILE* out = std::fopen(local.c_str(), "w");
    if (!out) return skip("cannot write " + local);
    bool written = std::fprintf(out, "%lld", next) > 0;
    written = std::fclose(out) == 0 && written;
    if (!written) return skip("cannot write " + local);
    std::string error;
    if (!updater.FtpUpload(urls.ftp, account, local, &error)) {
        if (why) *why = error;
        return CounterResult::UploadFailed;
    }
    return CounterResult::Uploaded;
}

}  // namespace update
