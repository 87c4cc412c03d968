// SPDX-License-Identifier: MIT
// TApplicationEvents: raises OnIdle(Done) whenever the window thread's event queue has run
// empty. Done starts true; a handler that leaves it true is not called again until the next
// event arrives. No idle is raised while a modal window is open. Window thread only; needs
// the QApplication to exist first.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>

#include "capture/platform/CallbackSlot.h"

namespace sonavik {

class TApplicationEvents : public QObject {
  Q_OBJECT

 public:
  using IdleHandler = std::function<void(bool& Done)>;

  explicit TApplicationEvents(QObject* parent = nullptr);
  ~TApplicationEvents() override;

  void SetOnIdle(IdleHandler handler);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void RaiseIdle();
  // A handler may replace itself: it is not destroyed while it runs.
  CallbackSlot<void(bool&)> onIdle_;
  std::uint64_t handlersSet_ = 0;  // counts SetOnIdle, to tell a handler that was replaced
  QTimer idleTimer_;               // zero interval: fires when the queue is empty
  bool raising_ = false;           // a handler's own nested event loop must not raise it again
};

}  // namespace sonavik
