// SPDX-License-Identifier: MIT
#include "gauge/WindowFlush.h"

#include <QBackingStore>
#include <QPointer>
#include <QRegion>
#include <QWidget>
#include <QWindow>
#include <array>
#include <cstddef>

namespace sonavik {
namespace {

// What an open batch has painted and not yet flushed, window by window. A fixed table: a pass
// touches three windows at most, and one more than the table holds is flushed at once.
struct PendingWindow {
  QPointer<QWidget> window;
  QRegion area;  // in the window's coordinates
};
constexpr std::size_t kMaxPendingWindows = 8;
std::array<PendingWindow, kMaxPendingWindows> gPending;
std::size_t gPendingCount = 0;
int gBatchDepth = 0;  // window thread only, like every widget

// The window whose backing store holds `widget`'s pixels and flushes them, when the widget can
// be painted into it right now; nullptr otherwise. A native child window has a flush of its
// own, so it and its children take the ordinary path.
QWidget* DrawableWindow(QWidget& widget) {
  if (!widget.isVisible() || !widget.updatesEnabled()) {
    return nullptr;
  }
  QWidget* top = widget.window();
  for (QWidget* w = &widget; w != top; w = w->parentWidget()) {
    if (w->internalWinId() != 0) {
      return nullptr;
    }
  }
  const QWindow* handle = top->windowHandle();
  const QBackingStore* store = top->backingStore();
  if (handle == nullptr || !handle->isExposed() || store == nullptr) {
    return nullptr;
  }
  return top;
}

// True when a widget stacked above `widget` (at any level up to its window) lies over `visible`,
// the part of it Qt counts as not covered by opaque widgets. Such a widget is drawn after ours
// on Qt's own path, so we leave that case to it.
bool CoveredFromAbove(QWidget& widget, QWidget& top, const QRegion& visible) {
  const QRegion inTop = visible.translated(widget.mapTo(&top, QPoint(0, 0)));
  for (QWidget* w = &widget; w != &top; w = w->parentWidget()) {
    QWidget* parent = w->parentWidget();
    const QObjectList& siblings = parent->children();
    const qsizetype at = siblings.indexOf(w);
    for (qsizetype i = at + 1; i < siblings.size(); ++i) {
      auto* sibling = qobject_cast<QWidget*>(siblings[i]);
      if (sibling == nullptr || sibling->isWindow() || !sibling->isVisible()) {
        continue;
      }
      const QRect box(parent->mapTo(&top, sibling->pos()), sibling->size());
      if (inTop.intersects(box)) {
        return true;
      }
    }
  }
  return false;
}

void Flush(QWidget& window, const QRegion& area) {
  QWindow* handle = window.windowHandle();
  QBackingStore* store = window.backingStore();
  if (handle != nullptr && handle->isExposed() && store != nullptr) {
    store->flush(area, handle);
  }
}

void AddPending(QWidget& window, const QRegion& area) {
  for (std::size_t i = 0; i < gPendingCount; ++i) {
    if (gPending[i].window == &window) {
      gPending[i].area += area;
      return;
    }
  }
  if (gPendingCount == kMaxPendingWindows) {
    Flush(window, area);
    return;
  }
  gPending[gPendingCount].window = &window;
  gPending[gPendingCount].area = area;
  ++gPendingCount;
}

}  // namespace

TFlushBatch::TFlushBatch() {
  ++gBatchDepth;
}

TFlushBatch::~TFlushBatch() {
  if (--gBatchDepth > 0) {
    return;
  }
  for (std::size_t i = 0; i < gPendingCount; ++i) {
    // A window closed during the batch has nothing left to show.
    if (QWidget* window = gPending[i].window) {
      Flush(*window, gPending[i].area);
    }
    gPending[i].window = nullptr;
    gPending[i].area = QRegion();
  }
  gPendingCount = 0;
}

void RepaintAtOnce(QWidget& widget) {
  QWidget* top = gBatchDepth > 0 ? DrawableWindow(widget) : nullptr;
  if (top == nullptr) {
    widget.repaint();
    return;
  }
  // Only what shows of the widget: a sibling laid over it keeps its pixels.
  const QRegion visible = widget.visibleRegion();
  if (visible.isEmpty()) {
    return;
  }
  if (CoveredFromAbove(widget, *top, visible)) {
    widget.repaint();
    return;
  }
  const QPoint origin = widget.mapTo(top, QPoint(0, 0));
  const QRegion area = visible.translated(origin);
  QBackingStore& store = *top->backingStore();
  if (!QRect(QPoint(0, 0), store.size()).contains(area.boundingRect())) {
    // The backing store has not caught up with the window's size yet: Qt's own path knows.
    widget.repaint();
    return;
  }
  // beginPaint waits until the window system has finished reading what the last flush handed
  // it, so nothing half-painted reaches the screen.
  store.beginPaint(area);
  widget.render(store.paintDevice(), origin + visible.boundingRect().topLeft(), visible,
                QWidget::RenderFlags());
  store.endPaint();
  AddPending(*top, area);
}

}  // namespace sonavik
