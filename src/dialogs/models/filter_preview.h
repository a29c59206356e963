// The filter panel's live preview, without a window: while the panel is
// open, a change of filter or value computes the filter on a copy of the
// starting picture (the current layer's previous-state copy) on a worker
// thread. The next change cancels the running preview (its result is never
// shown); the result of the latest change comes back to the user-interface
// thread through `post`, where Show() puts it on the layer by exchanging
// buffers. Nothing is recorded: the panel's "적용" and "닫기" stay the
// commit points.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class CVexoDoc;

namespace filters {

struct PreviewParams {
    std::string name;
    int mode = -1;
    int p[3] = {0, 0, 0};
    bool operator==(const PreviewParams& o) const {
        return name == o.name && mode == o.mode && p[0] == o.p[0] && p[1] == o.p[1] && p[2] == o.p[2];
    }
};

// One finished preview: the layer's new pixels and alpha.
struct PreviewResult {
    uint64_t generation = 0;
    PreviewParams params;
    const CVexoDoc* doc = nullptr;   // only compared, never used from the worker
    int layer = -1;
    const uint8_t* liveId = nullptr;   // the layer's buffer when it was asked for
    int32_t pixelSize = 0, planeSize = 0;
    std::unique_ptr<uint8_t[]> pixels, alpha;
    bool ok = false;
};

class FilterPreview {
public:
    // Hands a function to the user-interface thread; called from the worker.
    using Post = std::function<void(std::function<void()>)>;
    explicit FilterPreview(Post post);
    ~FilterPreview();
    FilterPreview(const FilterPreview&) = delete;
    FilterPreview& operator=(const FilterPreview&) = delete;

    // User-interface thread. Starts a preview of `params` on the document's
    // current layer, from its previous-state copy; a preview still waiting
    // or running is cancelled. False (nothing started) for a layer that
    // cannot be filtered (none, text or balloon, no starting picture).
    bool Request(CVexoDoc& doc, const PreviewParams& params);
    // Cancels every preview asked for so far: none of them is shown.
    void Cancel();
    // The starting picture changed (kept, put back, another document): the
    // next request copies it again.
    void Invalidate();
    // A preview was asked for and its result has not come back yet.
    bool Pending() const { return pending_; }
    // Blocks until the worker has nothing to do (tests and benchmarks).
    void WaitIdle();

    // Called on the user-interface thread: each result of the latest
    // request (stale ones are dropped before), and progress in percent of
    // the latest request (0 when it ended).
    std::function<void(PreviewResult&)> onResult;
    std::function<void(int)> onProgress;

    // Puts a result on the document's layer by exchanging buffers (the
    // layer's former buffers go to the worker to be freed). False, with the
    // layer unchanged, when the layer is no longer the one previewed (another
    // layer, another size, or set up again meanwhile).
    bool Show(CVexoDoc& doc, PreviewResult& result);

    // The parameters whose result is on the layer now (after Show), and
    // whether there is one.
    bool HasShown() const { return hasShown_; }
    const PreviewParams& Shown() const { return shown_; }
    void ForgetShown() { hasShown_ = false; }

private:
    struct Snapshot;
    struct Job;
    struct Shared;
    void Worker();
    void Deliver(std::unique_ptr<PreviewResult> r);
    void Enqueue();
    void CopyStep();

    // The starting picture is copied a few megabytes per event of the
    // interface thread, so that no event takes long.
    std::shared_ptr<Snapshot> building_;
    const CVexoDoc* buildingDoc_ = nullptr;
    size_t copied_ = 0;
    bool stepPosted_ = false;
    PreviewParams wanted_;
    const uint8_t* wantedLive_ = nullptr;
    Post post_;
    std::shared_ptr<Shared> shared_;
    std::shared_ptr<const Snapshot> snapshot_;
    uint64_t generation_ = 0;   // user-interface thread's copy
    bool pending_ = false;
    bool hasShown_ = false;
    PreviewParams shown_;
    std::thread worker_;
};

}  // namespace filters
