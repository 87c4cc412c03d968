// SPDX-License-Identifier: MIT
// Writes frames into a block the way the capture ring holds them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/MeasuringPass.h"

namespace sonavik::test {

inline void PutFrame(std::uint8_t* bytes, int frame, std::int16_t left, std::int16_t right) {
  const auto l = static_cast<std::uint16_t>(left);
  const auto r = static_cast<std::uint16_t>(right);
  std::uint8_t* p = bytes + std::ptrdiff_t{4} * frame;
  p[0] = static_cast<std::uint8_t>(l & 0xFF);
  p[1] = static_cast<std::uint8_t>(l >> 8);
  p[2] = static_cast<std::uint8_t>(r & 0xFF);
  p[3] = static_cast<std::uint8_t>(r >> 8);
}

inline void PutFrame(TMeasuringPass::Block& block, int frame, std::int16_t left,
                     std::int16_t right) {
  PutFrame(block.data(), frame, left, right);
}

// The captured half at (left, right), the second half zero.
inline void FillCaptured(TMeasuringPass::Block& block, std::int16_t left, std::int16_t right) {
  block.fill(0);
  for (int i = 0; i < TMeasuringPass::kFrames / 2; ++i) {
    PutFrame(block, i, left, right);
  }
}

inline PassSettings AtPosition(int position) {
  PassSettings s;
  s.gainPosition = position;
  return s;
}

}  // namespace sonavik::test
