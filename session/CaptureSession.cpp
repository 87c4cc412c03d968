// SPDX-License-Identifier: MIT
#include "session/CaptureSession.h"

#include <QMetaObject>
#include <algorithm>
#include <utility>

namespace sonavik {

CaptureSession::CaptureSession(TACAP& component, CaptureSessionView& view, CaptureFormat format,
                               TACAPCaptureNotifyEvent onNotify)
    : component_(component),
      view_(view),
      format_(format),
      onNotify_(std::move(onNotify)),
      worker_(std::make_unique<SessionWorker>()) {
  reopenRetry_.setSingleShot(true);
  QObject::connect(&reopenRetry_, &QTimer::timeout, &context_,
                   [this] { Guard([this] { Changed(); }); });
  reconnectRetry_.setSingleShot(true);
  QObject::connect(&reconnectRetry_, &QTimer::timeout, &context_,
                   [this] { Guard([this] { Reconnect(); }); });
}

CaptureSession::~CaptureSession() {
  // Returns once no call of our listener runs: nothing is queued for us afterwards.
  sound_.SetOnChange(nullptr);
  worker_.reset();
  reopenRetry_.stop();
  reconnectRetry_.stop();
  if (capture_) {
    capture_->Stop();
    capture_.reset();
  }
}

void CaptureSession::Guard(const std::function<void()>& fn) {
  try {
    fn();
  } catch (...) {
    view_.ReportError(std::current_exception());
  }
}

void CaptureSession::Deliver(std::function<void()> fn) {
  QMetaObject::invokeMethod(
      &context_, [this, fn = std::move(fn)] { Guard(fn); }, Qt::QueuedConnection);
}

void CaptureSession::Start() {
  // Listening starts before the first look at the devices, so no change falls in between.
  sound_.SetOnChange([this] {
    if (!changePending_.exchange(true)) {
      Deliver([this] { Changed(); });
    }
  });
  started_ = true;
  // The list starts empty: following the server fills it and chooses its first item.
  bool chosenOffered = false;
  if (!FollowDeviceList(&chosenOffered)) {
    ReconnectLater();
  }
  // The default device, whatever the list holds.
  Open(nullptr, TACAPOpenReport::ShowCode);
}

void CaptureSession::Pick(int index) {
  if (index < 0 || index >= static_cast<int>(devices_.size())) {
    return;
  }
  chosen_ = index;
  ReopenOnChosenDevice(TACAPOpenReport::ShowCode);
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

void CaptureSession::ReopenOnChosenDevice(TACAPOpenReport report) {
  if (capture_) {
    capture_->Stop();
    capture_.reset();
  }
  const std::optional<std::string> deviceId = ChosenDevice();
  Open(deviceId ? &*deviceId : nullptr, report);
}

void CaptureSession::Open(const std::string* deviceId, TACAPOpenReport report) {
  capture_ = std::make_unique<TACAPCapture>(component_, deviceId, report);
  capture_->CreateBuffer(format_.rate, format_.bits, format_.stereo, format_.ringBytes);
  capture_->SetOnCaptureNotify(onNotify_);
  capture_->Start();
}

bool CaptureSession::FollowDeviceList(bool* chosenOffered) {
  std::vector<DeviceItem> offered;
  const SoundResult listed = sound_.EnumerateCapture(
      [&offered](const std::string* deviceId, const std::string& description, const std::string&) {
        if (deviceId == nullptr) {
          offered.push_back({"Default Device", std::nullopt});
        } else {
          offered.push_back({description, *deviceId});
        }
        return true;
      });

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
  *chosenOffered = isOffered(ChosenDevice());
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
  return listed == DS_OK;
}

void CaptureSession::Changed() {
  changePending_ = false;
  if (!started_) {
    return;
  }
  bool chosenOffered = false;
  if (FollowDeviceList(&chosenOffered)) {
    reconnectPause_ = kFirstReconnect;
  } else {
    ReconnectLater();
  }
  if (Capturing() || !chosenOffered) {
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
  ReopenOnChosenDevice(TACAPOpenReport::Quiet);
  if (!Capturing() && !reopenRetry_.isActive()) {
    reopenRetry_.start(kReopenPause);
  }
}

void CaptureSession::ReconnectLater() {
  if (!reconnectRetry_.isActive() && !reconnecting_) {
    reconnectRetry_.start(reconnectPause_);
  }
}

void CaptureSession::Reconnect() {
  ++exchanges_;
  reconnecting_ = true;
  worker_->Post([this] {
    const SoundResult result = sound_.Reconnect();
    Deliver([this, result] { Reconnected(result); });
  });
}

void CaptureSession::Reconnected(SoundResult result) {
  --exchanges_;
  reconnecting_ = false;
  if (result == DS_OK) {
    Changed();
    return;
  }
  reconnectPause_ = std::min(reconnectPause_ * 2, kLongestReconnect);
  ReconnectLater();
}

}  // namespace sonavik
