// A check that every picture allocated on this thread passes while a gate
// is in force. The document puts one up while it opens a file, so that a
// picture whose document would exceed the memory budget is refused from its
// header, before its pixels are allocated or decoded.
#pragma once

#include <functional>
#include <string>

class ScopedPictureGate {
public:
    // False (with the refusal's text in message) refuses a picture of
    // width x height at bitCount bits per pixel.
    using Check = std::function<bool(int width, int height, int bitCount, std::string& message)>;

    explicit ScopedPictureGate(Check check);
    ~ScopedPictureGate();
    ScopedPictureGate(const ScopedPictureGate&) = delete;
    ScopedPictureGate& operator=(const ScopedPictureGate&) = delete;

    // True when no gate is in force or the innermost one lets the picture pass.
    static bool Allows(int width, int height, int bitCount, std::string& message);

private:
    Check check_;
    ScopedPictureGate* outer_;
};
