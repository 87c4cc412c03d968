// SPDX-License-Identifier: MIT
// TACAPCapture: one opened capture device with its looping ring, half-ring notifications
// served by TACAPCaptureNotifyThread, and the three read operations the measuring pass uses.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "capture/platform/CallbackSlot.h"
#include "capture/platform/Events.h"
#include "capture/platform/SoundPlatform.h"
#include "capture/platform/SoundRef.h"
#include "capture/sound/ACAP.h"

namespace sonavik {

class TACAPCapture;

// Called on the notification thread with the half of the ring just filled.
using TACAPCaptureNotifyEvent =
    std::function<void(TACAPCapture& Sender, std::uint32_t Offset, std::uint32_t Length)>;

class TACAPCaptureNotifyThread {
 public:
  // Starts at once.
  explicit TACAPCaptureNotifyThread(TACAPCapture& capture);
  // Requests termination and joins (within about 100 ms).
  ~TACAPCaptureNotifyThread();
  TACAPCaptureNotifyThread(const TACAPCaptureNotifyThread&) = delete;
  TACAPCaptureNotifyThread& operator=(const TACAPCaptureNotifyThread&) = delete;

  // Asks the body to end; it notices when its current wait (at most 100 ms) ends.
  void Terminate();
  // Returns when the body has ended (after Terminate).
  void WaitFor();
  bool UpperHalf() const { return upperHalf_.load(); }

 private:
  void Execute();
  TACAPCapture& capture_;
  std::atomic<bool> upperHalf_{false};
  std::atomic<bool> terminated_{false};
  std::thread thread_;
};

// What a capture does when its device cannot be opened: show the code to the user (an open
// the user asked for), or stay quiet (an open the program retries by itself).
enum class TACAPOpenReport { ShowCode, Quiet };

// The text a device that cannot be opened shows: its code in at least six uppercase hex digits.
std::string OpenFailureText(SoundResult code);

class TACAPCapture {
 public:
  // deviceGuid null: the default capture device. A device that cannot be opened shows its
  // code through the component's ShowMessage (unless report is Quiet) and leaves the object inert
  // (Ready() false).
  TACAPCapture(TACAP& soundComponent, const std::string* deviceGuid,
               TACAPOpenReport report = TACAPOpenReport::ShowCode);
  ~TACAPCapture();
  TACAPCapture(const TACAPCapture&) = delete;
  TACAPCapture& operator=(const TACAPCapture&) = delete;

  // A device that has gone away by now (DSERR_NODRIVER) leaves the object inert as a device
  // that cannot be opened does; any other failing step is reported through CheckResult.
  void CreateBuffer(std::uint32_t Rate, std::uint32_t Bits, bool Stereo, std::uint32_t BufferBytes);
  std::uint32_t GetReadPosition();
  std::uint32_t GetStatus();
  void Start();
  void Stop();
  void ReadBlock(std::uint32_t Offset, void* Dest, std::uint32_t Length);

  // Replaces the handler. When it returns, no call of the previous handler is running and
  // none will start, so the caller may destroy whatever that handler uses. Called from inside
  // the handler itself it cannot wait for its own call: the replaced handler is then not
  // called again once the running call returns. Destroying the capture gives the same
  // guarantee: the notification thread has ended before anything else goes.
  void SetOnCaptureNotify(TACAPCaptureNotifyEvent handler);
  // Runs on the notification thread.
  void DoCaptureNotify();

  bool Ready() const { return ready_; }
  // Why the device could not be opened or went away while its ring was made (DS_OK when
  // neither happened), so that an opener that stayed quiet can still tell the user later.
  SoundResult OpenError() const { return openError_; }
  const WaveFormatEx& WaveFormat() const { return waveFormat_; }
  std::uint32_t BufferBytes() const { return bufferBytes_.load(); }
  std::uint32_t HalfBytes() const { return halfBytes_.load(); }
  TACAP& SoundComponent() const { return soundComponent_; }
  const std::array<EventHandle, 3>& NotifyEvents() const { return notifyEvents_; }
  TACAPCaptureNotifyThread* NotifyThread() const { return notifyThread_.get(); }

 private:
  WaveFormatEx waveFormat_;
  SoundRef<ICaptureDevice> captureDevice_;
  SoundRef<ICaptureBuffer> captureBuffer_;
  std::atomic<std::uint32_t> bufferBytes_{0};
  TACAP& soundComponent_;
  std::atomic<std::uint32_t> halfBytes_{0};
  std::array<EventHandle, 3> notifyEvents_;
  std::unique_ptr<TACAPCaptureNotifyThread> notifyThread_;
  // Set on the window thread while the notification thread may be calling it.
  CallbackSlot<void(TACAPCapture&, std::uint32_t, std::uint32_t)> onCaptureNotify_;
  bool ready_ = false;
  SoundResult openError_ = DS_OK;
  TACAPOpenReport report_;

  // The device could not be opened, or went away: the object becomes inert.
  void OpenFailed(SoundResult code);
  // Ends the notification thread (it is woken at once) and closes the events.
  void EndNotifyThread();
};

}  // namespace sonavik
