// SPDX-License-Identifier: MIT
#include "capture/pulse/PulseCaptureBuffer.h"

#include <pulse/channelmap.h>
#include <pulse/error.h>

#include <algorithm>

#include "capture/pulse/PulseServerQueries.h"

namespace sonavik {
namespace {

// The notify interface of a capture buffer. It keeps only the ring, so releasing it before or
// after the buffer makes no difference.
// NOLINTNEXTLINE(cppcoreguidelines-virtual-class-destructor): destroyed only by Release()
class PulseCaptureNotify final : public PulseRefCounted<ISoundNotify> {
 public:
  explicit PulseCaptureNotify(std::shared_ptr<PulseCaptureRing> ring) : ring_(std::move(ring)) {}

  SoundResult SetNotificationPositions(std::uint32_t count,
                                       const PositionNotify* positions) override {
    return ring_->Arm(count, positions);
  }

 private:
  ~PulseCaptureNotify() override = default;
  const std::shared_ptr<PulseCaptureRing> ring_;
};

}  // namespace

SoundResult PulseCaptureBuffer::Create(std::shared_ptr<PulseConnection> connection,
                                       std::optional<std::string> device,
                                       const pa_sample_spec& format, std::uint32_t bufferBytes,
                                       ICaptureBuffer** buffer) {
  *buffer = nullptr;
  if (!pa_sample_spec_valid(&format)) {
    return DSERR_BADFORMAT;
  }
  auto* created =
      new PulseCaptureBuffer(std::move(connection), std::move(device), format, bufferBytes);
  SoundResult result = DS_OK;
  {
    PulseConnection::Lock lock(*created->connection_);
    if (created->device_) {
      created->connection_->WatchSourceRemovals(created, [created](std::uint32_t index) {
        created->connection_->InCallback();
        created->OnSourceRemoved(index);
      });
    }
    result = created->connection_->ContextUsable() ? created->OpenStream() : DSERR_NODRIVER;
  }
  if (result != DS_OK) {
    created->Release();
    return result;
  }
  *buffer = created;
  return DS_OK;
}

PulseCaptureBuffer::PulseCaptureBuffer(std::shared_ptr<PulseConnection> connection,
                                       std::optional<std::string> device,
                                       const pa_sample_spec& format, std::uint32_t bufferBytes)
    : connection_(std::move(connection)),
      device_(std::move(device)),
      format_(format),
      ring_(std::make_shared<PulseCaptureRing>(
          bufferBytes, static_cast<std::uint8_t>(format.format == PA_SAMPLE_U8 ? 0x80 : 0))) {}

PulseCaptureBuffer::~PulseCaptureBuffer() {
  {
    PulseConnection::Lock lock(*connection_);
    connection_->ForgetSourceRemovals(this);
    CloseStream();
  }
  // Once the stream's callbacks are gone the loop's thread no longer sees the ring; a buffer
  // released while capturing stops as Stop would, waking a thread that waits for the stop.
  ring_->Stop();
}

std::uint32_t PulseCaptureBuffer::FragmentFor(std::uint32_t bufferBytes,
                                              const pa_sample_spec& format) {
  const auto frame = static_cast<std::uint32_t>(pa_frame_size(&format));
  const auto longest = static_cast<std::uint32_t>(pa_usec_to_bytes(20000, &format));
  std::uint32_t fragment = std::min(bufferBytes / 2, longest);
  fragment -= fragment % frame;
  return std::max(fragment, frame);
}

SoundResult PulseCaptureBuffer::OpenStream() {
  pa_context* context = connection_->Context();
  pa_channel_map map;
  // WAVEEX order: mono is one channel, stereo is front-left then front-right, as a PCM frame
  // of the ring lays them out.
  pa_channel_map_init_auto(&map, format_.channels, PA_CHANNEL_MAP_WAVEEX);
  stream_.reset(pa_stream_new(context, "Sonavik capture", &format_, &map));
  pa_stream* stream = stream_.get();
  if (stream == nullptr) {
    return ResultFromPulseError(pa_context_errno(context));
  }
  pa_stream_set_state_callback(stream, &PulseCaptureBuffer::OnStreamState, this);
  pa_stream_set_read_callback(stream, &PulseCaptureBuffer::OnStreamRead, this);

  pa_buffer_attr attributes;
  attributes.maxlength = static_cast<std::uint32_t>(-1);
  attributes.tlength = static_cast<std::uint32_t>(-1);
  attributes.prebuf = static_cast<std::uint32_t>(-1);
  attributes.minreq = static_cast<std::uint32_t>(-1);
  attributes.fragsize = FragmentFor(ring_->Size(), format_);
  // A named device stays on its source (and fails with it); the default one has no device and
  // so follows whatever the server's default source is.
  auto flags =
      static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY |
                                     PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
  if (device_) {
    flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_DONT_MOVE);
  }
  if (pa_stream_connect_record(stream, device_ ? device_->c_str() : nullptr, &attributes, flags) <
      0) {
    const int error = pa_context_errno(context);
    CloseStream();
    return ResultFromPulseError(error);
  }
  connection_->WaitFor([stream] { return pa_stream_get_state(stream) != PA_STREAM_CREATING; });
  if (pa_stream_get_state(stream) == PA_STREAM_READY) {
    return DS_OK;
  }
  const bool timedOut = pa_stream_get_state(stream) == PA_STREAM_CREATING;
  const int error = pa_context_errno(context);
  CloseStream();
  return timedOut || error == PA_OK ? DSERR_NODRIVER : ResultFromPulseError(error);
}

void PulseCaptureBuffer::CloseStream() {
  if (stream_ == nullptr) {
    return;
  }
  // Callbacks run on the loop's thread with the lock held, which we hold: once they are
  // unset, none can be running or come later.
  pa_stream* stream = stream_.get();
  pa_stream_set_state_callback(stream, nullptr, nullptr);
  pa_stream_set_read_callback(stream, nullptr, nullptr);
  if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
    pa_stream_disconnect(stream);
  }
  stream_.reset();
}

bool PulseCaptureBuffer::StreamLive() const {
  return stream_ != nullptr && pa_stream_get_state(stream_.get()) == PA_STREAM_READY;
}

void PulseCaptureBuffer::OnStreamState(pa_stream* stream, void* self) {
  auto* buffer = static_cast<PulseCaptureBuffer*>(self);
  buffer->connection_->InCallback();
  const pa_stream_state_t state = pa_stream_get_state(stream);
  if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
    // The source went away (or the whole server): capture ends here, the ring keeps the last
    // sound it had, and the program goes on without this device.
    buffer->EndCapture();
  }
  buffer->connection_->Signal();
}

void PulseCaptureBuffer::EndCapture() {
  // Not a stream that failed to open: one that was capturing and ended.
  const bool wasCapturing = (ring_->Status() & DSCBSTATUS_CAPTURING) != 0;
  ring_->Stop();
  if (wasCapturing) {
    connection_->Changed();
  }
}

// A stream on a named source may not move, so PulseAudio ends it when its source leaves; a
// newer PipeWire session manager (WirePlumber 0.5) leaves it open, linked to nothing, and no
// sound would ever come. It ends here as it would on PulseAudio, and Start opens it afresh.
void PulseCaptureBuffer::OnSourceRemoved(std::uint32_t index) {
  if (!StreamLive() || pa_stream_get_device_index(stream_.get()) != index) {
    return;
  }
  CloseStream();
  EndCapture();
}

void PulseCaptureBuffer::OnStreamRead(pa_stream* stream, std::size_t /*bytes*/, void* self) {
  auto* buffer = static_cast<PulseCaptureBuffer*>(self);
  for (;;) {
    const void* data = nullptr;
    std::size_t length = 0;
    if (pa_stream_peek(stream, &data, &length) < 0 || length == 0) {
      return;
    }
    // A hole (data null) is sound the server lost; silence keeps the cursor in time.
    buffer->ring_->Write(data, length);
    pa_stream_drop(stream);
  }
}

SoundResult PulseCaptureBuffer::QueryNotify(ISoundNotify** notify) {
  if (notify == nullptr) {
    return DSERR_INVALIDPARAM;
  }
  *notify = new PulseCaptureNotify(ring_);
  return DS_OK;
}

SoundResult PulseCaptureBuffer::GetCurrentPosition(std::uint32_t* capturePosition,
                                                   std::uint32_t* readPosition) {
  if (capturePosition == nullptr && readPosition == nullptr) {
    return DSERR_INVALIDPARAM;
  }
  // The data reaches us in whole fragments, so where the server captures and where complete
  // data ends are the same point as far as the ring can tell.
  const std::uint32_t position = ring_->WritePosition();
  if (capturePosition != nullptr) {
    *capturePosition = position;
  }
  if (readPosition != nullptr) {
    *readPosition = position;
  }
  return DS_OK;
}

SoundResult PulseCaptureBuffer::GetStatus(std::uint32_t* status) {
  if (status == nullptr) {
    return DSERR_INVALIDPARAM;
  }
  *status = ring_->Status();
  return DS_OK;
}

SoundResult PulseCaptureBuffer::Start(std::uint32_t flags) {
  if ((flags & ~DSCBSTART_LOOPING) != 0) {
    return DSERR_INVALIDPARAM;
  }
  bool live = false;
  {
    PulseConnection::Lock lock(*connection_);
    live = StreamLive();
  }
  // A named source is looked for before its stream is opened again (the question takes the
  // lock and waits for the answer itself): PipeWire opens a stream on a source that is not
  // there and ends it only a moment later, where PulseAudio refuses it at once.
  if (!live && device_ && FindSource(*connection_, &*device_) != DS_OK) {
    return DSERR_NODRIVER;
  }
  PulseConnection::Lock lock(*connection_);
  if (!StreamLive()) {
    // The source went away earlier; it may be back (a replugged device), so try once more.
    CloseStream();
    if (!connection_->ContextUsable()) {
      return DSERR_NODRIVER;
    }
    const SoundResult result = OpenStream();
    if (result != DS_OK) {
      return result;
    }
  }
  ring_->Start((flags & DSCBSTART_LOOPING) != 0);
  const PulseOperationHandle uncorked(pa_stream_cork(stream_.get(), 0, nullptr, nullptr));
  if (uncorked == nullptr) {
    ring_->Stop();
    return ResultFromPulseError(pa_context_errno(connection_->Context()));
  }
  return DS_OK;
}

SoundResult PulseCaptureBuffer::Stop() {
  PulseConnection::Lock lock(*connection_);
  ring_->Stop();
  if (StreamLive()) {
    // Corking keeps the stream (and its source) for a later Start; whatever is still on its
    // way is dropped by the stopped ring.
    const PulseOperationHandle corked(pa_stream_cork(stream_.get(), 1, nullptr, nullptr));
  }
  return DS_OK;
}

SoundResult PulseCaptureBuffer::Lock(std::uint32_t offset, std::uint32_t bytes, void** first,
                                     std::uint32_t* firstBytes, void** second,
                                     std::uint32_t* secondBytes, std::uint32_t flags) {
  if (flags != 0) {
    return DSERR_INVALIDPARAM;
  }
  // Works on a stopped or orphaned ring too: the caller may have seen the status a moment
  // before the device went away, and its copy must still succeed.
  return ring_->Lock(offset, bytes, first, firstBytes, second, secondBytes);
}

SoundResult PulseCaptureBuffer::Unlock(void* first, std::uint32_t firstBytes, void* second,
                                       std::uint32_t secondBytes) {
  return ring_->Unlock(first, firstBytes, second, secondBytes);
}

}  // namespace sonavik
