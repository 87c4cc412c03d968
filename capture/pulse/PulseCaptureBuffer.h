// SPDX-License-Identifier: MIT
// A capture buffer over one libpulse record stream: the stream is opened corked when the
// buffer is created (so a format or device the server refuses fails right there), Start
// uncorks it and Stop corks it again. The server's data lands in a PulseCaptureRing on the
// main loop's thread.
#pragma once

#include <pulse/sample.h>
#include <pulse/stream.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "capture/platform/SoundPlatform.h"
#include "capture/pulse/PulseCaptureRing.h"
#include "capture/pulse/PulseConnection.h"
#include "capture/pulse/PulseHandle.h"
#include "capture/pulse/PulseRefCounted.h"

namespace sonavik {

// NOLINTNEXTLINE(cppcoreguidelines-virtual-class-destructor): destroyed only by Release()
class PulseCaptureBuffer final : public PulseRefCounted<ICaptureBuffer> {
 public:
  // device: the source's name, or nullopt to follow the server's default source.
  static SoundResult Create(std::shared_ptr<PulseConnection> connection,
                            std::optional<std::string> device, const pa_sample_spec& format,
                            std::uint32_t bufferBytes, ICaptureBuffer** buffer);

  SoundResult QueryNotify(ISoundNotify** notify) override;
  SoundResult GetCurrentPosition(std::uint32_t* capturePosition,
                                 std::uint32_t* readPosition) override;
  SoundResult GetStatus(std::uint32_t* status) override;
  SoundResult Start(std::uint32_t flags) override;
  SoundResult Stop() override;
  SoundResult Lock(std::uint32_t offset, std::uint32_t bytes, void** first,
                   std::uint32_t* firstBytes, void** second, std::uint32_t* secondBytes,
                   std::uint32_t flags) override;
  SoundResult Unlock(void* first, std::uint32_t firstBytes, void* second,
                     std::uint32_t secondBytes) override;

  // The fragment we ask the server for: at most half the ring and at most 20 ms of sound, so
  // the read cursor stays close to real time; no smaller, since each fragment wakes the
  // server's thread and ours. A whole ring (23.2 ms) would let PipeWire keep its default cycle
  // of 1024 frames, but PipeWire 0.3 (Debian 12) then hands a recorder on an idle monitor
  // source no sound at all. A fragment that fills both halves at once still announces each.
  static std::uint32_t FragmentFor(std::uint32_t bufferBytes, const pa_sample_spec& format);

 private:
  PulseCaptureBuffer(std::shared_ptr<PulseConnection> connection, std::optional<std::string> device,
                     const pa_sample_spec& format, std::uint32_t bufferBytes);
  ~PulseCaptureBuffer() override;
  // The tests' window on the live stream (tests/capture/pulse).
  friend class PulseStreamProbe;

  SoundResult OpenStream() REQUIRES(connection_->LoopMutex());
  void CloseStream() REQUIRES(connection_->LoopMutex());
  bool StreamLive() const REQUIRES(connection_->LoopMutex());

  // With the main-loop lock held: the ring stops, and whoever watches the server hears of a
  // capture that was running and ended.
  void EndCapture() REQUIRES(connection_->LoopMutex());
  // With the main-loop lock held, on the loop's thread: a source left the server.
  void OnSourceRemoved(std::uint32_t index) REQUIRES(connection_->LoopMutex());

  static void OnStreamState(pa_stream* stream, void* self);
  static void OnStreamRead(pa_stream* stream, std::size_t bytes, void* self);

  const std::shared_ptr<PulseConnection> connection_;
  const std::optional<std::string> device_;
  const pa_sample_spec format_;
  // Shared with the notify interface, which may outlive this buffer.
  const std::shared_ptr<PulseCaptureRing> ring_;
  PulseStreamHandle stream_ GUARDED_BY(connection_->LoopMutex());
};

}  // namespace sonavik
