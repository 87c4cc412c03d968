// SPDX-License-Identifier: MIT
// RepaintBatch: one trip to the display server per window for a stretch of window-thread work
// that changes several controls at once, as a measuring pass does.
//
// A control that must show a change at once asks Defer first. Inside a batch, Defer marks the
// control dirty and notes it; when the batch ends, each window with noted controls is painted
// and flushed once, all of its noted controls together. Outside a batch Defer returns false and the
// control repaints by itself, at once, as it always does. Either way the pictures that reach the
// screen are the same: a batch only joins the paints of one window into one flush, before the
// window thread does anything else.
//
// Window thread only. Batches nest; the outermost one paints. A batch holds at most kControls
// noted controls (no allocation per batch); a control past that repaints at once.
#pragma once

#include <array>
#include <cstddef>

class QWidget;

namespace sonavik {

class RepaintBatch {
 public:
  static constexpr std::size_t kControls = 16;

  RepaintBatch();
  ~RepaintBatch();
  RepaintBatch(const RepaintBatch&) = delete;
  RepaintBatch& operator=(const RepaintBatch&) = delete;

  // Inside a batch: marks control for painting when the batch ends and returns true. Outside
  // one (or with the batch full): returns false, and the caller repaints at once.
  static bool Defer(QWidget& control);

 private:
  void Paint();

  bool outermost_;
  std::array<QWidget*, kControls> noted_{};
  std::size_t count_ = 0;
};

}  // namespace sonavik
