// SPDX-License-Identifier: MIT
// The sound component TACAP: sets up the playback side when loaded, keeps a table of channel
// records, and decides for the whole process how a failing sound call is reported (debug
// log line, EACAP exception, or the end of the program) through CheckResult/WriteDebugLog.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "capture/platform/SoundPlatform.h"
#include "capture/platform/SoundRef.h"

namespace sonavik {

// TACAPDebugOption: a set held in one byte.
using TACAPDebugOption = std::uint8_t;
constexpr TACAPDebugOption dsoHaltOnError = 1u << 0;
constexpr TACAPDebugOption dsoDebugMessage = 1u << 1;
constexpr TACAPDebugOption dsoExceptOnError = 1u << 2;

class EACAP : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Process-wide reporting state (set by the last SetDebugOption of any component).
bool HaltOnErrorFlag();
bool DebugMessageFlag();
bool ExceptOnErrorFlag();
std::int32_t DebugLogCount();

// 0 passes silently; any other code is reported as message + "(Error Code(%X))" through
// WriteDebugLog, then the program ends when HaltOnErrorFlag is set (text to standard error,
// exit code 1). Returns the code. Takes a view so that the success path, which the measuring
// pass runs on every block, allocates nothing.
SoundResult CheckResult(SoundResult code, std::string_view message);
// Writes "debug#%.5d ... %s" CR LF to ACAP_DebugLog.txt beside the program file when
// DebugMessageFlag is set (the first line of a run empties the file), then throws EACAP
// when ExceptOnErrorFlag is set.
// A log that cannot be written throws std::ios_base::failure (or std::filesystem_error when
// the program's own folder cannot be found).
void WriteDebugLog(const std::string& text);

// "ACAP_DebugLog.txt" in the folder of the running program file.
std::filesystem::path DebugLogPath();

// Puts the log in another folder (empty: beside the program file again) and starts it as a
// new log: the count goes back to 0 and the next line empties the file there.
void SetDebugLogFolder(const std::filesystem::path& folder);

class TACAP;

// The sound system as the program sees it beside its captures: the capture devices on offer,
// the server it is connected to, and one listener for changes there. It works on the platform
// that is active when it is made.
class TACAPSoundSystem {
 public:
  TACAPSoundSystem();

  // The default device first, with a null id; returning false ends the list.
  SoundResult EnumerateCapture(const CaptureEnumCallback& callback);
  // Called on whatever thread noticed a change, so it only takes note and returns at once.
  // Returns when no call of the previous listener is running any more, except the one it is
  // called from.
  void SetOnChange(std::function<void()> listener);
  // For people; empty when not connected.
  std::string ServerDescription();
  // Makes the connection to the server again when it is lost; DS_OK while it holds.
  SoundResult Reconnect();

 private:
  SoundPlatform* platform_;
};

class TACAPParams3D {
 public:
  explicit TACAPParams3D(class TACAPChannel& channel);
  TACAPChannel& Channel() const { return channel_; }
  Buffer3DParams Params;

 private:
  TACAPChannel& channel_;
};

// A channel record of the component. Nothing plays through it yet: it holds the two sound
// objects a channel would play with (the second released before the first) and its 3D
// settings.
class TACAPChannel {
 public:
  explicit TACAPChannel(TACAP& owner);
  ~TACAPChannel();
  TACAPChannel(const TACAPChannel&) = delete;
  TACAPChannel& operator=(const TACAPChannel&) = delete;
  TACAP& Owner() const { return owner_; }
  TACAPParams3D& Params3D() { return *params3D_; }

 private:
  SoundRef<SoundObject> first_;
  SoundRef<SoundObject> second_;
  TACAP& owner_;
  std::unique_ptr<TACAPParams3D> params3D_;
};

class TACAPListener {
 public:
  // Applies Params to the component's 3D listener, when it holds one.
  explicit TACAPListener(TACAP& component);
  TACAP& Component() const { return component_; }
  Listener3DParams Params;

 private:
  TACAP& component_;
};

// Shows a text to the user: the program installs its message box here.
using TACAPMessageEvent = std::function<void(const std::string& text)>;

class TACAP {
 public:
  // ownerWindow: the native handle handed to SetCooperativeLevel (may be null). The component
  // and its captures work on the given platform, which must outlive them; without one, on the
  // platform installed at the time of each call (the program's wiring).
  explicit TACAP(SoundPlatform& platform, void* ownerWindow = nullptr);
  explicit TACAP(void* ownerWindow = nullptr);
  ~TACAP();
  TACAP(const TACAP&) = delete;
  TACAP& operator=(const TACAP&) = delete;

  TACAPDebugOption DebugOption() const { return debugOption_; }
  void SetDebugOption(TACAPDebugOption value);
  bool Use3D() const { return use3D_; }
  void SetUse3D(bool value) { use3D_ = value; }
  std::uint32_t ChannelCount() const { return channelCount_; }
  void SetChannelCount(std::uint32_t value) { channelCount_ = value; }
  bool StickyFocus() const { return stickyFocus_; }
  void SetStickyFocus(bool value) { stickyFocus_ = value; }
  SoundPlatform& Platform() const {
    return platform_ != nullptr ? *platform_ : ActiveSoundPlatform();
  }

  // What the component has to tell the user, such as the code of a device that cannot be
  // opened. Without a handler the text goes to standard error.
  void SetOnMessage(TACAPMessageEvent handler) { onMessage_ = std::move(handler); }
  void ShowMessage(const std::string& text) const;

  // After the stored properties are assigned: reapplies the debug option, sets up playback.
  void Loaded();
  bool InitDirectSound();
  // The channel at index, or nullptr (reported) for an index outside the table.
  TACAPChannel* GetChannel(std::int32_t index);

  ISoundDevice* SoundDevice() const { return soundDevice_.Get(); }
  ISoundBuffer* PrimaryBuffer() const { return primaryBuffer_.Get(); }
  IListener3D* Listener3D() const { return listener3D_.Get(); }
  TACAPListener* Listener() const { return listener_.get(); }
  std::size_t ChannelTableSize() const { return channels_.size(); }

 private:
  SoundPlatform* platform_ = nullptr;  // null: the installed one
  void* ownerWindow_;
  SoundRef<ISoundDevice> soundDevice_;
  SoundRef<ISoundBuffer> primaryBuffer_;
  SoundRef<IListener3D> listener3D_;
  std::vector<std::unique_ptr<TACAPChannel>> channels_;  // sized when loaded
  bool channelTable_ = false;
  std::uint32_t channelCount_ = 8;
  bool use3D_ = false;
  std::unique_ptr<TACAPListener> listener_;
  bool stickyFocus_ = true;
  TACAPDebugOption debugOption_ = 0;
  TACAPMessageEvent onMessage_;
};

}  // namespace sonavik
