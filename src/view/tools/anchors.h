// Per-document tool anchors, in zoomed image coordinates (-1 unset): the
// first and second anchor of the current drag, the lasso and polygon
// starts, the rubber band, the circle start, the line end, the move tool's
// last point, the gradient's base line and the droplet's last position.
#pragma once

#include "paint.h"

namespace tools {

struct ToolAnchors {
    paint::ZPoint first, second;
    paint::ZPoint lassoStart, polygonStart;
    paint::ZPoint bandOrigin, bandCurrent;
    paint::ZPoint circleStart;
    paint::ZPoint lineEnd;
    paint::ZPoint moveLast;
    paint::ZPoint gradientStart, gradientEnd;
    paint::ZPoint dropletLast;

    void Reset() { *this = ToolAnchors{}; }
    // A zoom step multiplies every anchor that is set (truncated).
    void Scale(double factor);
};

}  // namespace tools
