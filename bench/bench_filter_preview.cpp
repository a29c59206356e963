// The filter panel's live preview against the user-interface thread: a
// loop stands in for the editor's event loop (a tick every millisecond,
// and the functions the preview posts), while slider changes ask for a
// preview of a filter that takes about a second. Reported: the filter's own
// time, and the longest stretch the loop spent in one event (a change's
// request with its snapshot, a result put on the layer with the repaint of
// a 1280 x 900 window) -- the goal is under 20 ms.
//   bench_filter_preview [WIDTH HEIGHT [FILTER P1 P2]]
#include <time.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "CVexoDoc.h"
#include "filter_model.h"
#include "filter_preview.h"

namespace {
using Clock = std::chrono::steady_clock;
double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
// This thread's processor time: an event's own work, without the time the
// system gave to other programs meanwhile.
double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}
double gLongestCpu = 0;

struct Loop {
    std::mutex m;
    std::condition_variable cv;
    std::deque<std::function<void()>> q;
    void Post(std::function<void()> fn) {
        {
            std::lock_guard<std::mutex> lock(m);
            q.push_back(std::move(fn));
        }
        cv.notify_one();
    }
    // Runs one event: a posted function, or the 1 ms tick when none came.
    // `busy` gets the time spent in the event itself (not the wait for it).
    bool RunOne(const std::function<void()>& tick, double& busy) {
        std::function<void()> fn;
        {
            std::unique_lock<std::mutex> lock(m);
            cv.wait_for(lock, std::chrono::milliseconds(1), [this] { return !q.empty(); });
            if (!q.empty()) {
                fn = std::move(q.front());
                q.pop_front();
            }
        }
        const auto a = Clock::now();
        const double c = CpuMs();
        if (fn) fn();
        else tick();
        busy = Ms(Clock::now() - a);
        gLongestCpu = std::max(gLongestCpu, CpuMs() - c);
        return bool(fn);
    }
};
}  // namespace

int main(int argc, char** argv) {
    const int w = argc > 2 ? std::atoi(argv[1]) : 2400, h = argc > 2 ? std::atoi(argv[2]) : 1600;
    filters::PreviewParams pp;
    pp.name = argc > 3 ? argv[3] : "유화";
    pp.p[0] = argc > 4 ? std::atoi(argv[4]) : 5;
    pp.p[1] = argc > 5 ? std::atoi(argv[5]) : 50;
    HeadlessHost host;
    host.echoMessages = false;
    CVexoDoc doc(&host);
    if (!doc.NewImage(w, h)) return 1;
    LayerRecord& L = doc.Layer(doc.currentLayer);
    uint32_t s = 1;
    for (int32_t i = 0; i < L.pixelSize; ++i) L.pixels[size_t(i)] = uint8_t((s = s * 1103515245u + 12345u) >> 24);

    // The filter by itself, as "적용" runs it.
    filters::FilterDialogModel model(&doc);
    model.Choose(pp.name);
    for (int i = 0; i < 3; ++i) model.SetValue(i, pp.p[i]);
    auto t0 = Clock::now();
    model.Apply();
    const double alone = Ms(Clock::now() - t0);
    model.StartImage();

    Loop loop;
    filters::FilterPreview preview([&loop](std::function<void()> fn) { loop.Post(std::move(fn)); });
    int results = 0;
    std::vector<uint8_t> view(size_t(1280) * 900 * 4);
    const double zoom = std::min(1280.0 / w, 900.0 / h);
    double showMs = 0, paintMs = 0, requestMs = 0;
    preview.onResult = [&](filters::PreviewResult& r) {
        const auto s0 = Clock::now();
        if (preview.Show(doc, r)) ++results;
        showMs = std::max(showMs, Ms(Clock::now() - s0));
        const auto p0 = Clock::now();
        // The repaint that follows: the visible part of the picture.
        doc.CompositeRect(doc.headLayer, -1, zoom, 0, 0, std::min(1280, int(w * zoom)), std::min(900, int(h * zoom)),
                          view.data(), 1280 * 4);
        paintMs = std::max(paintMs, Ms(Clock::now() - p0));
    };
    // Slider changes every 120 ms for a while; then the last result.
    double longest = 0;
    std::vector<double> stretches;
    int ticks = 0, events = 0;
    const auto start = Clock::now();
    int change = 0;
    auto nextChange = start;
    auto last = Clock::now();
    while (true) {
        const auto now = Clock::now();
        if (change < 8 && now >= nextChange) {
            filters::PreviewParams q = pp;
            q.p[0] = std::max(0, pp.p[0] - (change % 3));
            const auto a = Clock::now();
            preview.Request(doc, q);
            requestMs = std::max(requestMs, Ms(Clock::now() - a));
            longest = std::max(longest, requestMs);
            ++change;
            nextChange = now + std::chrono::milliseconds(120);
        }
        double busy = 0;
        if (loop.RunOne([&] { ++ticks; }, busy)) ++events;
        longest = std::max(longest, busy);
        stretches.push_back(busy);
        const auto b = Clock::now();
        last = b;
        if (change >= 8 && !preview.Pending() && results > 0) break;
        if (Ms(b - start) > 60000) break;
    }
    std::printf("picture %d x %d, filter %s %d,%d: alone %.0f ms\n", w, h, pp.name.c_str(), pp.p[0], pp.p[1], alone);
    std::printf("preview: %d changes, %d result(s) shown, %d posted events, %d ticks in %.0f ms\n", change, results,
                events, ticks, Ms(last - start));
    std::printf("longest stretch of the interface loop in one event: %.2f ms (goal < 20 ms)\n", longest);
    std::printf("  longest processor time of this thread in one event: %.2f ms\n", gLongestCpu);
    std::sort(stretches.begin(), stretches.end());
    int over = 0;
    for (double v : stretches) over += v > 20.0;
    std::printf("  events over 20 ms: %d of %zu; 99th percentile %.2f ms\n", over, stretches.size(),
                stretches.empty() ? 0.0 : stretches[stretches.size() * 99 / 100]);
    std::printf("  of which: a change's request %.2f ms, putting the result on the layer %.2f ms, the repaint %.2f ms\n",
                requestMs, showMs, paintMs);
    return 0;
}
