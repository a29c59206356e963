// Work on independent rows split over the calling thread and one helper.
#pragma once

#include <cstdint>
#include <system_error>
#include <thread>

namespace layerops {

// Runs fn(begin, end) over the rows 0..n-1: the upper half on a helper
// thread and the lower half on the calling thread (which alone may report
// progress) when `split`, else all of them here. Rows must be independent.
template <class Fn>
void SplitRows(int n, bool split, Fn&& fn) {
    if (!split || n < 2) {
        fn(0, n);
        return;
    }
    const int mid = n / 2;
    std::thread helper;
    try {
        helper = std::thread([&fn, mid, n] { fn(mid, n); });
    } catch (const std::system_error&) {
        fn(0, n);
        return;
    }
    fn(0, mid);
    helper.join();
}

// Worth a second thread: more than about a megabyte of pixels to move.
inline bool WorthSplitting(int64_t pixels) { return pixels >= (int64_t(1) << 18); }

}  // namespace layerops
