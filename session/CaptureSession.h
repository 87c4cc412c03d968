// SPDX-License-Identifier: MIT
// CaptureSession: the meter's sound, below its window. It follows the server's device list
// (a burst of changes merged into one look), keeps the device the user chose, runs the capture
// on it, reopens it when it comes back, and reconnects to a server that went away, all with one
// retry policy. The window shows what the session tells it through CaptureSessionView and hands
// on the user's picks; it never talks to the sound system itself.
#pragma once

#include <QObject>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/sound/ACAP.h"
#include "capture/sound/ACAPCapture.h"
#include "session/CaptureSessionView.h"
#include "session/SessionWorker.h"

namespace sonavik {

class CaptureSession {
 public:
  // The retry policy. A capture the session reopened by itself that ends again at once, or a
  // device that is listed but will not open, is retried after kReopenPause, so a device that
  // keeps failing is not reopened in a tight loop. A server that went away is tried again after
  // kFirstReconnect, each further try waiting twice as long up to kLongestReconnect, which
  // stays under the two seconds in which a returning server must be metering again.
  static constexpr std::chrono::milliseconds kReopenPause{500};
  static constexpr std::chrono::milliseconds kFirstReconnect{500};
  static constexpr std::chrono::milliseconds kLongestReconnect{1500};
  // Start waits at most kConnectWait for the server to take or refuse the connection and, when it
  // took it, at most kOpenWait more for the device list and the default device opened: a server
  // that answers as usual gives the window a full list and a running capture when it first shows,
  // and the window is on screen within a second of start whatever the server does.
  static constexpr std::chrono::milliseconds kConnectWait{250};
  static constexpr std::chrono::milliseconds kOpenWait{350};

  // Works with the component's captures and reports through its ShowMessage; onNotify is
  // handed to every capture it opens. Lives and is used on the window thread; every exchange
  // with the server runs on the session's worker, and its answer comes back to that thread.
  CaptureSession(TACAP& component, CaptureSessionView& view, CaptureFormat format,
                 TACAPCaptureNotifyEvent onNotify);
  // Stops listening and ends the worker (an exchange under way is waited for, within the
  // platform's bound), then stops and lets go of the capture and ends the platform's session.
  ~CaptureSession();
  CaptureSession(const CaptureSession&) = delete;
  CaptureSession& operator=(const CaptureSession&) = delete;

  // Begins the platform's session, lists the devices, opens the default device and sets up
  // the component's playback side, all on the worker; returns once the open is answered or
  // after the bounds below. A device that will not open shows its code once the answer is there.
  void Start();
  // The user chose the list's item at index: the capture stops at once and reopens on that
  // device; a later pick supersedes an open still under way, which then shows nothing. A
  // device that will not open shows its code; one that is gone or whose server did not answer
  // is tried again by the retry policy.
  void Pick(int index);
  // The server's description for people (empty when there is none), handed to answer at once:
  // the platform learns it when it connects, so asking never waits for the server.
  void AskServerDescription(const std::function<void(const std::string&)>& answer);

  // The capture the measuring pass reads; null until the first open has been answered and
  // while a pick is being opened.
  TACAPCapture* Capture() const { return capture_.get(); }
  // True while the capture runs.
  bool Capturing() const;
  // The list as the window shows it, and the index of the chosen item (-1: none).
  const std::vector<DeviceItem>& Devices() const { return devices_; }
  int Chosen() const { return chosen_; }
  // No change is waiting, no exchange with the server is under way, and no answer is waiting
  // for the window thread.
  bool Idle() const { return !changePending_ && worker_->Idle(); }

 private:
  // Something changed at the server: the list follows it, and a capture that stopped reopens
  // on the same choice as soon as that device is there again.
  void Changed();
  void Listed(const std::vector<DeviceItem>& offered, SoundResult result);
  // A listing that threw: the next change looks again.
  void ListingFailed(const std::exception_ptr& error);
  // Makes the list what the server offers, keeping the chosen item; true when the chosen
  // device is among what it offers.
  bool FollowDeviceList(const std::vector<DeviceItem>& offered);
  std::optional<std::string> ChosenDevice() const;
  // Stops and lets go of the capture, then opens the device on the worker; the open's ticket.
  SessionWorker::Ticket Reopen(std::optional<std::string> deviceId, TACAPOpenReport report);
  void Opened(int generation, TACAPOpenReport report, std::unique_ptr<TACAPCapture> capture,
              const std::exception_ptr& error);
  // Stops and lets go of a capture on the worker, after what is already posted there.
  void Retire(std::unique_ptr<TACAPCapture> capture);
  void ReconnectLater();
  void Reconnect();
  // A reconnect that threw counts as one the server did not answer.
  void Reconnected(SoundResult result, const std::exception_ptr& error = nullptr);
  void Guard(const std::function<void()>& fn);

  TACAP& component_;
  CaptureSessionView& view_;
  const CaptureFormat format_;
  const TACAPCaptureNotifyEvent onNotify_;
  TACAPSoundSystem sound_;
  // Made and used on the worker; let go on the window thread once the worker has ended.
  std::unique_ptr<PlatformSession> platformSession_;
  std::vector<DeviceItem> devices_;
  int chosen_ = -1;
  std::unique_ptr<TACAPCapture> capture_;
  bool started_ = false;
  // A change is waiting in the window thread's queue: later ones merge into it.
  std::atomic<bool> changePending_{false};
  // A listing is under way; a change meanwhile asks for one more when it is answered.
  bool listing_ = false;
  bool listAgain_ = false;
  // Opens posted and not answered yet; the newest is the only one that counts. The worker
  // reads openGeneration_ to skip an open that a later one superseded before it began.
  int opens_ = 0;
  std::atomic<int> openGeneration_{0};
  // When the session last reopened a capture by itself.
  std::chrono::steady_clock::time_point lastReopen_{};
  std::chrono::milliseconds reconnectPause_ = kFirstReconnect;
  bool reconnecting_ = false;
  QObject context_;
  QTimer reopenRetry_;
  QTimer reconnectRetry_;
  std::unique_ptr<SessionWorker> worker_;
};

}  // namespace sonavik
