#include "open_prefetch.h"

#include <sys/stat.h>

#include <array>
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
};

std::mutex gMutex;
std::unique_ptr<Ahead> gAhead;

std::unique_ptr<Ahead> Finish(std::unique_ptr<Ahead> a) {
    if (a && a->worker.joinable()) a->worker.join();
    return a;
}

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
            if (!raw->decoded) raw->picture.reset();
            raw->after = FileId::Of(path);
            // The layer the open makes of the picture, while the main thread
            // is still building the window; the open fills it itself when
            // this fails.
            if (raw->decoded && raw->after == raw->before) {
                try {
                    PrepareLayer(*raw->picture, raw->layer);
                } catch (...) {
                    raw->layer = PreparedLayer{};
                }
            }
        });
    } catch (const std::system_error&) {
        return;   // no thread: the open decodes as always
    }
    std::lock_guard<std::mutex> lock(gMutex);
    gAhead = std::move(a);
}

bool Take(const std::string& path, int kind, VaZavi& out, PreparedLayer* layer) {
    std::unique_ptr<Ahead> a;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        a = std::move(gAhead);
    }
    if (!a) return false;
    a = Finish(std::move(a));
    const FileId now = FileId::Of(path);
    if (!a->decoded || !a->picture || a->kind != kind || !(a->before == now) || !(a->after == now)) return false;
    for (const auto& [w, h, bits] : a->allocations)
        if (std::string message; !ScopedPictureGate::Allows(w, h, bits, message)) return false;
    out.Transfer(*a->picture);
    if (layer) *layer = std::move(a->layer);
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

bool Pending() {
    std::lock_guard<std::mutex> lock(gMutex);
    return gAhead != nullptr;
}

}  // namespace openahead
