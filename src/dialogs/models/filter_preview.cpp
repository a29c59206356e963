// The filter panel's live preview: one worker thread, the latest request
// wins.
#include "filter_preview.h"

#include <chrono>
#include <cstring>
#include <new>
#include <vector>

#include "CVexoDoc.h"
#include "filter_commands.h"
#include "filter_model.h"
#include "layer_ops.h"

namespace filters {

namespace {
// The operation the document runs for the filter, with the values it does
// not receive passed as 0 (as RunDocumentFilter does).
bool RunFilterOnContext(layerops::LayerOpContext& ctx, const std::string& name, int mode, int p1, int p2, int p3) {
    const int n = Lookup(name, mode).inputs;
    if (n < 3) p3 = 0;
    if (n < 2) p2 = 0;
    if (n < 1) p1 = 0;
    const docfilters::LayerFn op = docfilters::MakeFilterOp(name, mode, p1, p2, p3);
    return op && op(ctx);
}
}  // namespace

// What a preview reads: the starting picture of the layer, the palette and
// outside colour of the document image, and the selection. Immutable once
// made; jobs share it.
struct FilterPreview::Snapshot {
    // (built by the interface thread, read by the worker only once complete)
    const CVexoDoc* doc = nullptr;
    int layer = -1;
    const uint8_t* sourceId = nullptr;   // the previous-state buffer it was copied from
    int32_t pixelSize = 0, planeSize = 0;
    LayerRecord source;
    int bitsPerPixel = 24;
    int imageBits = 24;
    int colours = 0;
    std::vector<RgbQuad> palette;
    int32_t transparentIndex = -1;
    RgbQuad background{0, 0, 0, 0};
    bool useSelection = false;
    SelectionMask selection;
};

struct FilterPreview::Job {
    uint64_t generation = 0;
    const uint8_t* liveId = nullptr;
    PreviewParams params;
    std::shared_ptr<const Snapshot> snapshot;
};

struct FilterPreview::Shared {
    std::mutex mutex;
    std::condition_variable wake, idle;
    std::unique_ptr<Job> job;   // the latest request not yet started
    bool running = false;
    bool stop = false;
    uint64_t generation = 0;    // the latest request; older results are stale
    std::vector<std::unique_ptr<uint8_t[]>> trash;   // buffers to free on the worker
    bool alive = true;          // false once the engine is gone (posted calls check it)
};

namespace {
std::unique_ptr<uint8_t[]> CopyBuffer(const uint8_t* src, int32_t size) {
    std::unique_ptr<uint8_t[]> b(new (std::nothrow) uint8_t[size_t(size)]);
    if (b) std::memcpy(b.get(), src, size_t(size));
    return b;
}
}  // namespace

FilterPreview::FilterPreview(Post post) : post_(std::move(post)), shared_(std::make_shared<Shared>()) {
    worker_ = std::thread([this] { Worker(); });
}

FilterPreview::~FilterPreview() {
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->stop = true;
        shared_->alive = false;
        shared_->job.reset();
        ++shared_->generation;
    }
    shared_->wake.notify_all();
    if (worker_.joinable()) worker_.join();
}

void FilterPreview::Invalidate() {
    snapshot_.reset();
    building_.reset();
}

namespace {
constexpr size_t kCopyStep = size_t(1) << 20;   // bytes copied per interface event
}

bool FilterPreview::Request(CVexoDoc& doc, const PreviewParams& params) {
    const int cur = doc.currentLayer;
    if (!IsValidLayer(cur)) return false;
    const LayerRecord& live = doc.live.layers[cur];
    const LayerRecord& start = doc.prevState.layers[cur];
    if (!live.inUse || live.IsTextKind() || !start.inUse || start.IsTextKind() || !start.pixels || !start.alpha ||
        start.pixelSize != live.pixelSize || start.planeSize != live.planeSize || start.pixelSize <= 0 ||
        start.planeSize <= 0)
        return false;
    if (docfilters::FilterCommandId(params.name) < 0) return false;
    // The running or waiting preview is cancelled.
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->job.reset();
        generation_ = ++shared_->generation;
    }
    wanted_ = params;
    wantedLive_ = live.pixels.get();
    pending_ = true;
    auto fresh = [&](const Snapshot* s) {
        return s && s->doc == &doc && s->layer == cur && s->sourceId == start.pixels.get() &&
               s->pixelSize == start.pixelSize && s->planeSize == start.planeSize &&
               s->useSelection == doc.selectionActive;
    };
    if (fresh(snapshot_.get())) {
        Enqueue();
        return true;
    }
    if (!fresh(building_.get())) {
        auto snap = std::make_shared<Snapshot>();
        snap->doc = &doc;
        snap->layer = cur;
        snap->sourceId = start.pixels.get();
        snap->pixelSize = start.pixelSize;
        snap->planeSize = start.planeSize;
        static_cast<LayerRecordData&>(snap->source) = start;
        snap->source.pixels.reset(new (std::nothrow) uint8_t[size_t(start.pixelSize)]);
        snap->source.alpha.reset(new (std::nothrow) uint8_t[size_t(start.planeSize)]);
        if (!snap->source.pixels || !snap->source.alpha) {
            pending_ = false;
            return false;
        }
        snap->bitsPerPixel = doc.live.canvas.bitsPerPixel > 0 ? doc.live.canvas.bitsPerPixel : 24;
        snap->imageBits = doc.image.BitCount() <= 8 && doc.image.BitCount() > 0 ? 8 : 24;
        snap->colours = doc.image.ColorsUsed();
        if (const RgbQuad* pal = doc.image.GetPalette(); pal && snap->colours > 0)
            snap->palette.assign(pal, pal + std::min(snap->colours, 256));
        snap->transparentIndex = doc.image.info.transparentIndex;
        snap->background = doc.image.info.backgroundColor;
        snap->useSelection = doc.selectionActive;
        if (snap->useSelection) snap->selection = doc.live.selection;
        building_ = std::move(snap);
        buildingDoc_ = &doc;
        copied_ = 0;
    }
    snapshot_.reset();
    CopyStep();
    return true;
}

void FilterPreview::CopyStep() {
    stepPosted_ = false;
    if (!building_) return;
    Snapshot& s = *building_;
    // The source must still be what the copy started from.
    CVexoDoc& doc = *const_cast<CVexoDoc*>(buildingDoc_);
    const LayerRecord* start = IsValidLayer(s.layer) ? &doc.prevState.layers[s.layer] : nullptr;
    if (!start || start->pixels.get() != s.sourceId || start->pixelSize != s.pixelSize ||
        start->planeSize != s.planeSize || !start->alpha) {
        building_.reset();
        pending_ = false;
        return;
    }
    const size_t total = size_t(s.pixelSize) + size_t(s.planeSize);
    const size_t end = std::min(total, copied_ + kCopyStep);
    while (copied_ < end) {
        if (copied_ < size_t(s.pixelSize)) {
            const size_t n = std::min(end, size_t(s.pixelSize)) - copied_;
            std::memcpy(s.source.pixels.get() + copied_, start->pixels.get() + copied_, n);
            copied_ += n;
        } else {
            const size_t at = copied_ - size_t(s.pixelSize);
            const size_t n = end - copied_;
            std::memcpy(s.source.alpha.get() + at, start->alpha.get() + at, n);
            copied_ += n;
        }
    }
    if (copied_ < total) {
        // The rest in later events; the engine may be gone by then.
        stepPosted_ = true;
        std::weak_ptr<Shared> weak = shared_;
        post_([this, weak] {
            auto s2 = weak.lock();
            if (s2 && s2->alive) CopyStep();
        });
        return;
    }
    snapshot_ = std::move(building_);
    building_.reset();
    if (pending_) Enqueue();
}

void FilterPreview::Enqueue() {
    if (!snapshot_) return;
    auto job = std::make_unique<Job>();
    job->params = wanted_;
    job->liveId = wantedLive_;
    job->snapshot = snapshot_;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        job->generation = generation_;
        if (generation_ != shared_->generation) return;   // cancelled meanwhile
        shared_->job = std::move(job);
    }
    shared_->wake.notify_all();
}

void FilterPreview::Cancel() {
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->job.reset();
        generation_ = ++shared_->generation;
    }
    if (pending_ && onProgress) onProgress(0);
    pending_ = false;
}

void FilterPreview::WaitIdle() {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    shared_->idle.wait(lock, [this] { return !shared_->job && !shared_->running; });
}

void FilterPreview::Worker() {
    std::shared_ptr<Shared> sh = shared_;
    for (;;) {
        std::unique_ptr<Job> job;
        std::vector<std::unique_ptr<uint8_t[]>> freed;
        {
            std::unique_lock<std::mutex> lock(sh->mutex);
            sh->running = false;
            sh->idle.notify_all();
            sh->wake.wait(lock, [&] { return sh->stop || sh->job || !sh->trash.empty(); });
            if (sh->stop) return;
            freed.swap(sh->trash);
            if (sh->job) {
                job = std::move(sh->job);
                sh->running = true;
            }
        }
        freed.clear();   // outside the lock: large blocks take a while
        if (!job) continue;
        const Snapshot& s = *job->snapshot;
        auto result = std::make_unique<PreviewResult>();
        result->generation = job->generation;
        result->params = job->params;
        result->doc = s.doc;
        result->layer = s.layer;
        result->liveId = job->liveId;
        result->pixelSize = s.pixelSize;
        result->planeSize = s.planeSize;
        result->pixels = CopyBuffer(s.source.pixels.get(), s.pixelSize);
        result->alpha = CopyBuffer(s.source.alpha.get(), s.planeSize);
        if (result->pixels && result->alpha) {
            // A document image of its own: the filters read its palette and
            // outside colour and write their progress into it.
            VaZavi image(kTypeBMP);
            image.Create(s.imageBits, 1, 1, kTypeBMP);
            if (s.imageBits == 8) {
                image.header.clrUsed = uint32_t(std::min(std::max(s.colours, 0), 256));
                if (!s.palette.empty()) image.SetPalette(s.palette.data(), int(s.palette.size()));
            }
            image.info.transparentIndex = s.transparentIndex;
            image.info.backgroundColor = s.background;
            const uint64_t gen = job->generation;
            auto last = std::chrono::steady_clock::now();
            int lastPercent = -100;
            image.progressWindow = [this, sh, gen, &last, &lastPercent](int percent) {
                const auto now = std::chrono::steady_clock::now();
                if (percent != 0 && percent - lastPercent < 5 && now - last < std::chrono::milliseconds(100)) return;
                last = now;
                lastPercent = percent;
                if (percent == 0) return;   // the end is reported with the result
                std::weak_ptr<Shared> weak = sh;
                post_([this, weak, gen, percent] {
                    auto s2 = weak.lock();
                    if (!s2 || !s2->alive || gen != generation_) return;
                    if (onProgress) onProgress(percent);
                });
            };
            layerops::LayerOpContext ctx;
            ctx.image = &image;
            ctx.layer = const_cast<LayerRecord*>(&s.source);   // read only
            ctx.bitsPerPixel = s.bitsPerPixel;
            ctx.outPixels = result->pixels.get();
            ctx.outAlpha = result->alpha.get();
            ctx.selection = s.useSelection ? &s.selection : nullptr;
            result->ok = RunFilterOnContext(ctx, job->params.name, job->params.mode, job->params.p[0],
                                            job->params.p[1], job->params.p[2]);
        }
        {
            std::lock_guard<std::mutex> lock(sh->mutex);
            if (result->generation != sh->generation) continue;   // cancelled meanwhile
        }
        std::weak_ptr<Shared> weak = sh;
        // The result travels as a shared pointer: the posted function may be
        // copied by the queue that carries it.
        std::shared_ptr<PreviewResult> carried(result.release());
        post_([this, weak, carried] {
            auto s2 = weak.lock();
            if (!s2 || !s2->alive) return;
            Deliver(std::make_unique<PreviewResult>(std::move(*carried)));
        });
    }
}

void FilterPreview::Deliver(std::unique_ptr<PreviewResult> r) {
    if (r->generation != generation_) return;   // a later request replaced it
    pending_ = false;
    if (onProgress) onProgress(0);
    if (onResult) onResult(*r);
    // Buffers nobody took are freed on the worker.
    std::lock_guard<std::mutex> lock(shared_->mutex);
    if (r->pixels) shared_->trash.push_back(std::move(r->pixels));
    if (r->alpha) shared_->trash.push_back(std::move(r->alpha));
    shared_->wake.notify_all();
}

bool FilterPreview::Show(CVexoDoc& doc, PreviewResult& r) {
    if (!r.ok || r.doc != &doc || r.layer != doc.currentLayer || !IsValidLayer(r.layer)) return false;
    LayerRecord& L = doc.live.layers[r.layer];
    if (!L.inUse || L.IsTextKind() || L.pixels.get() != r.liveId || L.pixelSize != r.pixelSize ||
        L.planeSize != r.planeSize || !r.pixels || !r.alpha)
        return false;
    std::swap(L.pixels, r.pixels);
    std::swap(L.alpha, r.alpha);
    shown_ = r.params;
    hasShown_ = true;
    doc.viewRebuild = true;
    doc.Host().UpdateViews(doc, true);
    return true;
}

}  // namespace filters
