// The client side shared by the editor and setupfetch: one libcurl handle
// that reads the first part of a file over HTTP(S), and the FTP upload of
// the download counter.
#pragma once

#include <memory>
#include <string>

#include "update_config.h"
#include "version_info.h"

typedef void CURL;

namespace update {

// At most this much of an answer is looked at ("the one read").
inline constexpr size_t kReadLimit = 4096;

// The answer to OpenUrl: its first bytes (at most kReadLimit).
class UrlRequest {
public:
    // Copies the answer's bytes (once; later reads give 0).
    size_t Read(char* buffer, size_t size);
    // True when the transfer broke off after the server began to answer.
    bool Broken() const { return broken_; }

private:
    friend class CAutoUpdater;
    std::string bytes_;
    size_t pos_ = 0;
    bool broken_ = false;
};

// Escapes what may not stand in a URL (blanks, controls, bytes above 127
// and a few marks) and checks the form: http, https or ftp with a host, at
// most 1024 characters. False when the URL is not usable; url is rewritten
// to the canonical form otherwise.
bool CanonicalizeUrl(std::string& url);
inline bool IsValidUrl(std::string url) { return CanonicalizeUrl(url); }

class CAutoUpdater {
public:
    explicit CAutoUpdater(const UpdateConfig& config);
    ~CAutoUpdater();
    CAutoUpdater(const CAutoUpdater&) = delete;
    CAutoUpdater& operator=(const CAutoUpdater&) = delete;

    // Canonicalises url (written back) and asks for it; null when there is
    // no handle, the URL is unusable, the server gives no answer within the
    // time bound or answers with an error status.
    std::unique_ptr<UrlRequest> OpenUrl(std::string& url);

    // Reads the first part of "vandelore_update.txt" on the maker's server
    // and compares its number with ours (both scaled by 100). onlineScaled
    // is written only when a number was read; text (optional) gets the bytes.
    UpdateCheckResult QueryOnlineVersion(long long currentScaled, long long* onlineScaled,
                                         std::string* text = nullptr);

    // The first read of url (at most kReadLimit bytes); false when the open
    // failed, the transfer broke off or nothing was read.
    bool ReadOnce(std::string url, std::string& text);

    // Uploads localFile to an ftp:// URL in binary mode; false (with the
    // reason) when the server refuses it or does not answer.
    bool FtpUpload(const std::string& url, const std::string& userColonPassword, const std::string& localFile,
                   std::string* error = nullptr);

    const UpdateConfig& Config() const { return config_; }

private:
    UpdateConfig config_;
    CURL* curl_ = nullptr;
};

// libcurl's global set-up, once per process (both programs call it before
// their first thread; the constructor above calls it too).
void InitNetwork();

}  // namespace update
