#include "version_info.h"

#include <cctype>
#include <climits>
#include <cstdio>

#ifndef PIMLORA_VERSION_NUMBER
#error "PIMLORA_VERSION_NUMBER comes from the build"
#endif

namespace update {

int CompiledVersion() { return PIMLORA_VERSION_NUMBER; }

int LeadingNumber(const char* s, size_t n) {
    size_t i = 0;
    while (i < n && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    long long v = 0;
    for (; i < n && std::isdigit((unsigned char)s[i]); ++i) {
        v = v * 10 + (s[i] - '0');
        if (v > (long long)INT_MAX + 1) v = (long long)INT_MAX + 1;   // stays clamped
    }
    if (negative) v = -v;
    if (v > INT_MAX) v = INT_MAX;
    if (v < INT_MIN) v = INT_MIN;
    return int(v);
}

long long Scaled(int version) { return (long long)version * 100; }

UpdateCheckResult Compare(long long current, long long online) {
    return current < online ? UpdateAvailable : UpToDate;
}

std::string NewVersionText(long long onlineScaled) {
    long long v = onlineScaled / 100;
    char buf[64];
    std::snprintf(buf, sizeof buf, "신버전 %lld.%lld", v / 100, v % 100);
    return buf;
}

std::string InstallerFileName(int version) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "setup_pimlora_%3d.exe", version);
    return buf;
}

std::string FindSha256(const std::string& text) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string line = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        pos = nl == std::string::npos ? text.size() : nl + 1;
        size_t a = 0;
        while (a < line.size() && std::isspace((unsigned char)line[a])) ++a;
        if (line.compare(a, 7, "sha256=") != 0) continue;
        std::string hex;
        size_t i = a + 7;
        for (; i < line.size() && std::isxdigit((unsigned char)line[i]); ++i)
            hex.push_back(char(std::tolower((unsigned char)line[i])));
        while (i < line.size() && std::isspace((unsigned char)line[i])) ++i;
        if (hex.size() == 64 && i == line.size()) return hex;
    }
    return {};
}

int ProgressPercent(unsigned long long done, unsigned long long total) {
    if (total == 0) return 0;
    double p = double(done) / double(total) * 100.0;
    if (p > 100.0) p = 100.0;
    return int(p);
}

std::string ProgressText(unsigned long long done, unsigned long long total) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "진행률 %d 퍼센트(%llu K바이트)", ProgressPercent(done, total), done / 1024);
    return buf;
}

}  // namespace update
