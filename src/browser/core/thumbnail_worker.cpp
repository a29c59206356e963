#include "thumbnail_worker.h"

#include <algorithm>
#include <memory>

#include "folder_listing.h"
#include "thread_priority.h"

namespace browser {

namespace {

// Below the user-interface thread: on a busy machine the thumbnails wait,
// not the window.
void LowerThisThread() { threadprio::LowerThisThread(5); }

}  // namespace

// One run's items: who takes which.
struct ThumbnailWorker::Job {
    int generation = 0;
    std::string folder;
    std::vector<std::string> names;
    std::unique_ptr<std::atomic<bool>[]> taken;
    std::atomic<size_t> next{0};   // the first item in list order not yet looked at
    std::atomic<int> made{0};
};

ThumbnailWorker::ThumbnailWorker(Callbacks callbacks, int threads) : callbacks_(std::move(callbacks)) {
    if (threads <= 0) threads = int(std::min(2u, std::max(1u, std::thread::hardware_concurrency())));
    threads_ = std::max(1, threads);
}

void ThumbnailWorker::SetVisibleRange(int first, int last) {
    visibleFirst_ = first;
    visibleLast_ = last;
}

ThumbnailWorker::~ThumbnailWorker() { Stop(); }

int ThumbnailWorker::Start(const std::string& folder, const std::string& filter) {
    Stop();
    const int generation = ++generation_;
    stopRequested_ = false;
    visibleFirst_ = 0;
    visibleLast_ = -1;
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

int ThumbnailWorker::NextItem(Job& job) {
    const int count = int(job.names.size());
    const int first = std::max(0, visibleFirst_.load()), last = std::min(count - 1, visibleLast_.load());
    for (int i = first; i <= last; ++i)
        if (!job.taken[size_t(i)].exchange(true)) return i;
    for (;;) {
        const size_t i = job.next++;
        if (i >= job.names.size()) return -1;
        if (!job.taken[i].exchange(true)) return int(i);
    }
}

void ThumbnailWorker::MakeThumbnails(Job& job) {
    for (;;) {
        if (stopRequested_.load()) return;
        const int i = NextItem(job);
        if (i < 0) return;
        Picture24 thumb = ThumbnailOfFile(JoinPath(job.folder, job.names[size_t(i)]));
        if (stopRequested_.load()) return;
        if (callbacks_.thumbnail) callbacks_.thumbnail(job.generation, i, std::move(thumb));
        ++job.made;
    }
}

void ThumbnailWorker::Run(int generation, std::string folder, std::string filter) {
    LowerThisThread();
    Job job;
    job.generation = generation;
    job.folder = folder;
    job.names = ListPictures(folder, filter, &stopRequested_);
    const bool listedAll = !stopRequested_.load();
    if (listedAll && callbacks_.listed) callbacks_.listed(generation, job.names);
    if (listedAll) {
        job.taken = std::make_unique<std::atomic<bool>[]>(job.names.size());
        std::vector<std::thread> helpers;
        for (int t = 1; t < threads_ && size_t(t) < job.names.size(); ++t)
            helpers.emplace_back([this, &job] {
                LowerThisThread();
                MakeThumbnails(job);
            });
        MakeThumbnails(job);
        for (std::thread& h : helpers) h.join();
    }
    const bool stopped = stopRequested_.load();
    running_ = false;
    if (callbacks_.finished) callbacks_.finished(generation, job.made.load(), stopped);
}

}  // namespace browser
