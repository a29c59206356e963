#include "thumbnail_worker.h"

#include <algorithm>
#include <cerrno>

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include "folder_listing.h"

namespace browser {

ThumbnailWorker::ThumbnailWorker(Callbacks callbacks) : callbacks_(std::move(callbacks)) {}

ThumbnailWorker::~ThumbnailWorker() { Stop(); }

int ThumbnailWorker::Start(const std::string& folder, const std::string& filter) {
    Stop();
    const int generation = ++generation_;
    stopRequested_ = false;
    running_ = true;
    thread_ = std::thread(&ThumbnailWorker::Run, this, generation, folder, filter);
    return generation;
}

void ThumbnailWorker::Stop() {
    if (!thread_.joinable()) return;
    stopRequested_ = true;
    thread_.join();
    stopRequested_ = false;
}

void ThumbnailWorker::Run(int generation, std::string folder, std::string filter) {
#if defined(__linux__)
    // Below the user-interface thread: on a busy machine the thumbnails wait,
    // not the window. (On Linux a thread's nice value is its own.)
    const id_t self = id_t(syscall(SYS_gettid));
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, self);
    if (errno == 0 && nice < 19) setpriority(PRIO_PROCESS, self, std::min(19, nice + 5));
#endif
    std::vector<std::string> names = ListPictures(folder, filter, &stopRequested_);
    const bool listedAll = !stopRequested_.load();
    if (listedAll && callbacks_.listed) callbacks_.listed(generation, names);
    int made = 0;
    if (listedAll) {
        for (size_t i = 0; i < names.size(); ++i) {
            if (stopRequested_.load()) break;
            Picture24 thumb = ThumbnailOfFile(JoinPath(folder, names[i]));
            if (stopRequested_.load()) break;
            if (callbacks_.thumbnail) callbacks_.thumbnail(generation, int(i), std::move(thumb));
            ++made;
        }
    }
    const bool stopped = stopRequested_.load();
    running_ = false;
    if (callbacks_.finished) callbacks_.finished(generation, made, stopped);
}

}  // namespace browser
