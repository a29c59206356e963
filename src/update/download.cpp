#include "download.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "CAutoUpdater.h"

namespace update {
namespace {

using Clock = std::chrono::steady_clock;

struct Transfer {
    CURL* curl = nullptr;
    int fd = -1;
    bool writeFailed = false, cancelled = false;
    const std::atomic<bool>* cancel = nullptr;
    const ProgressFn* progress = nullptr;
    Clock::time_point lastReport{};
    bool reported = false;
    uint64_t done = 0, total = 0;
};

// A report when the last one is old enough; false when cancelled.
bool Step(Transfer* t) {
    if (t->cancel && t->cancel->load(std::memory_order_relaxed)) {
        t->cancelled = true;
        return false;
    }
    auto now = Clock::now();
    if (*t->progress && (!t->reported || now - t->lastReport >= std::chrono::milliseconds(1000 / kProgressPerSecond))) {
        curl_off_t total = -1;
        curl_easy_getinfo(t->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &total);
        t->total = total > 0 ? uint64_t(total) : 0;
        t->reported = true;
        t->lastReport = now;
        (*t->progress)(t->done, t->total);
    }
    return true;
}

size_t WriteToFile(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    size_t n = size * count, left = n;
    while (left > 0) {
        ssize_t w = ::write(t->fd, data, left);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            t->writeFailed = true;
            return 0;
        }
        data += w;
        left -= size_t(w);
    }
    t->done += n;
    // libcurl reads many buffers between two progress calls on a fast
    // line; the reports and the cancel check also ride on the data.
    return Step(t) ? n : 0;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return Step(static_cast<Transfer*>(user)) ? 0 : 1;   // non-zero aborts the transfer
}

int Unhex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string DownloadName(const std::string& url) {
    std::string path = url.substr(0, url.find_first_of("?#"));
    size_t scheme = path.find("://");
    size_t start = scheme == std::string::npos ? 0 : path.find('/', scheme + 3);
    std::string last = start == std::string::npos ? std::string() : path.substr(path.rfind('/') + 1);
    std::string name;
    for (size_t i = 0; i < last.size(); ++i) {
        if (last[i] == '%' && i + 2 < last.size() + 0 && Unhex(last[i + 1]) >= 0 && Unhex(last[i + 2]) >= 0) {
            name.push_back(char(Unhex(last[i + 1]) * 16 + Unhex(last[i + 2])));
            i += 2;
        } else {
            name.push_back(last[i]);
        }
    }
    // No folders, nothing hidden, nothing unprintable.
    for (char& c : name)
        if (c == '/' || (unsigned char)c < 0x20) c = '_';
    if (name.empty() || name[0] == '.') name = "download" + name;
    if (name.size() > 200) name.resize(200);
    return name;
}

std::string FileSha256(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    bool ok = ctx && EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) == 1;
    std::unique_ptr<char[]> buffer(new char[1 << 20]);
    while (ok) {
        ssize_t n = ::read(fd, buffer.get(), 1 << 20);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        ok = EVP_DigestUpdate(ctx.get(), buffer.get(), size_t(n)) == 1;
    }
    ::close(fd);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!ok || EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) return {};
    std::string hex;
    static const char* digits = "0123456789abcdef";
    for (unsigned i = 0; i < length; ++i) {
        hex.push_back(digits[digest[i] >> 4]);
        hex.push_back(digits[digest[i] & 15]);
    }
    return hex;
}

DownloadResult DownloadFile(const std::string& urlIn, const std::string& folder, const std::atomic<bool>& cancel,
                            const ProgressFn& progress, int timeoutSeconds) {
    DownloadResult r;
    std::string url = urlIn;
    if (!CanonicalizeUrl(url)) {
        r.error = "not a usable address";
        return r;
    }
    InitNetwork();
    std::string target = folder + "/" + DownloadName(url);
    std::string part = target + ".part";
    ::unlink(target.c_str());   // never an old copy
    Transfer t;
    t.cancel = &cancel;
    t.progress = &progress;
    t.fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (t.fd < 0) {
        r.error = "cannot write " + part + ": " + std::strerror(errno);
        return r;
    }
    CURL* c = curl_easy_init();
    if (!c) {
        ::close(t.fd);
        ::unlink(part.c_str());
        r.error = "no handle";
        return r;
    }
    t.curl = c;
    char message[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_USERAGENT, "AutoUpdateAgent");
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, long(timeoutSeconds));
    // A large file may take long; a transfer that stands still does not.
    long stall = timeoutSeconds < 30 ? 30 : timeoutSeconds;
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, stall);
    curl_easy_setopt(c, CURLOPT_BUFFERSIZE, 512L * 1024);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, WriteToFile);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, message);
    curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
    CURLcode rc = curl_easy_perform(c);
    curl_off_t total = -1;
    curl_easy_getinfo(c, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &total);
    curl_easy_cleanup(c);
    curl_slist_free_all(headers);
    bool closed = ::close(t.fd) == 0;
    if (rc == CURLE_OK && progress) progress(t.done, total > 0 ? uint64_t(total) : 0);   // the last report
    if (rc != CURLE_OK || !closed || t.writeFailed || t.cancelled) {
        ::unlink(part.c_str());
        r.cancelled = t.cancelled;
        r.error = r.cancelled ? "cancelled" : (t.writeFailed || !closed) ? "cannot write " + part
                                             : (message[0] ? message : curl_easy_strerror(rc));
        return r;
    }
    if (::rename(part.c_str(), target.c_str()) != 0) {
        ::unlink(part.c_str());
        r.error = "cannot rename " + part + ": " + std::strerror(errno);
        return r;
    }
    r.ok = true;
    r.path = target;
    return r;
}

}  // namespace update
