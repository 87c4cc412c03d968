// SPDX-License-Identifier: MIT
// A capture device of the libpulse platform: a source of the server (or "whatever the default
// source is") that capture buffers are created on. It checks the caller's description of the
// ring and turns the wave format into the sample format the stream asks the server for.
#pragma once

#include <pulse/sample.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "capture/platform/SoundPlatform.h"
#include "capture/pulse/PulseConnection.h"
#include "capture/pulse/PulseRefCounted.h"

namespace sonavik {

// NOLINTNEXTLINE(cppcoreguidelines-virtual-class-destructor): destroyed only by Release()
class PulseCaptureDevice final : public PulseRefCounted<ICaptureDevice> {
 public:
  // The largest ring a capture buffer may ask for; beyond it the request is a bad argument.
  static constexpr std::uint32_t kMaxBufferBytes = 0x0FFFFFFF;

  PulseCaptureDevice(std::shared_ptr<PulseConnection> connection,
                     std::optional<std::string> source);

  SoundResult CreateCaptureBuffer(const CaptureBufferDesc* desc, ICaptureBuffer** buffer) override;

  // DS_OK with *format filled, DSERR_INVALIDPARAM for a description that is not a PCM ring we
  // can describe, DSERR_BADFORMAT for a rate the server cannot take.
  static SoundResult SampleFormatFor(const CaptureBufferDesc& desc, pa_sample_spec* format);

 private:
  ~PulseCaptureDevice() override = default;

  const std::shared_ptr<PulseConnection> connection_;
  const std::optional<std::string> source_;
};

}  // namespace sonavik
