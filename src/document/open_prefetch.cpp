#include "open_prefetch.h"

#include <sys/stat.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "VaZavi.h"
#include "memory_budget.h"
#include "picture_gate.h"
#include "prepared_layer.h"

namespace openahead {

namespace {

// What identifies the file's contents for the open: a file replaced,
// rewritten or touched in between is read again.
struct FileId {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    timespec mtime{};
    bool ok = false;

    static FileId Of(const std::string& path) {
        FileId id;
        struct stat st;
        if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return id;
        id.dev = st.st_dev;
        id.ino = st.st_ino;
        id.size = st.st_size;
        id.mtime = st.st_mtim;
        id.ok = true;
        return id;
    }
    bool operator==(const FileId& o) const {
        return ok && o.ok && dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec;
    }
};

struct Ahead {
    std::thread worker;
    // Whether the layer's fill has started (the open's thread may then
    // share it) or the worker is past the point where it could.
    enum class Stage { Decoding, Filling, Finished };
    std::mutex mutex;
    std::condition_variable changed;
    Stage stage = Stage::Decoding;
    LayerFill fill;
    using Clock = std::chrono::steady_clock;
    Clock::time_point begun, decodedAt;   // written by the worker
    int kind = -1;
    FileId before;   // taken before the decode starts
    // Written by the worker only; read after it is joined.
    std::unique_ptr<VaZavi> picture;
    PreparedLayer layer;
    FileId after;
    bool decoded = false;
    // Every picture the decode allocated (width, height, bits): the open's
    // gate is asked about each, as if the open had decoded the file.
    std::vector<std::array<int, 3>> allocations;

    ~Ahead() {
        if (worker.joinable()) worker.join();
    }

    // The stage once the decode is over (the worker's writes before it are
    // seen from here on).
    Stage AfterDecode() {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return stage != Stage::Decoding; });
        return stage;
    }

    void Reach(Stage s) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stage = s;
        }
        changed.notify_all();
    }
};

std::mutex gMutex;
std::unique_ptr<Ahead> gAhead;
Timings gLast;   // under gMutex

double Ms(Ahead::Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Waits for the worker; with `help`, the calling thread shares the layer's
// fill. The fill's outcome is taken once both have returned from it.
std::unique_ptr<Ahead> Finish(std::unique_ptr<Ahead> a, bool help = false) {
    if (!a) return a;
    if (help && a->AfterDecode() == Ahead::Stage::Filling) a->fill.Help();
    if (a->worker.joinable()) a->worker.join();
    if (a->layer.Ready() && !a->fill.Finish()) a->layer = PreparedLayer{};
    return a;
}

// The fill of a layer handed out before it was done: finished by the thread
// that settles the document's layers, or when dropped.
class AheadFill final : public PendingFill {
public:
    explicit AheadFill(std::unique_ptr<Ahead> a) : a_(std::move(a)) {}
    ~AheadFill() override { Finish(); }
    PreparedLayer Finish() override {
        if (!a_) return PreparedLayer{};
        std::unique_ptr<Ahead> a = openahead::Finish(std::move(a_), true);
        const double fillMs = Ms(Ahead::Clock::now() - a->decodedAt);
        {
            std::lock_guard<std::mutex> lock(gMutex);
            gLast.fillMs = a->layer.Ready() ? fillMs : -1.0;
        }
        return std::move(a->layer);
    }

private:
    std::unique_ptr<Ahead> a_;
};

}  // namespace

void Start(const std::string& path, int64_t budgetBytes) {
    Drop();
    const int kind = PictureKind(path);
    if (kind < 0) return;
    auto a = std::make_unique<Ahead>();
    a->kind = kind;
    a->before = FileId::Of(path);
    if (!a->before.ok) return;   // missing or not a regular file: the open says so
    a->picture = std::make_unique<VaZavi>(kind);
    Ahead* raw = a.get();
    try {
        raw->worker = std::thread([raw, path, budgetBytes] {
            raw->begun = Ahead::Clock::now();
            try {
                // The open's own gate sees the configured budget and the other
                // documents; this one only keeps a huge picture from being
                // decoded ahead at all.
                const ScopedPictureGate gate([raw, budgetBytes](int w, int h, int bits, std::string&) {
                    raw->allocations.push_back({w, h, bits});
                    return docmem::PictureWorkingSet(w, h, bits) <= budgetBytes;
                });
                raw->decoded = raw->picture->Load(path.c_str(), raw->kind) && raw->picture->IsValid();
            } catch (...) {
                raw->decoded = false;
            }
            raw->decodedAt = Ahead::Clock::now();
            if (!raw->decoded) raw->picture.reset();
            raw->after = FileId::Of(path);
            // The layer the open makes of the picture, while the main thread
            // is still building the window (the open's thread helps once it
            // gets there); the open fills it itself when this fails.
            bool filling = false;
            if (raw->decoded && raw->after == raw->before) {
                filling = raw->fill.Start(*raw->picture, raw->layer);
                if (filling) raw->Reach(Ahead::Stage::Filling);
                if (filling) raw->fill.Help();
            }
            if (!filling) raw->Reach(Ahead::Stage::Finished);
        });
    } catch (const std::system_error&) {
        return;   // no thread: the open decodes as always
    }
    std::lock_guard<std::mutex> lock(gMutex);
    gAhead = std::move(a);
}

bool Take(const std::string& path, int kind, VaZavi& out, PreparedLayer* layer,
          std::unique_ptr<PendingFill>* pending) {
    std::unique_ptr<Ahead> a;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        a = std::move(gAhead);
    }
    if (!a) return false;
    const auto waitFrom = Ahead::Clock::now();
    // A fill that has begun reads the picture's rows through their address
    // (24 bits) and cannot fail any more: it may go on while the picture
    // is shown.
    const bool later = pending && a->AfterDecode() == Ahead::Stage::Filling && a->picture &&
                       a->picture->BitCount() == 24;
    if (!later) a = Finish(std::move(a), true);
    const auto end = Ahead::Clock::now();
    {
        std::lock_guard<std::mutex> lock(gMutex);
        gLast = Timings{Ms(a->decodedAt - a->begun), !later && a->layer.Ready() ? Ms(end - a->decodedAt) : -1.0,
                        Ms(end - waitFrom), later};
    }
    const FileId now = FileId::Of(path);
    if (!a->decoded || !a->picture || a->kind != kind || !(a->before == now) || !(a->after == now)) return false;
    for (const auto& [w, h, bits] : a->allocations)
        if (std::string message; !ScopedPictureGate::Allows(w, h, bits, message)) return false;
    if (!out.Transfer(*a->picture)) return false;
    if (later)
        *pending = std::make_unique<AheadFill>(std::move(a));
    else if (layer)
        *layer = std::move(a->layer);
    return out.IsValid();
}

void Drop() {
    std::unique_ptr<Ahead> a;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        a = std::move(gAhead);
    }
    Finish(std::move(a));
}

Timings LastTimings() {
    std::lock_guard<std::mutex> lock(gMutex);
    return gLast;
}

bool Pending() {
    std::lock_guard<std::mutex> lock(gMutex);
    return gAhead != nullptr;
}

}  // namespace openahead
