// SPDX-License-Identifier: MIT
// Synchronous repaints that reach the screen once per window. While a TFlushBatch is open on
// the window thread, RepaintAtOnce paints a control into its window's backing store before it
// returns (the control gets its paint event, as with repaint()) and leaves the window system's
// flush to the batch, which puts each window it touched on the screen in one flush as it
// closes. With no batch open, RepaintAtOnce is QWidget::repaint(): paint and flush together.
//
// A measuring pass repaints two gauges and a plot in the main window and the plots of the tool
// windows, one after the other; a flush for each of them cost a write to the window system and
// a copy on its side per control.
#pragma once

class QWidget;

namespace sonavik {

class TFlushBatch {
 public:
  TFlushBatch();
  // The outermost batch flushes every window painted while it was open.
  ~TFlushBatch();
  TFlushBatch(const TFlushBatch&) = delete;
  TFlushBatch& operator=(const TFlushBatch&) = delete;
};

// Paints `widget` before returning when Qt can draw it now (shown, updates enabled, its window
// exposed): its picture is in the window's backing store at once, and on the screen at once or,
// inside a batch, as the batch closes. When Qt cannot draw it, nothing is painted, as with
// repaint().
void RepaintAtOnce(QWidget& widget);

}  // namespace sonavik
