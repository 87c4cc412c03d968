// SPDX-License-Identifier: MIT
// What the sound session and its window say to each other: the window's side of the session
// (CaptureSessionView), the items of the device list it shows, and the ring every capture is
// made with.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

namespace sonavik {

// One entry of the device list: what it shows, and the device it opens (none: the default
// device, which follows the server's default).
struct DeviceItem {
  std::string text;
  std::optional<std::string> id;
  bool operator==(const DeviceItem&) const = default;
};

// What the session asks of its window, always on the window thread. The list changes item by
// item, so a list the user has open keeps its place.
class CaptureSessionView {
 public:
  virtual ~CaptureSessionView() = default;
  virtual void InsertDevice(int index, const DeviceItem& item) = 0;
  virtual void RemoveDevice(int index) = 0;
  virtual void ChooseDevice(int index) = 0;
  // A failure the session met on its own (not in a call of the window's): the window reports
  // it as it reports its own.
  virtual void ReportError(const std::exception_ptr& error) = 0;

 protected:
  CaptureSessionView() = default;
  CaptureSessionView(const CaptureSessionView&) = default;
  CaptureSessionView& operator=(const CaptureSessionView&) = default;
};

// The ring every capture is made with.
struct CaptureFormat {
  std::uint32_t rate = 0;
  std::uint32_t bits = 0;
  bool stereo = true;
  std::uint32_t ringBytes = 0;
};

}  // namespace sonavik
