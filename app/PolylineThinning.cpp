// SPDX-License-Identifier: MIT
#include "app/PolylineThinning.h"

#include <algorithm>
#include <cassert>

namespace sonavik {

int ThinPolyline(std::span<const QPoint> points, QRect image, std::span<QPoint> out) {
  assert(out.size() >= points.size());
  const int n = static_cast<int>(points.size());
  if (out.data() != points.data()) {
    std::copy(points.begin(), points.end(), out.begin());
  }
  if (n < 5) {
    return n;
  }
  // The first two and last two points carry the pen's caps and stay as they are. In between,
  // a point on the picture equal to the one before it is a stroke of no length: nothing drawn.
  // Off the picture such a stroke still changes how Qt cuts the next one, so it stays.
  int w = 2;
  for (int k = 2; k < n - 2; ++k) {
    if (out[k] != out[w - 1] || !image.contains(out[k])) {
      out[w++] = out[k];
    }
  }
  out[w++] = out[n - 2];
  out[w++] = out[n - 1];
  return w;
}

}  // namespace sonavik
