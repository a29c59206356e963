// The thumbnail worker: one thread at a time that lists a folder (header
// probes only) and then makes the thumbnail of each listed file in order.
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
        // Item `index` of the list; an empty picture when the file cannot be read.
        std::function<void(int generation, int index, Picture24 thumbnail)> thumbnail;
        // The run is over (count = thumbnails made, stopped = ended by Stop).
        std::function<void(int generation, int count, bool stopped)> finished;
    };

    explicit ThumbnailWorker(Callbacks callbacks);
    ~ThumbnailWorker();
    ThumbnailWorker(const ThumbnailWorker&) = delete;
    ThumbnailWorker& operator=(const ThumbnailWorker&) = delete;

    // Stops a running worker and starts one for this folder and filter;
    // returns the new run's generation.
    int Start(const std::string& folder, const std::string& filter);
    // Sets the stop flag (tested before every file) and waits for the
    // thread to end; nothing crosses back synchronously, so no message
    // pumping is needed while it waits.
    void Stop();
    // Set when a run starts, cleared by the worker at its end.
    bool Running() const { return running_.load(); }
    int Generation() const { return generation_; }

private:
    void Run(int generation, std::string folder, std::string filter);

    Callbacks callbacks_;
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> running_{false};
    int generation_ = 0;
};

}  // namespace browser
