// SPDX-License-Identifier: MIT
#include "capture/sound/ACAP.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <utility>

#include "threads/Mutex.h"

namespace sonavik {
namespace {

// Written by SetDebugOption on the window thread; atomics so that a capture buffer used from
// another thread never races with it.
std::atomic<bool> gHaltOnError{false};
std::atomic<bool> gDebugMessage{false};
std::atomic<bool> gExceptOnError{false};

struct DebugLogState {
  Mutex mutex;
  std::int32_t count GUARDED_BY(mutex) = 0;
  std::filesystem::path folder GUARDED_BY(mutex);  // empty: beside the program file
};

DebugLogState& LogState() {
  static DebugLogState state;
  return state;
}

// The end of the program on dsoHaltOnError. It is a failure, so it must not look like a
// success to whoever started us: the text goes to standard error and the exit code is 1.
// quick_exit, because other threads (the sound server's, a notification thread) may still
// be inside objects that static destructors would tear down under them.
[[noreturn]] void HaltProgram(const std::string& text) {
  std::fputs(text.c_str(), stderr);
  std::fputc('\n', stderr);
  std::fflush(nullptr);
  std::quick_exit(1);
}

std::filesystem::path ProgramFolder() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

}  // namespace

bool HaltOnErrorFlag() {
  return gHaltOnError.load();
}
bool DebugMessageFlag() {
  return gDebugMessage.load();
}
bool ExceptOnErrorFlag() {
  return gExceptOnError.load();
}

std::int32_t DebugLogCount() {
  DebugLogState& state = LogState();
  const MutexLock lock(state.mutex);
  return state.count;
}

std::filesystem::path DebugLogPath() {
  std::filesystem::path folder;
  {
    DebugLogState& state = LogState();
    const MutexLock lock(state.mutex);
    folder = state.folder;
  }
  if (folder.empty()) {
    folder = ProgramFolder();
  }
  return folder / "ACAP_DebugLog.txt";
}

void SetDebugLogFolder(const std::filesystem::path& folder) {
  DebugLogState& state = LogState();
  const MutexLock lock(state.mutex);
  state.folder = folder;
  state.count = 0;
}

SoundResult CheckResult(SoundResult code, std::string_view message) {
  if (code == DS_OK) {
    return code;
  }
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, "(Error Code(%X))", static_cast<unsigned>(code));
  const std::string text = std::string(message) + suffix;
  WriteDebugLog(text);
  if (HaltOnErrorFlag()) {
    HaltProgram(text);
  }
  return code;
}

void WriteDebugLog(const std::string& text) {
  if (DebugMessageFlag()) {
    const std::filesystem::path path = DebugLogPath();
    DebugLogState& state = LogState();
    const MutexLock lock(state.mutex);
    std::ofstream file;
    file.exceptions(std::ios::failbit | std::ios::badbit);
    // The first line of a run starts the file afresh.
    file.open(path, std::ios::binary | (state.count == 0 ? std::ios::trunc : std::ios::app));
    ++state.count;
    char head[32];
    std::snprintf(head, sizeof head, "debug#%.5d ... ", static_cast<int>(state.count));
    file << head << text << "\r\n";
    file.close();
  }
  if (ExceptOnErrorFlag()) {
    throw EACAP(text);
  }
}

TACAPParams3D::TACAPParams3D(TACAPChannel& channel) : channel_(channel) {
  Params.dwSize = 64;
  Params.dwInsideConeAngle = 360;
  Params.dwOutsideConeAngle = 360;
  Params.vConeOrientation = {0.0, 0.0, 1.0};
  Params.lConeOutsideVolume = 0;
  Params.flMinDistance = 5.0;
  Params.flMaxDistance = 100.0;
  Params.dwMode = 0;
}

TACAPChannel::TACAPChannel(TACAP& owner)
    : owner_(owner), params3D_(std::make_unique<TACAPParams3D>(*this)) {}

TACAPChannel::~TACAPChannel() {
  second_.Reset();
  first_.Reset();
}

TACAPListener::TACAPListener(TACAP& component) : component_(component) {
  Params.dwSize = 64;
  Params.vOrientFront = {0.0, 0.0, 1.0};
  Params.vOrientTop = {0.0, 1.0, 0.0};
  Params.flDistanceFactor = 1.0;
  Params.flRolloffFactor = 1.0;
  Params.flDopplerFactor = 1.0;
  if (IListener3D* listener = component.Listener3D()) {
    CheckResult(listener->SetAllParameters(&Params, DS3D_IMMEDIATE),
                "Listenerに指定されたパラメータが不適切です");
  }
}

TACAP::TACAP(SoundPlatform& platform, void* ownerWindow)
    : platform_(&platform), ownerWindow_(ownerWindow) {
  SetDebugOption(dsoHaltOnError);
}

TACAP::TACAP(void* ownerWindow) : ownerWindow_(ownerWindow) {
  SetDebugOption(dsoHaltOnError);
}

TACAP::~TACAP() {
  channels_.clear();
  listener_.reset();
  // A destructor cannot pass a report on as an exception: with dsoExceptOnError the line is
  // written (when asked for) and the remaining objects are still released. The exception's
  // text goes to standard error, as the end of the program's would: the log may be off, or
  // may be what failed.
  auto release = [](auto& object, const char* message) {
    if (!object) {
      return;
    }
    const std::uint32_t left = object.Reset();
    try {
      CheckResult(left, message);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
    }
  };
  release(listener3D_, "DirectSound3D Listnerの解放に失敗しました");
  release(primaryBuffer_, "一次バッファの解放に失敗しました");
  release(soundDevice_, "DirectSoundの解放に失敗しました");
}

void TACAP::SetDebugOption(TACAPDebugOption value) {
  debugOption_ = value;
  gDebugMessage = (value & dsoDebugMessage) != 0;
  gExceptOnError = (value & dsoExceptOnError) != 0;
  gHaltOnError = (value & dsoHaltOnError) != 0;
}

void TACAP::ShowMessage(const std::string& text) const {
  if (onMessage_) {
    onMessage_(text);
    return;
  }
  // The text is data, never a format.
  std::fputs(text.c_str(), stderr);
  std::fputc('\n', stderr);
}

void TACAP::Loaded() {
  SetDebugOption(debugOption_);
  InitDirectSound();
}

bool TACAP::InitDirectSound() {
  channels_.clear();
  channels_.reserve(channelCount_);
  for (std::uint32_t i = 0; i < channelCount_; ++i) {
    channels_.push_back(std::make_unique<TACAPChannel>(*this));
  }
  channelTable_ = true;

  // A second load sets playback up afresh; what the first one holds is given back quietly.
  listener_.reset();
  listener3D_.Reset();
  primaryBuffer_.Reset();
  soundDevice_.Reset();

  ISoundDevice* device = nullptr;
  if (Platform().CreateSoundDevice(&device) != DS_OK || device == nullptr) {
    return false;
  }
  soundDevice_ = SoundRef(device);
  if (soundDevice_->Initialize(nullptr) != DS_OK) {
    return false;
  }

  CheckResult(soundDevice_->SetCooperativeLevel(ownerWindow_, DSSCL_PRIORITY),
              "DirectSoundの協調レベルの設定に失敗しました");

  SoundBufferDesc desc;
  desc.dwSize = 36;
  desc.dwFlags = DSBCAPS_PRIMARYBUFFER | (use3D_ ? DSBCAPS_CTRL3D : 0);
  ISoundBuffer* primary = nullptr;
  const SoundResult created = soundDevice_->CreateSoundBuffer(&desc, &primary);
  if (created == DS_OK) {
    primaryBuffer_ = SoundRef(primary);
  }
  CheckResult(created, "一次バッファの作成に失敗しました");

  if (use3D_) {
    // Without a primary buffer there is no listener to ask for.
    if (primaryBuffer_) {
      IListener3D* listener = nullptr;
      const SoundResult queried = primaryBuffer_->QueryListener3D(&listener);
      if (queried == DS_OK) {
        listener3D_ = SoundRef(listener);
      }
      CheckResult(queried, "DirectSound3D Listenerの作成に失敗しました");
    }
    listener_.reset();
    listener_ = std::make_unique<TACAPListener>(*this);
  }
  return true;
}

TACAPChannel* TACAP::GetChannel(std::int32_t index) {
  // The table keeps the size it was loaded with, whatever ChannelCount says now.
  const auto size = static_cast<std::int64_t>(channels_.size());
  if (index >= 0 && index < size) {
    return channels_[static_cast<std::size_t>(index)].get();
  }
  char text[160];
  std::snprintf(text, sizeof text, "チャンネル番号%dは無効です、%d～%dの範囲で指定してください",
                index, 0, static_cast<int>(size - 1));
  WriteDebugLog(text);
  if (HaltOnErrorFlag()) {
    HaltProgram(text);
  }
  return nullptr;
}

TACAPSoundSystem::TACAPSoundSystem() : platform_(&ActiveSoundPlatform()) {}

SoundResult TACAPSoundSystem::EnumerateCapture(const CaptureEnumCallback& callback) {
  return platform_->EnumerateCapture(callback);
}

void TACAPSoundSystem::SetOnChange(std::function<void()> listener) {
  platform_->SetOnChange(std::move(listener));
}

std::string TACAPSoundSystem::ServerDescription() {
  return platform_->ServerDescription();
}

SoundResult TACAPSoundSystem::Reconnect() {
  return platform_->Reconnect();
}

}  // namespace sonavik
