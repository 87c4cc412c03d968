// SPDX-License-Identifier: MIT
#include "capture/pulse/PulseCaptureDevice.h"

#include "capture/pulse/PulseCaptureBuffer.h"

namespace sonavik {

PulseCaptureDevice::PulseCaptureDevice(std::shared_ptr<PulseConnection> connection,
                                       std::optional<std::string> source)
    : connection_(std::move(connection)), source_(std::move(source)) {}

SoundResult PulseCaptureDevice::SampleFormatFor(const CaptureBufferDesc& desc,
                                                pa_sample_spec* format) {
  // 28 bytes is the first version of the description, 36 the one with effects (none here).
  if (desc.dwSize != 28 && desc.dwSize != 36) {
    return DSERR_INVALIDPARAM;
  }
  if (desc.dwBufferBytes == 0 || desc.dwBufferBytes > kMaxBufferBytes ||
      desc.lpwfxFormat == nullptr) {
    return DSERR_INVALIDPARAM;
  }
  const WaveFormatEx& wave = *desc.lpwfxFormat;
  if (wave.wFormatTag != WAVE_FORMAT_PCM || (wave.nChannels != 1 && wave.nChannels != 2) ||
      (wave.wBitsPerSample != 8 && wave.wBitsPerSample != 16) ||
      wave.nBlockAlign != wave.nChannels * wave.wBitsPerSample / 8) {
    return DSERR_INVALIDPARAM;
  }
  // 8-bit PCM is unsigned, 16-bit signed little-endian: the ring holds what a WAVE file would.
  format->format = wave.wBitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE;
  format->channels = static_cast<std::uint8_t>(wave.nChannels);
  format->rate = wave.nSamplesPerSec;
  return pa_sample_spec_valid(format) ? DS_OK : DSERR_BADFORMAT;
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
  pa_sample_spec format{};
  const SoundResult checked = SampleFormatFor(*desc, &format);
  if (checked != DS_OK) {
    return checked;
  }
  return PulseCaptureBuffer::Create(connection_, source_, format, desc->dwBufferBytes, buffer);
}

}  // namespace sonavik
