#include "PulseCaptureDevice.h"

#include "PulseCaptureBuffer.h"

namespace sonavik {

PulseCaptureDevice::PulseCaptureDevice(std::shared_ptr<PulseConnection> connection,
                                       std::optional<std::string> source)
    : connection_(std::move(connection)), source_(std::move(source)) {}

SoundResult PulseCaptureDevice::SampleSpecFor(const CaptureBufferDesc& desc, pa_sample_spec* spec) {
  // 28 bytes is the first version of the description, 36 the one with effects (none here).
  if (desc.dwSize != 28 && desc.dwSize != 36) {
    return DSERR_INVALIDPARAM;
  }
  if (desc.dwBufferBytes == 0 || desc.dwBufferBytes > kMaxBufferBytes ||
      desc.lpwfxFormat == nullptr) {
    return DSERR_INVALIDPARAM;
  }
  const WaveFormatEx& format = *desc.lpwfxFormat;
  if (format.wFormatTag != WAVE_FORMAT_PCM || (format.nChannels != 1 && format.nChannels != 2) ||
      (format.wBitsPerSample != 8 && format.wBitsPerSample != 16) ||
      format.nBlockAlign != format.nChannels * format.wBitsPerSample / 8) {
    return DSERR_INVALIDPARAM;
  }
  // 8-bit PCM is unsigned, 16-bit signed little-endian: the ring holds what a WAVE file would.
  spec->format = format.wBitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE;
  spec->channels = static_cast<std::uint8_t>(format.nChannels);
  spec->rate = format.nSamplesPerSec;
  return pa_sample_spec_valid(spec) ? DS_OK : DSERR_BADFORMAT;
}

SoundResult PulseCaptureDevice::CreateCaptureBuffer(const CaptureBufferDesc* desc,
                                                    ICaptureBuffer** buffer) {
  if (buffer == nullptr) {
    return DSERR_INVALIDPARAM;
  }
  *buffer = nullptr;
  if (desc == nullptr) {
    return DSERR_INVALIDPARAM;
  }
  pa_sample_spec spec{};
  const SoundResult checked = SampleSpecFor(*desc, &spec);
  if (checked != DS_OK) {
    return checked;
  }
  return PulseCaptureBuffer::Create(connection_, source_, spec, desc->dwBufferBytes, buffer);
}

}  // namespace sonavik
