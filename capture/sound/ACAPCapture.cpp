// SPDX-License-Identifier: MIT
#include "capture/sound/ACAPCapture.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <utility>

namespace sonavik {

std::string OpenFailureText(SoundResult code) {
  char text[16];
  std::snprintf(text, sizeof text, "%.6X", static_cast<unsigned>(code));
  return text;
}

TACAPCaptureNotifyThread::TACAPCaptureNotifyThread(TACAPCapture& capture)
    : capture_(capture), thread_(&TACAPCaptureNotifyThread::Execute, this) {}

TACAPCaptureNotifyThread::~TACAPCaptureNotifyThread() {
  Terminate();
  WaitFor();
}

void TACAPCaptureNotifyThread::WaitFor() {
  if (thread_.joinable()) {
    thread_.join();
  }
}

void TACAPCaptureNotifyThread::Terminate() {
  terminated_ = true;
}

void TACAPCaptureNotifyThread::Execute() {
  using namespace std::chrono_literals;
  while (!terminated_) {
    // The capture buffer replaces its events only after this thread has ended, so reading
    // them here, before every wait, is safe.
    const std::array<EventHandle, 3>& events = capture_.NotifyEvents();
    const int which = WaitForAny(events.data(), events.size(), 100ms);
    if (which != 0 && which != 1) {
      continue;  // capture stopped, time-out or a failed wait: nothing to hand on
    }
    upperHalf_ = which == 0;
    // A failing handler must not take the process down from this thread; the next half is
    // served as usual, and the failure goes to standard error, where nothing else reports it.
    try {
      capture_.DoCaptureNotify();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "sonavik: a capture notification failed: %s\n", e.what());
    } catch (...) {
      std::fputs("sonavik: a capture notification failed\n", stderr);
    }
  }
}

TACAPCapture::TACAPCapture(TACAP& soundComponent, const std::string* deviceGuid,
                           TACAPOpenReport report)
    : soundComponent_(soundComponent), report_(report) {
  ICaptureDevice* device = nullptr;
  const SoundResult result = soundComponent.Platform().CaptureCreate(deviceGuid, &device);
  if (result == DS_OK && device != nullptr) {
    captureDevice_ = SoundRef(device);
    ready_ = true;
    return;
  }
  if (result != DS_OK) {
    OpenFailed(result);
  }
}

void TACAPCapture::OpenFailed(SoundResult code) {
  captureDevice_.Reset();
  ready_ = false;
  openError_ = code;
  if (report_ == TACAPOpenReport::ShowCode) {
    soundComponent_.ShowMessage(OpenFailureText(code));
  }
}

TACAPCapture::~TACAPCapture() {
  // The thread reads this object: it goes first.
  EndNotifyThread();
  // The ring before the device it belongs to.
  captureBuffer_.Reset();
  captureDevice_.Reset();
}

void TACAPCapture::EndNotifyThread() {
  if (notifyThread_) {
    notifyThread_->Terminate();
    // The stop event wakes the thread now instead of at the end of its current wait; it is
    // consumed like any stop notification.
    if (notifyEvents_[2]) {
      notifyEvents_[2]->Set();
    }
    // Joined before the pointer changes: the thread reads it in DoCaptureNotify.
    notifyThread_->WaitFor();
    notifyThread_.reset();
  }
  for (EventHandle& event : notifyEvents_) {
    event.reset();
  }
}

void TACAPCapture::CreateBuffer(std::uint32_t Rate, std::uint32_t Bits, bool Stereo,
                                std::uint32_t BufferBytes) {
  if (!ready_) {
    return;
  }
  // A buffer made again replaces the thread and the events of the one before.
  EndNotifyThread();
  captureBuffer_.Reset();

  bufferBytes_ = BufferBytes;
  halfBytes_ = BufferBytes >> 1;

  const std::uint16_t channels = Stereo ? 2 : 1;
  waveFormat_ = WaveFormatEx{};
  waveFormat_.wFormatTag = WAVE_FORMAT_PCM;
  waveFormat_.nChannels = channels;
  waveFormat_.nSamplesPerSec = Rate;
  waveFormat_.nBlockAlign = static_cast<std::uint16_t>((channels * Bits) >> 3);
  waveFormat_.nAvgBytesPerSec = waveFormat_.nBlockAlign * Rate;
  waveFormat_.wBitsPerSample = static_cast<std::uint16_t>(Bits);
  waveFormat_.cbSize = 0;

  CaptureBufferDesc desc;
  desc.dwSize = 28;
  desc.dwBufferBytes = BufferBytes;
  desc.lpwfxFormat = &waveFormat_;

  ICaptureBuffer* buffer = nullptr;
  const SoundResult created = captureDevice_->CreateCaptureBuffer(&desc, &buffer);
  if (created == DSERR_NODRIVER) {
    // Unplugged between the open and now: an everyday event, not a reason to end the program.
    OpenFailed(created);
    return;
  }
  if (created == DS_OK) {
    captureBuffer_ = SoundRef(buffer);
  }
  CheckResult(created, "DirectSoundCaptureBufferオブジェクトの生成に失敗しました。");
  if (!captureBuffer_) {
    return;  // the options let us go on, but there is nothing to arm
  }

  for (EventHandle& event : notifyEvents_) {
    event = CreateAutoResetEvent();
  }
  const PositionNotify positions[3] = {
      {0, notifyEvents_[0]},
      {halfBytes_.load(), notifyEvents_[1]},
      {DSBPN_OFFSETSTOP, notifyEvents_[2]},
  };

  {
    // The notify interface is given back at the end of this block, however the steps in it
    // end (a report may throw).
    ISoundNotify* notify = nullptr;
    const SoundResult queried = captureBuffer_->QueryNotify(&notify);
    SoundRef<ISoundNotify> notifyInterface;
    if (queried == DS_OK) {
      notifyInterface = SoundRef(notify);
    }
    CheckResult(queried, "DirectSoundNotifyオブジェクトの作成に失敗しました");
    if (notifyInterface) {
      CheckResult(notifyInterface->SetNotificationPositions(3, positions),
                  "NotifyPositionの設定に失敗しました");
    }
  }

  notifyThread_ = std::make_unique<TACAPCaptureNotifyThread>(*this);
}

std::uint32_t TACAPCapture::GetReadPosition() {
  if (!ready_ || !captureBuffer_) {
    return 0;
  }
  std::uint32_t position = 0;
  if (captureBuffer_->GetCurrentPosition(nullptr, &position) != DS_OK) {
    return 0;
  }
  return position;
}

std::uint32_t TACAPCapture::GetStatus() {
  if (!ready_ || !captureBuffer_) {
    return 0;
  }
  std::uint32_t status = 0;
  if (captureBuffer_->GetStatus(&status) != DS_OK) {
    return 0;
  }
  return status;
}

void TACAPCapture::Start() {
  if (ready_ && captureBuffer_ && GetStatus() == 0) {
    captureBuffer_->Start(DSCBSTART_LOOPING);
  }
}

void TACAPCapture::Stop() {
  if (ready_ && captureBuffer_) {
    captureBuffer_->Stop();
  }
}

void TACAPCapture::ReadBlock(std::uint32_t Offset, void* Dest, std::uint32_t Length) {
  if (!ready_ || !captureBuffer_) {
    return;
  }
  void* first = nullptr;
  void* second = nullptr;
  std::uint32_t firstBytes = 0;
  std::uint32_t secondBytes = 0;
  const SoundResult locked =
      captureBuffer_->Lock(Offset, Length, &first, &firstBytes, &second, &secondBytes, 0);
  if (CheckResult(locked, "DirectSoundCaptureBufferのロックに失敗しました") != DS_OK) {
    return;  // nothing was handed over: nothing to copy, nothing to give back
  }
  // The caller's memory holds Length bytes; pieces longer than asked for are not trusted.
  auto* out = static_cast<std::uint8_t*>(Dest);
  const std::uint32_t firstCopy = first != nullptr ? std::min(firstBytes, Length) : 0;
  if (firstCopy > 0) {
    std::memcpy(out, first, firstCopy);
  }
  if (Length > firstBytes && second != nullptr) {
    std::memcpy(out + firstCopy, second, std::min(secondBytes, Length - firstCopy));
  }
  captureBuffer_->Unlock(first, firstBytes, second, secondBytes);
}

void TACAPCapture::SetOnCaptureNotify(TACAPCaptureNotifyEvent handler) {
  onCaptureNotify_.Set(std::move(handler));
}

void TACAPCapture::DoCaptureNotify() {
  const std::uint32_t half = halfBytes_;
  const bool upper = notifyThread_ && notifyThread_->UpperHalf();
  onCaptureNotify_.Call(*this, upper ? bufferBytes_ - half : 0, half);
}

}  // namespace sonavik
