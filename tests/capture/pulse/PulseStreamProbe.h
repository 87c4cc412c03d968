// SPDX-License-Identifier: MIT
// What the client side of a capture buffer's record stream says about it: the delay the
// server reports, the fragment it granted and the source it records from now. The tests
// read the live stream through this friend of PulseCaptureBuffer; the program needs none of
// it.
#pragma once

#include <pulse/stream.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "capture/pulse/PulseCaptureBuffer.h"

namespace sonavik {

class PulseStreamProbe {
 public:
  explicit PulseStreamProbe(PulseCaptureBuffer& buffer) : buffer_(buffer) {}

  // False until the server has sent its first timing report.
  bool Latency(std::chrono::microseconds* latency) const {
    PulseConnection::Lock lock(*buffer_.connection_);
    pa_usec_t usec = 0;
    int negative = 0;
    if (!buffer_.StreamLive() ||
        pa_stream_get_latency(buffer_.stream_.get(), &usec, &negative) < 0) {
      return false;
    }
    *latency = std::chrono::microseconds(negative != 0 ? -static_cast<std::int64_t>(usec)
                                                       : static_cast<std::int64_t>(usec));
    return true;
  }

  std::uint32_t FragmentBytes() const {
    PulseConnection::Lock lock(*buffer_.connection_);
    if (!buffer_.StreamLive()) {
      return 0;
    }
    const pa_buffer_attr* attributes = pa_stream_get_buffer_attr(buffer_.stream_.get());
    return attributes != nullptr ? attributes->fragsize : 0;
  }

  // "" when the stream has none.
  std::string SourceName() const {
    PulseConnection::Lock lock(*buffer_.connection_);
    if (!buffer_.StreamLive()) {
      return {};
    }
    const char* name = pa_stream_get_device_name(buffer_.stream_.get());
    return name != nullptr ? name : "";
  }

 private:
  PulseCaptureBuffer& buffer_;
};

}  // namespace sonavik
