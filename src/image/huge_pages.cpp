#include "huge_pages.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

bool KernelOffersHugePages() {
    std::ifstream f("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string line;
    if (!std::getline(f, line)) return false;
    return line.find("[always]") != std::string::npos || line.find("[madvise]") != std::string::npos;
}

}  // namespace

void RestartWithHugePages(char** argv) {
    constexpr const char* kTunable = "glibc.malloc.hugetlb";
    const char* off = std::getenv("PIMLORA_NO_HUGEPAGES");
    if (off && *off && std::strcmp(off, "0") != 0) return;
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    // Already restarted (or the user chose a setting of their own).
    if (tunables && std::strstr(tunables, kTunable)) return;
    if (!argv || !argv[0] || !KernelOffersHugePages()) return;
    std::string value = tunables && *tunables ? std::string(tunables) + ":" : std::string();
    value += std::string(kTunable) + "=1";
    if (setenv("GLIBC_TUNABLES", value.c_str(), 1) != 0) return;
    execv("/proc/self/exe", argv);
    // Could not restart: go on with ordinary pages, and keep the tunable out
    // of any program we start later.
    if (tunables) setenv("GLIBC_TUNABLES", tunables, 1);
    else unsetenv("GLIBC_TUNABLES");
}
