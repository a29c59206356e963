// The thumbnail worker: every listed file gets its thumbnail in order, a new
// folder stops the running worker first, and the receiver's generation check
// keeps every result of a folder left behind out of the next folder's list,
// even those already on their way.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <algorithm>
#include <thread>
#include <variant>

#include "VaZavi.h"
#include "test_support.h"
#include "thumbnail_worker.h"

using namespace browser;
using testsupport::TempDir;

namespace {

// What a window receives: the callbacks only queue (as CallAfter does) and
// the "user-interface thread" of the test takes the queue in order.
struct Listed {
    int generation;
    std::vector<std::string> names;
};
struct Thumb {
    int generation, index;
    Picture24 picture;
};
struct Finished {
    int generation, count;
    bool stopped;
};
using Event = std::variant<Listed, Thumb, Finished>;

class Inbox {
public:
    ThumbnailWorker::Callbacks Callbacks() {
        return {[this](int g, std::vector<std::string> n) { Push(Listed{g, std::move(n)}); },
                [this](int g, int i, Picture24 p) {
                    Push(Thumb{g, i, std::move(p)});
                    if (thumbDelay.count() > 0) std::this_thread::sleep_for(thumbDelay);
                },
                [this](int g, int c, bool s) { Push(Finished{g, c, s}); }};
    }
    void Push(Event e) {
        std::lock_guard<std::mutex> lock(m_);
        q_.push_back(std::move(e));
        cv_.notify_all();
    }
    // Waits for the next event (the worker always ends with Finished).
    Event Take() {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [this] { return !q_.empty(); });
        Event e = std::move(q_.front());
        q_.pop_front();
        return e;
    }
    // Waits until n thumbnails of generation g have been queued.
    void WaitForThumbs(int g, int n) {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [&] {
            int k = 0;
            for (const Event& e : q_)
                if (auto* t = std::get_if<Thumb>(&e); t && t->generation == g) ++k;
            return k >= n;
        });
    }

    // A slow receiver (the worker waits this long after each thumbnail), so
    // that a run is surely still going when a test stops it.
    std::chrono::milliseconds thumbDelay{0};

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<Event> q_;
};

// A folder of n pictures of one colour (blue, green, red).
void Folder(const TempDir& dir, int n, uint8_t b, uint8_t g, uint8_t r, const std::string& prefix) {
    VaZavi img(24, 64, 48, kTypeBMP);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            uint8_t* p = img.Row(y) + 3 * x;
            p[0] = b, p[1] = g, p[2] = r;
        }
    for (int i = 0; i < n; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "%s%03d.bmp", prefix.c_str(), i);
        ASSERT_TRUE(img.Save(dir.File(name).c_str(), kTypeBMP));
    }
}

bool IsRed(const Picture24& p) { return !p.Empty() && p.At(50, 45)[2] == 255 && p.At(50, 45)[0] == 0; }

}  // namespace

TEST(ThumbnailWorker, ListsThenMakesEveryThumbnailOnceOnBothThreads) {
    TempDir dir;
    Folder(dir, 40, 0, 0, 255, "r");
    testsupport::WriteBytes(dir.File("zz.jpg"), {1, 2, 3});   // not listed
    for (int threads : {1, 2}) {
        Inbox inbox;
        std::mutex m;
        std::set<std::thread::id> makers;
        ThumbnailWorker::Callbacks callbacks = inbox.Callbacks();
        auto queue = callbacks.thumbnail;
        callbacks.thumbnail = [&](int g, int i, Picture24 p) {
            {
                std::lock_guard<std::mutex> lock(m);
                makers.insert(std::this_thread::get_id());
            }
            queue(g, i, std::move(p));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        };
        ThumbnailWorker worker(callbacks, threads);
        EXPECT_EQ(worker.Threads(), threads);
        const int g = worker.Start(dir.Path(), "모든이미지형식");
        Event e = inbox.Take();
        ASSERT_TRUE(std::holds_alternative<Listed>(e));
        EXPECT_EQ(std::get<Listed>(e).generation, g);
        ASSERT_EQ(std::get<Listed>(e).names.size(), 40u);
        EXPECT_EQ(std::get<Listed>(e).names.front(), "r000.bmp");
        std::vector<int> seen(40, 0);
        for (int i = 0; i < 40; ++i) {
            e = inbox.Take();
            ASSERT_TRUE(std::holds_alternative<Thumb>(e)) << "thumbnail " << i;
            const Thumb& t = std::get<Thumb>(e);
            ASSERT_GE(t.index, 0);
            ASSERT_LT(t.index, 40);
            ++seen[size_t(t.index)];
            EXPECT_TRUE(IsRed(t.picture));
        }
        for (int i = 0; i < 40; ++i) EXPECT_EQ(seen[size_t(i)], 1) << "item " << i;
        // Finished comes after every thumbnail of both threads.
        e = inbox.Take();
        ASSERT_TRUE(std::holds_alternative<Finished>(e));
        EXPECT_EQ(std::get<Finished>(e).count, 40);
        EXPECT_FALSE(std::get<Finished>(e).stopped);
        worker.Stop();
        EXPECT_FALSE(worker.Running());
        EXPECT_EQ(int(makers.size()), threads);
    }
}

TEST(ThumbnailWorker, ItemsInViewGoFirst) {
    TempDir dir;
    Folder(dir, 200, 0, 0, 255, "r");
    Inbox inbox;
    inbox.thumbDelay = std::chrono::milliseconds(5);
    ThumbnailWorker worker(inbox.Callbacks(), 1);
    const int g = worker.Start(dir.Path(), "bmp");
    inbox.WaitForThumbs(g, 1);
    worker.SetVisibleRange(150, 159);   // scrolled down
    std::vector<int> order;
    for (;;) {
        Event e = inbox.Take();
        if (auto* t = std::get_if<Thumb>(&e)) order.push_back(t->index);
        if (std::holds_alternative<Finished>(e)) break;
    }
    ASSERT_EQ(order.size(), 200u);
    // At most the item being made and the one after it before the ten in view.
    std::vector<int> soon(order.begin(), order.begin() + 13);
    for (int i = 150; i < 160; ++i) EXPECT_NE(std::find(soon.begin(), soon.end(), i), soon.end()) << i;
    std::sort(order.begin(), order.end());
    for (int i = 0; i < 200; ++i) EXPECT_EQ(order[size_t(i)], i);
}

TEST(ThumbnailWorker, NewFolderDuringARunNeverShowsTheOldFolder) {
    TempDir red, blue;
    Folder(red, 300, 0, 0, 255, "r");
    Folder(blue, 5, 255, 0, 0, "b");
    Inbox inbox;
    ThumbnailWorker worker(inbox.Callbacks());
    // The receiver: the list of the current generation, as the window keeps it.
    int current = worker.Start(red.Path(), "모든이미지형식");
    inbox.WaitForThumbs(current, 3);
    const int old = current;
    current = worker.Start(blue.Path(), "모든이미지형식");
    EXPECT_NE(current, old);
    // Start returned: the old run is over, so whatever it still sends is
    // already queued; after its Finished nothing of it follows.
    std::vector<std::string> names;
    std::vector<Picture24> pictures;
    bool oldFinished = false, done = false;
    int oldAfterFinish = 0;
    while (!done) {
        Event e = inbox.Take();
        if (auto* l = std::get_if<Listed>(&e)) {
            if (l->generation != current) continue;   // dropped
            names = l->names;
            pictures.assign(names.size(), Picture24{});
        } else if (auto* t = std::get_if<Thumb>(&e)) {
            if (t->generation != current) {
                if (oldFinished) ++oldAfterFinish;
                continue;
            }
            ASSERT_LT(size_t(t->index), pictures.size());
            pictures[size_t(t->index)] = t->picture;
        } else {
            const Finished& f = std::get<Finished>(e);
            if (f.generation == old) {
                oldFinished = true;
                EXPECT_TRUE(f.stopped);
                EXPECT_LT(f.count, 300);
            } else {
                done = true;
            }
        }
    }
    EXPECT_TRUE(oldFinished);
    EXPECT_EQ(oldAfterFinish, 0);
    ASSERT_EQ(names.size(), 5u);
    for (const Picture24& p : pictures) {
        ASSERT_FALSE(p.Empty());
        EXPECT_FALSE(IsRed(p));
        EXPECT_EQ(p.At(50, 45)[0], 255);   // blue
    }
}

TEST(ThumbnailWorker, StopEndsTheRunAndTheWorkerCanStartAgain) {
    TempDir red;
    Folder(red, 200, 0, 0, 255, "r");
    Inbox inbox;
    inbox.thumbDelay = std::chrono::milliseconds(10);   // 200 take two seconds at least
    {
        ThumbnailWorker worker(inbox.Callbacks());
        const int g = worker.Start(red.Path(), "bmp");
        inbox.WaitForThumbs(g, 1);
        worker.Stop();
        EXPECT_FALSE(worker.Running());
        int thumbs = 0;
        for (;;) {
            Event e = inbox.Take();
            if (std::holds_alternative<Thumb>(e)) ++thumbs;
            if (auto* f = std::get_if<Finished>(&e)) {
                EXPECT_TRUE(f->stopped);
                EXPECT_EQ(f->count, thumbs);
                break;
            }
        }
        EXPECT_LT(thumbs, 200);
        // Again, for a filter that takes nothing: listed empty, finished.
        const int g2 = worker.Start(red.Path(), "gif");
        Event e = inbox.Take();
        ASSERT_TRUE(std::holds_alternative<Listed>(e));
        EXPECT_EQ(std::get<Listed>(e).generation, g2);
        EXPECT_TRUE(std::get<Listed>(e).names.empty());
        e = inbox.Take();
        ASSERT_TRUE(std::holds_alternative<Finished>(e));
        EXPECT_EQ(std::get<Finished>(e).count, 0);
        // The destructor stops a running worker.
        worker.Start(red.Path(), "bmp");
    }
    SUCCEED();
}
