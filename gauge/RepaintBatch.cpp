// SPDX-License-Identifier: MIT
#include "gauge/RepaintBatch.h"

#include <QWidget>

namespace sonavik {
namespace {

// The open batch of the window thread: the outermost one, which notes for the inner ones.
RepaintBatch* open = nullptr;

}  // namespace

RepaintBatch::RepaintBatch() : outermost_(open == nullptr) {
  if (outermost_) {
    open = this;
  }
}

RepaintBatch::~RepaintBatch() {
  if (outermost_) {
    open = nullptr;
    Paint();
  }
}

bool RepaintBatch::Defer(QWidget& control) {
  if (open == nullptr || open->count_ == kControls) {
    return false;
  }
  control.update();
  open->noted_[open->count_++] = &control;
  return true;
}

void RepaintBatch::Paint() {
  // A synchronous repaint of one control paints and flushes everything marked dirty in its
  // window, so the last noted control of each window is the one to repaint.
  for (std::size_t i = 0; i < count_; ++i) {
    const QWidget* window = noted_[i]->window();
    bool later = false;
    for (std::size_t j = i + 1; j < count_ && !later; ++j) {
      later = noted_[j]->window() == window;
    }
    if (!later) {
      noted_[i]->repaint();
    }
  }
  count_ = 0;
}

}  // namespace sonavik
