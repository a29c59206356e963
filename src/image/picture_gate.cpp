#include "picture_gate.h"

namespace {
thread_local ScopedPictureGate* tCurrent = nullptr;
}

ScopedPictureGate::ScopedPictureGate(Check check) : check_(std::move(check)), outer_(tCurrent) { tCurrent = this; }

ScopedPictureGate::~ScopedPictureGate() { tCurrent = outer_; }

bool ScopedPictureGate::Allows(int width, int height, int bitCount, std::string& message) {
    const ScopedPictureGate* g = tCurrent;
    return !g || !g->check_ || g->check_(width, height, bitCount, message);
}
