// SPDX-License-Identifier: MIT
#include "app/ApplicationEvents.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <utility>

#include "app/ErrorReport.h"

namespace sonavik {

TApplicationEvents::TApplicationEvents(QObject* parent) : QObject(parent) {
  idleTimer_.setInterval(0);
  idleTimer_.setSingleShot(false);
  connect(&idleTimer_, &QTimer::timeout, this, [this] { RaiseIdle(); });
  if (QCoreApplication* app = QCoreApplication::instance()) {
    app->installEventFilter(this);
  }
}

TApplicationEvents::~TApplicationEvents() {
  idleTimer_.stop();
  if (QCoreApplication* app = QCoreApplication::instance()) {
    app->removeEventFilter(this);
  }
}

void TApplicationEvents::SetOnIdle(IdleHandler handler) {
  if (handler) {
    onIdle_ = std::make_shared<IdleHandler>(std::move(handler));
    idleTimer_.start();
  } else {
    onIdle_.reset();
    idleTimer_.stop();
  }
}

bool TApplicationEvents::eventFilter(QObject* watched, QEvent* event) {
  // The idle timer's own ticks are not news; anything else delivered on this thread is, and
  // wakes the idle event again after a handler left Done true.
  if (onIdle_ && !idleTimer_.isActive() && watched != &idleTimer_ && watched != this) {
    idleTimer_.start();
  }
  return QObject::eventFilter(watched, event);
}

void TApplicationEvents::RaiseIdle() {
  const std::shared_ptr<IdleHandler> handler = onIdle_;
  if (!handler || raising_ || QApplication::activeModalWidget() != nullptr) {
    // A modal window, or a handler's own nested loop (its error box, say), keeps this timer
    // firing. Rest until the next event instead of spinning; the events around the closing of
    // the window wake us again.
    idleTimer_.stop();
    return;
  }
  raising_ = true;
  bool done = true;
  // The handler reports its own errors; this guard is the last resort that keeps an
  // exception away from Qt.
  Guarded([&] { (*handler)(done); });
  raising_ = false;
  if (!onIdle_ || (done && onIdle_ == handler)) {
    idleTimer_.stop();
  } else if (!idleTimer_.isActive()) {
    idleTimer_.start();
  }
}

}  // namespace sonavik
