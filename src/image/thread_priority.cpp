#include "thread_priority.h"

#include <algorithm>
#include <cerrno>

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace threadprio {

void LowerThisThread(int steps) {
#if defined(__linux__)
    const id_t self = id_t(syscall(SYS_gettid));
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, self);
    if (errno == 0 && nice < 19) setpriority(PRIO_PROCESS, self, std::min(19, nice + steps));
#else
    (void)steps;
#endif
}

}  // namespace threadprio
