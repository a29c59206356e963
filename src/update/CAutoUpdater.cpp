#include "CAutoUpdater.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstring>
#include <mutex>

namespace update {
namespace {

struct FirstPart {
    std::string* bytes;
    bool full = false;
};

size_t TakeFirstPart(char* data, size_t size, size_t count, void* user) {
    auto* part = static_cast<FirstPart*>(user);
    size_t n = size * count;
    size_t room = kReadLimit - part->bytes->size();
    if (n >= room) {
        part->bytes->append(data, room);
        part->full = true;
        return n == room ? n : 0;   // stop the transfer: the rest is not read
    }
    part->bytes->append(data, n);
    return n;
}

void CommonOptions(CURL* c, int timeout) {
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, long(timeout));
    // A server that stops sending for the time bound is given up.
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, long(timeout));
}

bool Unreserved(unsigned char c) {
    return c > 0x20 && c < 0x7F && !std::strchr("\"<>\\^`{|}", c);
}

}  // namespace

void InitNetwork() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

size_t UrlRequest::Read(char* buffer, size_t size) {
    size_t n = std::min(size, bytes_.size() - pos_);
    std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    return n;
}

bool CanonicalizeUrl(std::string& url) {
    // Blanks around the address are not part of it.
    size_t a = url.find_first_not_of(" \t\r\n"), b = url.find_last_not_of(" \t\r\n");
    if (a == std::string::npos) return false;
    std::string escaped;
    static const char* hex = "0123456789ABCDEF";
    for (unsigned char c : url.substr(a, b - a + 1)) {
        if (Unreserved(c)) {
            escaped.push_back(char(c));
        } else {
            escaped.push_back('%');
            escaped.push_back(hex[c >> 4]);
            escaped.push_back(hex[c & 15]);
        }
    }
    CURLU* u = curl_url();
    if (!u) return false;
    bool ok = curl_url_set(u, CURLUPART_URL, escaped.c_str(), 0) == CURLUE_OK;
    char* scheme = nullptr;
    char* host = nullptr;
    char* out = nullptr;
    if (ok) ok = curl_url_get(u, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK && scheme &&
                 (!std::strcmp(scheme, "http") || !std::strcmp(scheme, "https") || !std::strcmp(scheme, "ftp"));
    if (ok) ok = curl_url_get(u, CURLUPART_HOST, &host, 0) == CURLUE_OK && host && *host;
    if (ok) ok = curl_url_get(u, CURLUPART_URL, &out, 0) == CURLUE_OK && out && std::strlen(out) <= 1024;
    if (ok) url = out;
    curl_free(scheme);
    curl_free(host);
    curl_free(out);
    curl_url_cleanup(u);
    return ok;
}

CAutoUpdater::CAutoUpdater(const UpdateConfig& config) : config_(config) {
    InitNetwork();
    curl_ = curl_easy_init();
    if (curl_) curl_easy_setopt(curl_, CURLOPT_USERAGENT, "AutoUpdateAgent");
}

CAutoUpdater::~CAutoUpdater() {
    if (curl_) curl_easy_cleanup(curl_);
}

std::unique_ptr<UrlRequest> CAutoUpdater::OpenUrl(std::string& url) {
    if (!curl_ || !CanonicalizeUrl(url)) return nullptr;
    if (url.rfind("http", 0) != 0) return nullptr;   // reads are HTTP(S) only
    auto request = std::make_unique<UrlRequest>();
    FirstPart part{&request->bytes_};
    CURL* c = curl_;
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
    CommonOptions(c, config_.timeoutSeconds);
    // The whole request is bounded too: a server that trickles a byte now
    // and then must not hold start-up.
    curl_easy_setopt(c, CURLOPT_TIMEOUT, long(2 * config_.timeoutSeconds));
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, TakeFirstPart);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &part);
    // Always a fresh copy, never one from a cache on the way.
    curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
    CURLcode rc = curl_easy_perform(c);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    if (rc == CURLE_OK || (rc == CURLE_WRITE_ERROR && part.full)) return request;
    // No answer, or an error status: as if the open returned no handle.
    if (status == 0 || rc == CURLE_HTTP_RETURNED_ERROR) return nullptr;
    request->broken_ = true;
    return request;
}

UpdateCheckResult CAutoUpdater::QueryOnlineVersion(long long currentScaled, long long* onlineScaled,
                                                   std::string* text) {
    std::string url = MakerServer(config_.updateHost).bare + "/vandelore_update.txt";
    std::unique_ptr<UrlRequest> request = OpenUrl(url);
    if (!request) return OpenFailed;
    if (request->Broken()) return CheckFailed;
    char buffer[kReadLimit] = {};
    size_t n = request->Read(buffer, sizeof buffer);
    request.reset();
    if (n == 0) return NothingRead;
    long long online = Scaled(LeadingNumber(buffer, n));
    if (onlineScaled) *onlineScaled = online;
    if (text) text->assign(buffer, n);
    return Compare(currentScaled, online);
}

bool CAutoUpdater::ReadOnce(std::string url, std::string& text) {
    std::unique_ptr<UrlRequest> request = OpenUrl(url);
    if (!request || request->Broken()) return false;
    char buffer[kReadLimit] = {};
    size_t n = request->Read(buffer, sizeof buffer);
    text.assign(buffer, n);
    return n > 0;
}

bool CAutoUpdater::FtpUpload(const std::string& url, const std::string& userColonPassword,
                             const std::string& localFile, std::string* error) {
    InitNetwork();
    FILE* in = std::fopen(localFile.c_str(), "rb");
    if (!in) {
        if (error) *error = "cannot read " + localFile;
        return false;
    }
    std::fseek(in, 0, SEEK_END);
    long size = std::ftell(in);
    std::rewind(in);
    CURL* c = curl_easy_init();
    if (!c) {
        std::fclose(in);
        if (error) *error = "no handle";
        return false;
    }
    size_t colon = userColonPassword.find(':');
    std::string user = userColonPassword.substr(0, colon);
    std::string password = colon == std::string::npos ? std::string() : userColonPassword.substr(colon + 1);
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(c, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, password.c_str());
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_TRANSFERTEXT, 0L);   // binary (TYPE I)
    curl_easy_setopt(c, CURLOPT_READDATA, in);
    curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, curl_off_t(size < 0 ? 0 : size));
    CommonOptions(c, config_.timeoutSeconds);
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(config_.timeoutSeconds));
    curl_easy_setopt(c, CURLOPT_TIMEOUT, long(4 * config_.timeoutSeconds));
    char message[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, message);
    CURLcode rc = curl_easy_perform(c);
    curl_easy_cleanup(c);
    std::fclose(in);
    if (rc != CURLE_OK && error) *error = message[0] ? message : curl_easy_strerror(rc);
    return rc == CURLE_OK;
}

}  // namespace update
