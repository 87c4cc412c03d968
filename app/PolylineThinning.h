// SPDX-License-Identifier: MIT
#pragma once

#include <QPoint>
#include <QRect>
#include <span>

namespace sonavik {

// Writes to `out` a polyline that a one-pixel opaque cosmetic pen, without antialiasing, draws
// on a picture covering `image` as exactly the same pixels as `points`, and returns its length.
// It is never longer than `points`, so `out` needs room for points.size(); `out` may be
// `points` itself.
//
// A point on the picture equal to the one before it is left out, except among the first two and
// last two points. No allocation; linear time.
int ThinPolyline(std::span<const QPoint> points, QRect image, std::span<QPoint> out);

}  // namespace sonavik
