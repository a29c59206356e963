// Work the editor leaves until its first paint is on the screen: the picture
// named on the command line, or the empty document area when there is none
// (or when it could not be opened). What is queued runs once, after that
// paint, in the order queued, from the event loop (never inside a paint).
#pragma once

#include <wx/app.h>

#include <functional>
#include <utility>
#include <vector>

namespace firstpaint {

struct State {
    bool done = false;
    bool pictureExpected = false;
    std::vector<std::function<void()>> queued;
};

inline State& Get() {
    static State s;
    return s;
}

inline void RunQueued() {
    State& s = Get();
    if (s.done) return;
    s.done = true;
    std::vector<std::function<void()>> queued = std::move(s.queued);
    s.queued.clear();
    if (!wxTheApp) {
        for (auto& fn : queued) fn();
        return;
    }
    for (auto& fn : queued) wxTheApp->CallAfter(fn);
}

// Runs `fn` after the first paint (soon, when that has happened already).
inline void After(std::function<void()> fn) {
    State& s = Get();
    if (s.done) {
        if (wxTheApp) wxTheApp->CallAfter(fn);
        else fn();
        return;
    }
    s.queued.push_back(std::move(fn));
}

// A picture is on its way (a file named on the command line): the empty
// document area painted meanwhile is not the first paint. False again when
// none came (the open failed): what waits runs then.
inline void ExpectPicture(bool expected) {
    State& s = Get();
    s.pictureExpected = expected;
    if (!expected && !s.done) RunQueued();
}

// A picture window painted its picture.
inline void PicturePainted() { RunQueued(); }

// The empty document area was painted.
inline void AreaPainted() {
    if (!Get().pictureExpected) RunQueued();
}

}  // namespace firstpaint
