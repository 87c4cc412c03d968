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
  const bool set = static_cast<bool>(handler);
  ++handlersSet_;
  onIdle_.Set(std::move(handler));
  if (set) {
    idleTimer_.start();
  } else {
    idleTimer_.stop();
  }
}

bool TApplicationEvents::eventFilter(QObject* watched, QEvent* event) {
  // The idle timer's own ticks are not news; anything else delivered on this thread is, and
  // wakes the idle event again after a handler left Done true.
  if (!idleTimer_.isActive() && onIdle_.IsSet() && watched != &idleTimer_ && watched != this) {
    idleTimer_.start();
  }
  return QObject::eventFilter(watched, event);
}

void TApplicationEvents::RaiseIdle() {
  if (raising_ || !onIdle_.IsSet() || QApplication::activeModalWidget() != nullptr) {
    // A modal window, or a handler's own nested loop (its error box, say), keeps this timer
    // firing. Rest until the next event instead of spinning; the events around the closing of
    // the window wake us again.
    idleTimer_.stop();
    return;
  }
  raising_ = true;
  bool done = true;
  const std::uint64_t handlerRaised = handlersSet_;
  // The handler reports its own errors; this guard is the last resort that keeps an
  // exception away from Qt.
  Guarded([&] { onIdle_.Call(done); });
  raising_ = false;
  // A handler that replaced itself has not had its say yet: the new one runs on the next tick.
  if (!onIdle_.IsSet() || (done && handlersSet_ == handlerRaised)) {
    idleTimer_.stop();
  } else if (!idleTimer_.isActive()) {
    idleTimer_.start();
  }
}

}  // namespace sonavik
