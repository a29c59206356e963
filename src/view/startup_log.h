// The start-up log: with PIMLORA_PAINT_LOG set, the editor prints to the
// standard error how long after the process start each stage of its start
// was reached ("start-up: STAGE N ms"), and its first paint.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>

namespace startuplog {

inline bool On() {
    static const bool on = std::getenv("PIMLORA_PAINT_LOG") != nullptr;
    return on;
}

// Milliseconds since this process started (the kernel's start time of the
// process, in clock ticks since boot, against the boot-time clock); -1 when
// unknown. The start is the first exec: the restart for huge pages keeps it.
inline double MsSinceProcessStart() {
    std::ifstream in("/proc/self/stat");
    const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) return -1;
    // Field 22 (starttime); the fields after the name start at field 3.
    const char* p = stat.c_str() + close + 1;
    unsigned long long start = 0;
    for (int field = 3; field <= 22 && *p; ++field) {
        while (*p == ' ') ++p;
        if (field == 22) start = std::strtoull(p, nullptr, 10);
        while (*p && *p != ' ') ++p;
    }
    timespec now{};
    if (!start || clock_gettime(CLOCK_BOOTTIME, &now) != 0) return -1;
    const double ticks = double(sysconf(_SC_CLK_TCK));
    return (double(now.tv_sec) + double(now.tv_nsec) * 1e-9 - double(start) / ticks) * 1000.0;
}

inline void Stage(const char* stage) {
    if (On()) std::fprintf(stderr, "start-up: %s %.0f ms\n", stage, MsSinceProcessStart());
}

}  // namespace startuplog
