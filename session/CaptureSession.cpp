// SPDX-License-Identifier: MIT
#include "session/CaptureSession.h"

#include <algorithm>
#include <utility>

namespace sonavik {

CaptureSession::CaptureSession(TACAP& component, CaptureSessionView& view, CaptureFormat format,
                               TACAPCaptureNotifyEvent onNotify)
    : component_(component),
      view_(view),
      format_(format),
      onNotify_(std::move(onNotify)),
      worker_(std::make_unique<SessionWorker>(
          [this](const std::exception_ptr& error) { view_.ReportError(error); })) {
  reopenRetry_.setSingleShot(true);
  QObject::connect(&reopenRetry_, &QTimer::timeout, &context_,
                   [this] { Guard([this] { Changed(); }); });
  reconnectRetry_.setSingleShot(true);
  QObject::connect(&reconnectRetry_, &QTimer::timeout, &context_,
                   [this] { Guard([this] { Reconnect(); }); });
}

CaptureSession::~CaptureSession() {
  // Returns once no call of our listener runs: nothing is delivered to us afterwards.
  sound_.SetOnChange(nullptr);
  worker_.reset();
  reopenRetry_.stop();
  reconnectRetry_.stop();
  if (capture_) {
    capture_->Stop();
    capture_.reset();
  }
  platformSession_.reset();
}

void CaptureSession::Guard(const std::function<void()>& fn) {
  try {
    fn();
  } catch (...) {
    view_.ReportError(std::current_exception());
  }
}

void CaptureSession::Start() {
  // Listening starts before the first look at the devices, so no change falls in between.
  sound_.SetOnChange([this] {
    if (!changePending_.exchange(true)) {
      worker_->Deliver([this] { Changed(); });
    }
  });
  started_ = true;
  auto connected = std::make_shared<std::atomic<bool>>(false);
  const SessionWorker::Ticket tried = worker_->Ask([this, connected] {
    platformSession_ = std::make_unique<PlatformSession>();
    *connected = platformSession_->Result() == DS_OK;
    return nullptr;
  });
  // The list starts empty: following the server fills it and chooses its first item.
  Changed();
  // The default device, whatever the list holds.
  const SessionWorker::Ticket opened = Reopen(std::nullopt, TACAPOpenReport::ShowCode);
  // The playback side comes last: nothing the window shows waits for it.
  worker_->Ask([this] {
    component_.InitDirectSound();
    return nullptr;
  });
  // A server that answers in good time gives the window its list and a running capture before
  // it first shows; one that does not is not waited for any longer.
  if (worker_->WaitFor(tried, kConnectWait) && *connected) {
    worker_->WaitFor(opened, kOpenWait);
  }
  // Only the session's own answers: nothing else of the application runs inside Start.
  worker_->RunAnswers();
}

void CaptureSession::Pick(int index) {
  if (index < 0 || index >= static_cast<int>(devices_.size())) {
    return;
  }
  chosen_ = index;
  Reopen(ChosenDevice(), TACAPOpenReport::ShowCode);
}

void CaptureSession::AskServerDescription(const std::function<void(const std::string&)>& answer) {
  answer(sound_.ServerDescription());
}

bool CaptureSession::Capturing() const {
  return capture_ && (capture_->GetStatus() & DSCBSTATUS_CAPTURING) != 0;
}

std::optional<std::string> CaptureSession::ChosenDevice() const {
  if (chosen_ >= 0) {
    return devices_[static_cast<std::size_t>(chosen_)].id;
  }
  return std::nullopt;
}

void CaptureSession::Retire(std::unique_ptr<TACAPCapture> capture) {
  if (!capture) {
    return;
  }
  // The job owns it, so it goes on the worker, or with the job if the worker ends first.
  auto held = std::make_shared<std::unique_ptr<TACAPCapture>>(std::move(capture));
  worker_->Ask([held] {
    (*held)->Stop();
    held->reset();
    return nullptr;
  });
}

SessionWorker::Ticket CaptureSession::Reopen(std::optional<std::string> deviceId,
                                             TACAPOpenReport report) {
  // The pass sees no capture from now on and shows silence once, until the new one is there.
  Retire(std::move(capture_));
  const int generation = ++openGeneration_;
  ++opens_;
  const auto open = [this, generation, deviceId = std::move(deviceId),
                     report]() -> SessionWorker::Answer {
    // An open that fails leaves the capture it made (inert), which the pass may still read.
    auto capture = std::make_shared<std::unique_ptr<TACAPCapture>>();
    std::exception_ptr error;
    if (openGeneration_ == generation) {
      try {
        // Quiet here: whether the code is shown is decided on the window thread, where a
        // superseded open is known as such.
        *capture = std::make_unique<TACAPCapture>(component_, deviceId ? &*deviceId : nullptr,
                                                  TACAPOpenReport::Quiet);
        (*capture)->CreateBuffer(format_.rate, format_.bits, format_.stereo, format_.ringBytes);
        (*capture)->SetOnCaptureNotify(onNotify_);
        (*capture)->Start();
      } catch (...) {
        error = std::current_exception();
      }
    }
    return [this, generation, report, capture, error] {
      Opened(generation, report, std::move(*capture), error);
    };
  };
  return worker_->Ask(open, [this, generation, report](const std::exception_ptr& error) {
    Opened(generation, report, nullptr, error);
  });
}

void CaptureSession::Opened(int generation, TACAPOpenReport report,
                            std::unique_ptr<TACAPCapture> capture,
                            const std::exception_ptr& error) {
  --opens_;
  if (generation != openGeneration_) {
    Retire(std::move(capture));  // superseded: never a word to the user
    return;
  }
  capture_ = std::move(capture);
  const SoundResult openError = capture_ ? capture_->OpenError() : DS_OK;
  if (error) {
    std::rethrow_exception(error);
  }
  if (report == TACAPOpenReport::ShowCode && openError != DS_OK) {
    // From the window thread's queue, never from inside Start: the main window is on screen
    // before a box about its first device.
    worker_->Deliver([this, openError] { component_.ShowMessage(OpenFailureText(openError)); });
  }
  // A device that is gone, or a server that did not answer, is tried again; so is a capture
  // the session reopened by itself. A code the user was shown stands until the next pick.
  const bool shownForGood =
      report == TACAPOpenReport::ShowCode && openError != DS_OK && openError != DSERR_NODRIVER;
  if (!Capturing() && !shownForGood && !reopenRetry_.isActive()) {
    reopenRetry_.start(kReopenPause);
  }
}

void CaptureSession::Changed() {
  changePending_ = false;
  if (!started_) {
    return;
  }
  if (listing_) {
    listAgain_ = true;
    return;
  }
  listing_ = true;
  const auto list = [this]() -> SessionWorker::Answer {
    std::vector<DeviceItem> offered;
    const SoundResult result =
        sound_.EnumerateCapture([&offered](const std::string* deviceId,
                                           const std::string& description, const std::string&) {
          if (deviceId == nullptr) {
            offered.push_back({"Default Device", std::nullopt});
          } else {
            offered.push_back({description, *deviceId});
          }
          return true;
        });
    return [this, offered = std::move(offered), result] { Listed(offered, result); };
  };
  worker_->Ask(list, [this](const std::exception_ptr& error) { ListingFailed(error); });
}

void CaptureSession::ListingFailed(const std::exception_ptr& error) {
  listing_ = false;
  if (listAgain_) {
    listAgain_ = false;
    Changed();
  }
  std::rethrow_exception(error);
}

void CaptureSession::Listed(const std::vector<DeviceItem>& offered, SoundResult result) {
  listing_ = false;
  const bool chosenOffered = FollowDeviceList(offered);
  if (result == DS_OK) {
    reconnectPause_ = kFirstReconnect;
  } else {
    ReconnectLater();
  }
  if (listAgain_) {
    listAgain_ = false;
    Changed();
    return;
  }
  if (Capturing() || opens_ > 0 || !chosenOffered) {
    return;  // a device that is away is reopened when the server lists it again
  }
  const auto now = std::chrono::steady_clock::now();
  if (now - lastReopen_ < kReopenPause) {
    if (!reopenRetry_.isActive()) {
      reopenRetry_.start(kReopenPause);
    }
    return;
  }
  lastReopen_ = now;
  Reopen(ChosenDevice(), TACAPOpenReport::Quiet);
}

bool CaptureSession::FollowDeviceList(const std::vector<DeviceItem>& offered) {
  // Items are taken out and put in one by one rather than the list being made anew, so the
  // chosen item (and a list the user has open) stays where it is. The chosen item stays even
  // while its device is away: it is what comes back.
  const auto isOffered = [&](const std::optional<std::string>& id) {
    return std::any_of(offered.begin(), offered.end(),
                       [&](const DeviceItem& o) { return o.id == id; });
  };
  const auto indexOf = [&](const std::optional<std::string>& id) {
    for (std::size_t i = 0; i < devices_.size(); ++i) {
      if (devices_[i].id == id) {
        return static_cast<int>(i);
      }
    }
    return -1;
  };
  const bool chosenOffered = isOffered(ChosenDevice());
  for (int i = static_cast<int>(devices_.size()) - 1; i >= 0; --i) {
    if (i != chosen_ && !isOffered(devices_[static_cast<std::size_t>(i)].id)) {
      devices_.erase(devices_.begin() + i);
      if (i < chosen_) {
        --chosen_;
      }
      view_.RemoveDevice(i);
    }
  }
  // New devices go in the server's order, after the device offered before them.
  int at = 0;
  for (const DeviceItem& o : offered) {
    const int found = indexOf(o.id);
    if (found >= 0) {
      at = found + 1;
    } else {
      devices_.insert(devices_.begin() + at, o);
      if (chosen_ >= at) {
        ++chosen_;
      }
      view_.InsertDevice(at++, o);
    }
  }
  if (chosen_ < 0 && !devices_.empty()) {
    chosen_ = 0;
    view_.ChooseDevice(0);
  }
  return chosenOffered;
}

void CaptureSession::ReconnectLater() {
  if (!reconnectRetry_.isActive() && !reconnecting_) {
    reconnectRetry_.start(reconnectPause_);
  }
}

void CaptureSession::Reconnect() {
  reconnecting_ = true;
  worker_->Ask(
      [this]() -> SessionWorker::Answer {
        const SoundResult result = sound_.Reconnect();
        return [this, result] { Reconnected(result); };
      },
      [this](const std::exception_ptr& error) { Reconnected(DSERR_GENERIC, error); });
}

void CaptureSession::Reconnected(SoundResult result, const std::exception_ptr& error) {
  reconnecting_ = false;
  if (result == DS_OK) {
    Changed();
    return;
  }
  reconnectPause_ = std::min(reconnectPause_ * 2, kLongestReconnect);
  ReconnectLater();
  if (error) {
    std::rethrow_exception(error);
  }
}

}  // namespace sonavik
