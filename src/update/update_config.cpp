#include "update_config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifndef PIMLORA_DEFAULT_UPDATE_HOST
#define PIMLORA_DEFAULT_UPDATE_HOST ""
#endif
#ifndef PIMLORA_DEFAULT_COUNTER_HOST
#define PIMLORA_DEFAULT_COUNTER_HOST ""
#endif
#ifndef PIMLORA_DEFAULT_SITE_DOMAIN
#define PIMLORA_DEFAULT_SITE_DOMAIN ""
#endif

namespace update {
namespace {

std::string Trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace((unsigned char)s[a])) ++a;
    while (b > a && std::isspace((unsigned char)s[b - 1])) --b;
    return s.substr(a, b - a);
}

bool StartsWith(const std::string& s, const char* p) { return s.rfind(p, 0) == 0; }

bool IsAddress(const std::string& host) {
    if (!host.empty() && host[0] == '[') return true;   // IPv6 literal
    if (host.empty()) return false;
    for (char c : host)
        if (!std::isdigit((unsigned char)c) && c != '.') return false;
    return true;
}

// Splits "host[:port]" (host may be a bracketed IPv6 literal).
void SplitHostPort(const std::string& hp, std::string& host, std::string& port) {
    size_t colon;
    if (!hp.empty() && hp[0] == '[') {
        size_t close = hp.find(']');
        colon = close == std::string::npos ? std::string::npos : hp.find(':', close);
    } else {
        colon = hp.find(':');
    }
    host = hp.substr(0, colon);
    port = colon == std::string::npos ? std::string() : hp.substr(colon + 1);
}

std::string EnvOrIni(const EnvLookup& env, const std::string& ini, const char* var, const char* key,
                     const char* fallback) {
    if (const char* v = env(var)) {
        std::string t = Trim(v);
        if (!t.empty()) return t;
    }
    std::string value;
    if (IniValue(ini, key, value) && !value.empty()) return value;
    return fallback;
}

std::vector<std::string> SplitWords(const std::string& s) {
    std::vector<std::string> out;
    std::istringstream in(s);
    std::string w;
    while (in >> w) out.push_back(w);
    return out;
}

std::string EnvValue(const char* name) {
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : std::string();
}

std::string Under(const char* xdgVar, const char* fallback) {
    std::string base = EnvValue("PIMLORA_HOME");
    if (base.empty()) {
        std::string xdg = EnvValue(xdgVar);
        std::string home = EnvValue("HOME");
        if (home.empty()) home = "/tmp";
        base = (xdg.empty() ? home + fallback : xdg) + "/pimlora";
    }
    std::error_code ec;
    std::filesystem::create_directories(base, ec);
    return base;
}

}  // namespace

HostForms MakerServer(const std::string& raw) {
    std::string value = Trim(raw);
    std::string scheme = "http://", rest = value;
    if (StartsWith(value, "https://")) {
        scheme = "https://";
        rest = value.substr(8);
    } else if (StartsWith(value, "http://")) {
        rest = value.substr(7);
    }
    while (!rest.empty() && rest.back() == '/') rest.pop_back();
    size_t slash = rest.find('/');
    std::string hostPort = rest.substr(0, slash);
    std::string path = slash == std::string::npos ? std::string() : rest.substr(slash);
    std::string host, port;
    SplitHostPort(hostPort, host, port);
    HostForms f;
    f.bare = scheme + rest;
    bool same = hostPort.find(':') != std::string::npos || IsAddress(host) || StartsWith(host, "www.") ||
                host.find('.') == std::string::npos;
    f.www = same ? f.bare : scheme + "www." + hostPort + path;
    return f;
}

bool CounterServer(const std::string& raw, CounterUrls& out) {
    std::string value = Trim(raw);
    if (value.empty()) return false;
    std::string host, ports;
    SplitHostPort(value, host, ports);
    if (host.empty()) return false;
    std::string httpPort = ports, ftpPort;
    size_t colon = ports.find(':');
    if (colon != std::string::npos) {
        httpPort = ports.substr(0, colon);
        ftpPort = ports.substr(colon + 1);
    }
    for (const std::string& p : {httpPort, ftpPort}) {
        if (p.size() > 5) return false;
        for (char c : p)
            if (!std::isdigit((unsigned char)c)) return false;
    }
    for (char c : host)
        if (std::isspace((unsigned char)c) || c == '/' || c == '@' || c == '?' || c == '#') return false;
    out.http = "http://" + host + (httpPort.empty() ? "" : ":" + httpPort) + "/vandelore_update.txt";
    out.ftp = "ftp://" + host + (ftpPort.empty() ? "" : ":" + ftpPort) + "/www/vandelore_update.txt";
    return true;
}

bool IniValue(const std::string& ini, const std::string& key, std::string& value) {
    bool found = false;
    size_t pos = 0;
    while (pos <= ini.size()) {
        size_t nl = ini.find('\n', pos);
        std::string line = ini.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        if (line.size() > key.size() && line.compare(0, key.size(), key) == 0 &&
            (line[key.size()] == ' ' || line[key.size()] == '\t')) {
            value = Trim(line.substr(key.size()));
            found = true;
        }
        if (nl == std::string::npos) break;
        pos = nl + 1;
    }
    return found;
}

UpdateConfig LoadConfig(const EnvLookup& env, const std::string& ini) {
    UpdateConfig c;
    c.updateHost = EnvOrIni(env, ini, "PIMLORA_UPDATE_HOST", "UpdateHost", PIMLORA_DEFAULT_UPDATE_HOST);
    c.counterHost = EnvOrIni(env, ini, "PIMLORA_COUNTER_HOST", "CounterHost", PIMLORA_DEFAULT_COUNTER_HOST);
    c.siteDomain = EnvOrIni(env, ini, "PIMLORA_SITE_DOMAIN", "SiteDomain", PIMLORA_DEFAULT_SITE_DOMAIN);
    c.credentialsFile = EnvOrIni(env, ini, "PIMLORA_COUNTER_CREDENTIALS", "CounterCredentials", "");
    std::string t = EnvOrIni(env, ini, "PIMLORA_UPDATE_TIMEOUT", "UpdateTimeout", "3");
    char* end = nullptr;
    long seconds = std::strtol(t.c_str(), &end, 10);
    // A value that is not a positive number keeps the default bound.
    c.timeoutSeconds = (end && *end == '\0' && seconds > 0) ? int(seconds > 3600 ? 3600 : seconds) : 3;
    std::vector<std::string> opener = SplitWords(EnvOrIni(env, ini, "PIMLORA_OPENER", "Opener", "xdg-open"));
    if (!opener.empty()) c.opener = opener;
    return c;
}

UpdateConfig LoadConfig() {
    std::string ini;
    std::ifstream in(ConfigFolder() + "/RoviCon_380.ini", std::ios::binary);
    if (in) {
        // The settings file is small; more than this is not one of ours.
        ini.resize(1 << 16);
        in.read(ini.data(), std::streamsize(ini.size()));
        ini.resize(size_t(in.gcount()));
    }
    return LoadConfig([](const char* name) -> const char* { return std::getenv(name); }, ini);
}

bool ReadCredentials(const std::string& path, std::string& out, std::string* why) {
    auto refuse = [why](const char* reason) {
        if (why) *why = reason;
        return false;
    };
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return refuse("cannot be opened");
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return refuse("not a regular file");
    }
    if (st.st_uid != ::geteuid() || (st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        ::close(fd);
        return refuse("readable or writable by others");
    }
    char buf[1025];
    ssize_t n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (n <= 0 || n >= ssize_t(sizeof buf - 1)) return refuse("empty or too long");
    std::string text(buf, size_t(n));
    text = text.substr(0, text.find('\n'));
    if (!text.empty() && text.back() == '\r') text.pop_back();
    size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0) return refuse("no colon between account and password");
    out = text;
    return true;
}

std::string ConfigFolder() { return Under("XDG_CONFIG_HOME", "/.config"); }
std::string CacheFolder() { return Under("XDG_CACHE_HOME", "/.cache"); }

}  // namespace update
