// The thumbnail worker: one run at a time that lists a folder (header
// probes only) and then makes the thumbnail of each listed file on two
// threads (one per core, at most two), which take the items in list order
// (the first ones are the visible ones when a folder is shown), except that
// the items the list says are in view go first.
// It never touches a window: everything it finds goes to the callbacks,
// which run on the worker thread and must only hand the result over to the
// user-interface thread (wxEvtHandler::CallAfter, a queue...). Each run
// carries a generation number; the receiver drops results of any
// generation but the current one, so nothing of a folder left behind can
// reach the list of the next one, even when it was already on its way.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "thumbnail.h"

namespace browser {

class ThumbnailWorker {
public:
    struct Callbacks {
        // The files of the folder, once listed, before the first thumbnail.
        std::function<void(int generation, std::vector<std::string> names)> listed;
        // Item `index` of the list; an empty picture when the file cannot be
        // read. Called on either thread, each index once, in no fixed order.
        std::function<void(int generation, int index, Picture24 thumbnail)> thumbnail;
        // The run is over, both threads done (count = thumbnails made,
        // stopped = ended by Stop); nothing of the run follows it.
        std::function<void(int generation, int count, bool stopped)> finished;
    };

    // threads: how many make thumbnails; 0 for one per core, at most two.
    explicit ThumbnailWorker(Callbacks callbacks, int threads = 0);
    ~ThumbnailWorker();
    ThumbnailWorker(const ThumbnailWorker&) = delete;
    ThumbnailWorker& operator=(const ThumbnailWorker&) = delete;

    // Stops a running worker and starts one for this folder and filter;
    // returns the new run's generation.
    int Start(const std::string& folder, const std::string& filter);
    // Sets the stop flag (tested before every file) and waits for the
    // threads to end; nothing crosses back synchronously, so no message
    // pumping is needed while it waits.
    void Stop();
    // Set when a run starts, cleared by the worker at its end.
    bool Running() const { return running_.load(); }
    int Generation() const { return generation_; }
    int Threads() const { return threads_; }
    // The items now in view (first..last, list indices); they are made
    // before the others still waiting. Any thread may call it at any time.
    void SetVisibleRange(int first, int last);

private:
    struct Job;
    void Run(int generation, std::string folder, std::string filter);
    void MakeThumbnails(Job& job);
    int NextItem(Job& job);

    Callbacks callbacks_;
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> running_{false};
    std::atomic<int> visibleFirst_{0}, visibleLast_{-1};
    int generation_ = 0;
    int threads_ = 1;
};

}  // namespace browser
