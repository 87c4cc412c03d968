// SPDX-License-Identifier: MIT
#include "support/FakeSound.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

namespace sonavik {

const char* KindName(FakeSound::Kind kind) {
  switch (kind) {
    case FakeSound::Kind::CaptureDevice:
      return "CaptureDevice";
    case FakeSound::Kind::CaptureBuffer:
      return "CaptureBuffer";
    case FakeSound::Kind::Notify:
      return "Notify";
    case FakeSound::Kind::SoundDevice:
      return "SoundDevice";
    case FakeSound::Kind::PrimaryBuffer:
      return "PrimaryBuffer";
    case FakeSound::Kind::Listener3D:
      return "Listener3D";
  }
  return "?";
}

namespace {

constexpr std::size_t kKinds = 6;
constexpr std::size_t kSteps = static_cast<std::size_t>(FakeSound::Step::SetAllParameters) + 1;

// Reference counting shared by every fake object; the object itself stays allocated (owned
// by the state) after its last release, so a late call is caught instead of crashing.
class FakeBase {
 public:
  FakeBase(FakeSound::State& state, FakeSound::Kind kind, std::uint32_t extra)
      : state_(state), kind_(kind), refs_(1 + extra) {}
  virtual ~FakeBase() = default;
  FakeSound::Kind Kind() const { return kind_; }
  std::uint32_t Refs() const { return refs_; }

 protected:
  struct NoNote {
    void operator()() const {}
  };

  std::uint32_t DoAddRef();
  std::uint32_t DoRelease();
  // What every method does first, in this order: clears the caller's out pointer, locks the
  // state and records the call, refuses a released object (DSERR_INVALIDCALL), lets `note`
  // keep what the call was given, and returns the scripted failure of `step`. DS_OK lets the
  // method go on with its own work under the lock. Pass {} for an `out` the method lacks.
  template <class Out = void, class Note = NoNote>
  SoundResult Begin(std::unique_lock<std::mutex>& lock, const std::string& call,
                    FakeSound::Step step, Out** out = nullptr, Note note = {});

  FakeSound::State& state_;
  FakeSound::Kind kind_;
  std::uint32_t refs_;
};

}  // namespace

struct FakeSound::State {
  mutable std::mutex mutex;
  std::vector<Device> devices;
  std::array<SoundResult, kSteps> failures{};
  std::array<bool, kSteps> throws{};
  std::map<std::optional<std::string>, SoundResult> openFailures;
  std::array<std::uint32_t, kKinds> extraRefs{};
  std::array<std::size_t, kKinds> created{};
  std::vector<std::unique_ptr<FakeBase>> objects;

  std::vector<std::uint8_t> ring;
  std::uint32_t readPosition = 0;
  std::uint32_t capturePosition = 0;
  std::uint32_t writePosition = 0;
  std::uint32_t status = 0;
  bool vanished = false;
  std::vector<PositionNotify> positions;
  bool locked = false;
  void* lockedFirst = nullptr;
  std::uint32_t lockedFirstBytes = 0;
  void* lockedSecond = nullptr;
  std::uint32_t lockedSecondBytes = 0;

  std::vector<std::string> calls;
  std::vector<std::string> errors;
  std::optional<CaptureDescSeen> captureDesc;
  std::optional<LockSeen> lastLock;
  std::optional<SoundBufferDesc> soundBufferDesc;
  std::optional<Listener3DParams> listenerParams;
  void* cooperativeWindow = nullptr;
  std::optional<std::uint32_t> cooperativeLevel;
  bool sessionOpen = false;

  SoundResult Failure(Step step) const { return failures[static_cast<std::size_t>(step)]; }
  void ThrowIfAsked(Step step) {
    if (std::exchange(throws[static_cast<std::size_t>(step)], false)) {
      throw std::bad_alloc();
    }
  }

  template <class T, class... Args>
  T* Make(FakeSound::Kind kind, Args&&... args) {
    const auto k = static_cast<std::size_t>(kind);
    auto object = std::make_unique<T>(*this, kind, extraRefs[k], std::forward<Args>(args)...);
    T* raw = object.get();
    objects.push_back(std::move(object));
    ++created[k];
    return raw;
  }

  // Signals the armed events whose offset the writer reaches moving count bytes from `from`.
  void SignalCrossed(std::uint32_t from, std::size_t count) {
    const std::size_t size = ring.size();
    if (size == 0 || count == 0) {
      return;
    }
    // Set together, as the device sets what one write reached.
    std::vector<EventHandle> reached;
    for (const PositionNotify& p : positions) {
      if (p.dwOffset == DSBPN_OFFSETSTOP || p.dwOffset >= size || !p.hEventNotify) {
        continue;
      }
      // Distance from the writer to the offset, counting the offset itself as reached only
      // after at least one byte moved (offset 0 is reached at the wrap).
      std::size_t distance = (p.dwOffset + size - from) % size;
      if (distance == 0) {
        distance = size;
      }
      if (distance <= count) {
        reached.push_back(p.hEventNotify);
      }
    }
    SetTogether(reached.data(), reached.size());
  }

  void SignalStop() {
    for (const PositionNotify& p : positions) {
      if (p.dwOffset == DSBPN_OFFSETSTOP && p.hEventNotify) {
        p.hEventNotify->Set();
      }
    }
  }
};

namespace {

std::uint32_t FakeBase::DoAddRef() {
  std::unique_lock lock(state_.mutex);
  if (refs_ == 0) {
    state_.errors.emplace_back(std::string(KindName(kind_)) + ".AddRef after its release");
    return 0;
  }
  return ++refs_;
}

std::uint32_t FakeBase::DoRelease() {
  std::unique_lock lock(state_.mutex);
  if (refs_ == 0) {
    state_.errors.emplace_back(std::string(KindName(kind_)) + ".Release after its release");
    return 0;
  }
  --refs_;
  state_.calls.emplace_back(std::string(KindName(kind_)) + ".Release=" + std::to_string(refs_));
  if (refs_ == 0 && kind_ == FakeSound::Kind::CaptureBuffer) {
    // A released capture buffer no longer captures nor signals.
    state_.status = 0;
    state_.positions.clear();
  }
  return refs_;
}

template <class Out, class Note>
SoundResult FakeBase::Begin(std::unique_lock<std::mutex>& lock, const std::string& call,
                            FakeSound::Step step, Out** out, Note note) {
  if (out != nullptr) {
    *out = nullptr;
  }
  lock = std::unique_lock(state_.mutex);
  const std::string name = std::string(KindName(kind_)) + "." + call;
  state_.calls.emplace_back(name);
  if (refs_ == 0) {
    state_.errors.emplace_back(name + " after its release");
    return DSERR_INVALIDCALL;
  }
  note();
  return state_.Failure(step);
}

class FakeNotify : public ISoundNotify, public FakeBase {
 public:
  using FakeBase::FakeBase;
  std::uint32_t AddRef() override { return DoAddRef(); }
  std::uint32_t Release() override { return DoRelease(); }
  SoundResult SetNotificationPositions(std::uint32_t count,
                                       const PositionNotify* positions) override {
    std::unique_lock<std::mutex> lock;
    if (SoundResult r =
            Begin(lock, "SetNotificationPositions", FakeSound::Step::SetNotificationPositions)) {
      return r;
    }
    if (count > 0 && positions == nullptr) {
      return DSERR_INVALIDPARAM;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
      if (positions[i].dwOffset != DSBPN_OFFSETSTOP &&
          positions[i].dwOffset >= state_.ring.size()) {
        return DSERR_INVALIDPARAM;
      }
    }
    state_.positions.assign(positions, positions + count);
    return DS_OK;
  }
};

class FakeCaptureBuffer : public ICaptureBuffer, public FakeBase {
 public:
  using FakeBase::FakeBase;
  std::uint32_t AddRef() override { return DoAddRef(); }
  std::uint32_t Release() override { return DoRelease(); }

  SoundResult QueryNotify(ISoundNotify** notify) override {
    std::unique_lock<std::mutex> lock;
    if (SoundResult r = Begin(lock, "QueryNotify", FakeSound::Step::QueryNotify, notify)) {
      return r;
    }
    if (notify == nullptr) {
      return DSERR_INVALIDPARAM;
    }
    *notify = state_.Make<FakeNotify>(FakeSound::Kind::Notify);
    return DS_OK;
  }

  SoundResult GetCurrentPosition(std::uint32_t* capturePosition,
                                 std::uint32_t* readPosition) override {
    std::unique_lock<std::mutex> lock;
    if (SoundResult r = Begin(lock, "GetCurrentPosition", FakeSound::Step::GetCurrentPosition)) {
      return r;
    }
    if (capturePosition != nullptr) {
      *capturePosition = state_.capturePosition;
    }
    if (readPosition != nullptr) {
      *readPosition = state_.readPosition;
    }
    return DS_OK;
  }

  SoundResult GetStatus(std::uint32_t* status) override {
    std::unique_lock<std::mutex> lock;
    if (SoundResult r = Begin(lock, "GetStatus", FakeSound::Step::GetStatus)) {
      return r;
    }
    if (status == nullptr) {
      return DSERR_INVALIDPARAM;
    }
    *status = state_.status;
    return DS_OK;
  }

  SoundResult Start(std::uint32_t flags) override {
    std::unique_lock<std::mutex> lock;
    if (SoundResult r =
            Begin(lock, "Start(" + std::to_string(flags) + ")", FakeSound::Step::Start)) {
      return r;
    }
    if (state_.vanished) {
      return DSERR_NODRIVER;
    }
    state_.status = DSCBSTATUS_CAPTURING | ((flags & DSCBSTART_LOOPING) ? DSCBSTATUS_LOOPING : 0);
    return DS_OK;
  }

  SoundResult Stop() override {
    std::unique_lock<std::mutex> lock;
    if (SoundResult r = Begin(lock, "Stop", FakeSound::Step::Stop)) {
      return r;
    }
    const bool wasCapturing = (state_.status & DSCBSTATUS_CAPTURING) != 0;
    state_.status = 0;
    if (wasCapturing) {
      state_.SignalStop();
    }
    return DS_OK;
  }

  SoundResult Lock(std::uint32_t offset, std::uint32_t bytes, void** first,
                   std::uint32_t* firstBytes, void** second, std::uint32_t* secondBytes,
                   std::uint32_t flags) override {
    std::unique_lock<std::mutex> lock;
    const auto noteLock = [&] { state_.lastLock = FakeSound::LockSeen{offset, bytes, flags}; };
    if (SoundResult r =
            Begin(lock, "Lock(" + std::to_string(offset) + "," + std::to_string(bytes) + ")",
                  FakeSound::Step::Lock, {}, noteLock)) {
      return r;
    }
    const std::size_t size = state_.ring.size();
    if (first == nullptr || firstBytes == nullptr || offset >= size || bytes > size) {
      return DSERR_INVALIDPARAM;
    }
    if (state_.locked) {
      state_.errors.emplace_back("CaptureBuffer.Lock while locked");
    }
    std::uint8_t* ring = state_.ring.data();
    const std::uint32_t toEnd = static_cast<std::uint32_t>(size) - offset;
    *first = ring + offset;
    *firstBytes = std::min(bytes, toEnd);
    void* secondPiece = nullptr;
    std::uint32_t secondCount = 0;
    if (bytes > toEnd) {
      secondPiece = ring;
      secondCount = bytes - toEnd;
    }
    if (second != nullptr) {
      *second = secondPiece;
    }
    if (secondBytes != nullptr) {
      *secondBytes = secondCount;
    }
    state_.locked = true;
    state_.lockedFirst = *first;
    state_.lockedFirstBytes = *firstBytes;
    state_.lockedSecond = secondPiece;
    state_.lockedSecondBytes = secondCount;
    return DS_OK;
  }

  SoundResult Unlock(void* first, std::uint32_t firstBytes, void* second,
                     std::uint32_t secondBytes) override {
    std::unique_lock<std::mutex> lock;
    if (SoundResult r = Begin(lock, "Unlock", FakeSound::Step::Unlock)) {
      return r;
    }
    if (!state_.locked) {
      state_.errors.emplace_back("CaptureBuffer.Unlock without a Lock");
      return DSERR_INVALIDCALL;
    }
    if (first != state_.lockedFirst || firstBytes != state_.lockedFirstBytes ||
        second != state_.lockedSecond || secondBytes != state_.lockedSecondBytes) {
      state_.errors.emplace_back("CaptureBuffer.Unlock with pieces other than the Lock gave");
    }
    state_.locked = false;
    return DS_OK;
  }
};

class FakeCaptureDevice : public ICaptureDevice, public FakeBase {
 public:
  using FakeBase::FakeBase;
  std::uint32_t AddRef() override { return DoAddRef(); }
  std::uint32_t Release() override { return DoRelease(); }
  SoundResult CreateCaptureBuffer(const CaptureBufferDesc* desc, ICaptureBuffer** buffer) override {
    std::unique_lock<std::mutex> lock;
    if (SoundResult r =
            Begin(lock, "CreateCaptureBuffer", FakeSound::Step::CreateCaptureBuffer, buffer, [&] {
              if (desc != nullptr) {
                FakeSound::CaptureDescSeen seen{*desc, std::nullopt};
                if (desc->lpwfxFormat != nullptr) {
                  seen.format = *desc->lpwfxFormat;
                }
                seen.desc.lpwfxFormat = nullptr;
                state_.captureDesc = seen;
              }
            })) {
      return r;
    }
    if (desc == nullptr || buffer == nullptr || desc->lpwfxFormat == nullptr ||
        (desc->dwSize != 28 && desc->dwSize != 36) || desc->dwBufferBytes == 0) {
      return DSERR_INVALIDPARAM;
    }
    if (desc->lpwfxFormat->wFormatTag != WAVE_FORMAT_PCM) {
      return DSERR_BADFORMAT;
    }
    state_.ring.assign(desc->dwBufferBytes, 0);
    state_.readPosition = state_.capturePosition = state_.writePosition = 0;
    state_.status = 0;
    state_.positions.clear();
    state_.locked = false;
    *buffer = state_.Make<FakeCaptureBuffer>(FakeSound::Kind::CaptureBuffer);
    return DS_OK;
  }
};

class FakeListener : public IListener3D, public FakeBase {
 public:
  using FakeBase::FakeBase;
  std::uint32_t AddRef() override { return DoAddRef(); }
  std::uint32_t Release() override { return DoRelease(); }
  SoundResult SetAllParameters(const Listener3DParams* params, std::uint32_t apply) override {
    std::unique_lock<std::mutex> lock;
    if (SoundResult r = Begin(lock, "SetAllParameters(" + std::to_string(apply) + ")",
                              FakeSound::Step::SetAllParameters, {}, [&] {
                                if (params != nullptr) {
                                  state_.listenerParams = *params;
                                }
                              })) {
      return r;
    }
    return params == nullptr ? DSERR_INVALIDPARAM : DS_OK;
  }
};

class FakePrimaryBuffer : public ISoundBuffer, public FakeBase {
 public:
  FakePrimaryBuffer(FakeSound::State& state, FakeSound::Kind kind, std::uint32_t extra, bool ctrl3D)
      : FakeBase(state, kind, extra), ctrl3D_(ctrl3D) {}
  std::uint32_t AddRef() override { return DoAddRef(); }
  std::uint32_t Release() override { return DoRelease(); }
  SoundResult QueryListener3D(IListener3D** listener) override {
    std::unique_lock<std::mutex> lock;
    if (SoundResult r =
            Begin(lock, "QueryListener3D", FakeSound::Step::QueryListener3D, listener)) {
      return r;
    }
    if (listener == nullptr) {
      return DSERR_INVALIDPARAM;
    }
    // Only a primary buffer made with 3D control has a listener.
    if (!ctrl3D_) {
      return E_NOINTERFACE_;
    }
    *listener = state_.Make<FakeListener>(FakeSound::Kind::Listener3D);
    return DS_OK;
  }

 private:
  bool ctrl3D_;
};

class FakeSoundDevice : public ISoundDevice, public FakeBase {
 public:
  using FakeBase::FakeBase;
  std::uint32_t AddRef() override { return DoAddRef(); }
  std::uint32_t Release() override { return DoRelease(); }
  SoundResult Initialize(const std::string* deviceId) override {
    std::unique_lock<std::mutex> lock;
    if (SoundResult r = Begin(
            lock, deviceId == nullptr ? "Initialize(default)" : "Initialize(" + *deviceId + ")",
            FakeSound::Step::DeviceInitialize)) {
      return r;
    }
    initialized_ = true;
    return DS_OK;
  }
  SoundResult SetCooperativeLevel(void* window, std::uint32_t level) override {
    std::unique_lock<std::mutex> lock;
    if (SoundResult r = Begin(lock, "SetCooperativeLevel(" + std::to_string(level) + ")",
                              FakeSound::Step::SetCooperativeLevel, {}, [&] {
                                state_.cooperativeWindow = window;
                                state_.cooperativeLevel = level;
                              })) {
      return r;
    }
    return initialized_ ? DS_OK : DSERR_INVALIDCALL;
  }
  SoundResult CreateSoundBuffer(const SoundBufferDesc* desc, ISoundBuffer** buffer) override {
    std::unique_lock<std::mutex> lock;
    if (SoundResult r =
            Begin(lock, "CreateSoundBuffer", FakeSound::Step::CreateSoundBuffer, buffer, [&] {
              if (desc != nullptr) {
                state_.soundBufferDesc = *desc;
              }
            })) {
      return r;
    }
    if (!initialized_) {
      return DSERR_INVALIDCALL;
    }
    if (desc == nullptr || buffer == nullptr || desc->dwSize != 36 ||
        (desc->dwFlags & DSBCAPS_PRIMARYBUFFER) == 0) {
      return DSERR_INVALIDPARAM;
    }
    *buffer = state_.Make<FakePrimaryBuffer>(FakeSound::Kind::PrimaryBuffer,
                                             (desc->dwFlags & DSBCAPS_CTRL3D) != 0);
    return DS_OK;
  }

 private:
  bool initialized_ = false;
};

}  // namespace

FakeSound::FakeSound() : state_(std::make_unique<State>()) {}
FakeSound::~FakeSound() = default;

void FakeSound::SetDevices(std::vector<Device> devices) {
  std::lock_guard lock(state_->mutex);
  state_->devices = std::move(devices);
}

void FakeSound::Fail(Step step, SoundResult code) {
  std::lock_guard lock(state_->mutex);
  state_->failures[static_cast<std::size_t>(step)] = code;
}

void FakeSound::FailOpen(std::optional<std::string> id, SoundResult code) {
  std::lock_guard lock(state_->mutex);
  if (code == DS_OK) {
    state_->openFailures.erase(id);
  } else {
    state_->openFailures[std::move(id)] = code;
  }
}

void FakeSound::ThrowOnce(Step step) {
  std::lock_guard lock(state_->mutex);
  state_->throws[static_cast<std::size_t>(step)] = true;
}

void FakeSound::ClearFailures() {
  std::lock_guard lock(state_->mutex);
  state_->failures.fill(DS_OK);
  state_->openFailures.clear();
}

void FakeSound::SetExtraReferences(Kind kind, std::uint32_t n) {
  std::lock_guard lock(state_->mutex);
  state_->extraRefs[static_cast<std::size_t>(kind)] = n;
}

std::uint32_t FakeSound::RingSize() const {
  std::lock_guard lock(state_->mutex);
  return static_cast<std::uint32_t>(state_->ring.size());
}

void FakeSound::WriteRing(std::uint32_t offset, const void* bytes, std::size_t count) {
  std::lock_guard lock(state_->mutex);
  const std::size_t size = state_->ring.size();
  if (size == 0) {
    state_->errors.emplace_back("WriteRing before a capture buffer exists");
    return;
  }
  const auto* in = static_cast<const std::uint8_t*>(bytes);
  for (std::size_t i = 0; i < count; ++i) {
    state_->ring[(offset + i) % size] = in[i];
  }
}

std::vector<std::uint8_t> FakeSound::Ring() const {
  std::lock_guard lock(state_->mutex);
  return state_->ring;
}

void FakeSound::SetReadPosition(std::uint32_t position) {
  std::lock_guard lock(state_->mutex);
  state_->readPosition = position;
}

void FakeSound::SetCapturePosition(std::uint32_t position) {
  std::lock_guard lock(state_->mutex);
  state_->capturePosition = position;
}

void FakeSound::Capture(const void* bytes, std::size_t count) {
  std::lock_guard lock(state_->mutex);
  const std::size_t size = state_->ring.size();
  if (size == 0) {
    state_->errors.emplace_back("Capture before a capture buffer exists");
    return;
  }
  const auto* in = static_cast<const std::uint8_t*>(bytes);
  const std::uint32_t from = state_->writePosition;
  for (std::size_t i = 0; i < count; ++i) {
    state_->ring[(from + i) % size] = in[i];
  }
  state_->writePosition = static_cast<std::uint32_t>((from + count) % size);
  state_->readPosition = state_->capturePosition = state_->writePosition;
  state_->SignalCrossed(from, count);
}

std::uint32_t FakeSound::WritePosition() const {
  std::lock_guard lock(state_->mutex);
  return state_->writePosition;
}

void FakeSound::SetStatus(std::uint32_t status) {
  std::lock_guard lock(state_->mutex);
  state_->status = status;
}

std::uint32_t FakeSound::Status() const {
  std::lock_guard lock(state_->mutex);
  return state_->status;
}

bool FakeSound::FireNotify(std::size_t index) {
  std::lock_guard lock(state_->mutex);
  if (index >= state_->positions.size() || !state_->positions[index].hEventNotify) {
    return false;
  }
  state_->positions[index].hEventNotify->Set();
  return true;
}

void FakeSound::Vanish() {
  std::lock_guard lock(state_->mutex);
  state_->vanished = true;
  state_->status = 0;
}

std::vector<std::string> FakeSound::Calls() const {
  std::lock_guard lock(state_->mutex);
  return state_->calls;
}

std::size_t FakeSound::CallCount(const std::string& call) const {
  std::lock_guard lock(state_->mutex);
  return static_cast<std::size_t>(std::count(state_->calls.begin(), state_->calls.end(), call));
}

void FakeSound::ClearCalls() {
  std::lock_guard lock(state_->mutex);
  state_->calls.clear();
}

std::vector<std::string> FakeSound::Errors() const {
  std::lock_guard lock(state_->mutex);
  return state_->errors;
}

std::optional<FakeSound::CaptureDescSeen> FakeSound::LastCaptureDesc() const {
  std::lock_guard lock(state_->mutex);
  return state_->captureDesc;
}

std::vector<PositionNotify> FakeSound::NotificationPositions() const {
  std::lock_guard lock(state_->mutex);
  return state_->positions;
}

std::optional<FakeSound::LockSeen> FakeSound::LastLock() const {
  std::lock_guard lock(state_->mutex);
  return state_->lastLock;
}

std::optional<SoundBufferDesc> FakeSound::LastSoundBufferDesc() const {
  std::lock_guard lock(state_->mutex);
  return state_->soundBufferDesc;
}

std::optional<Listener3DParams> FakeSound::LastListenerParams() const {
  std::lock_guard lock(state_->mutex);
  return state_->listenerParams;
}

void* FakeSound::CooperativeWindow() const {
  std::lock_guard lock(state_->mutex);
  return state_->cooperativeWindow;
}

std::optional<std::uint32_t> FakeSound::CooperativeLevel() const {
  std::lock_guard lock(state_->mutex);
  return state_->cooperativeLevel;
}

std::size_t FakeSound::LiveObjects(Kind kind) const {
  std::lock_guard lock(state_->mutex);
  return static_cast<std::size_t>(
      std::count_if(state_->objects.begin(), state_->objects.end(),
                    [&](const auto& o) { return o->Kind() == kind && o->Refs() > 0; }));
}

std::size_t FakeSound::LiveObjects() const {
  std::lock_guard lock(state_->mutex);
  return static_cast<std::size_t>(std::count_if(state_->objects.begin(), state_->objects.end(),
                                                [](const auto& o) { return o->Refs() > 0; }));
}

std::size_t FakeSound::CreatedObjects(Kind kind) const {
  std::lock_guard lock(state_->mutex);
  return state_->created[static_cast<std::size_t>(kind)];
}

bool FakeSound::SessionOpen() const {
  std::lock_guard lock(state_->mutex);
  return state_->sessionOpen;
}

SoundResult FakeSound::Initialize() {
  std::lock_guard lock(state_->mutex);
  state_->calls.emplace_back("Initialize");
  state_->ThrowIfAsked(Step::Initialize);
  if (SoundResult r = state_->Failure(Step::Initialize)) {
    return r;
  }
  state_->sessionOpen = true;
  return DS_OK;
}

SoundResult FakeSound::Reconnect() {
  std::lock_guard lock(state_->mutex);
  state_->calls.emplace_back("Reconnect");
  state_->ThrowIfAsked(Step::Initialize);
  if (!state_->sessionOpen) {
    return DSERR_NODRIVER;
  }
  return state_->Failure(Step::Initialize);
}

void FakeSound::Uninitialize() {
  std::lock_guard lock(state_->mutex);
  state_->calls.emplace_back("Uninitialize");
  state_->sessionOpen = false;
}

SoundResult FakeSound::EnumerateCapture(const CaptureEnumCallback& callback) {
  std::vector<Device> devices;
  {
    std::lock_guard lock(state_->mutex);
    state_->calls.emplace_back("EnumerateCapture");
    state_->ThrowIfAsked(Step::EnumerateCapture);
    if (SoundResult r = state_->Failure(Step::EnumerateCapture)) {
      return r;
    }
    devices = state_->devices;
  }
  // The callback runs without the lock: it may well call back into the platform.
  if (!callback(nullptr, "Primary Sound Capture Driver", "")) {
    return DS_OK;
  }
  for (const Device& d : devices) {
    if (!callback(&d.id, d.description, d.module)) {
      break;
    }
  }
  return DS_OK;
}

SoundResult FakeSound::CaptureCreate(const std::string* deviceId, ICaptureDevice** device) {
  std::lock_guard lock(state_->mutex);
  state_->calls.emplace_back(deviceId == nullptr ? "CaptureCreate(default)"
                                                 : "CaptureCreate(" + *deviceId + ")");
  state_->ThrowIfAsked(Step::CaptureCreate);
  if (device != nullptr) {
    *device = nullptr;
  }
  if (SoundResult r = state_->Failure(Step::CaptureCreate)) {
    return r;
  }
  const std::optional<std::string> key =
      deviceId == nullptr ? std::nullopt : std::optional<std::string>(*deviceId);
  if (auto it = state_->openFailures.find(key); it != state_->openFailures.end()) {
    return it->second;
  }
  if (deviceId != nullptr && std::none_of(state_->devices.begin(), state_->devices.end(),
                                          [&](const Device& d) { return d.id == *deviceId; })) {
    return DSERR_NODRIVER;
  }
  if (device == nullptr) {
    return DSERR_INVALIDPARAM;
  }
  state_->vanished = false;
  *device = state_->Make<FakeCaptureDevice>(Kind::CaptureDevice);
  return DS_OK;
}

SoundResult FakeSound::CreateSoundDevice(ISoundDevice** device) {
  std::lock_guard lock(state_->mutex);
  state_->calls.emplace_back("CreateSoundDevice");
  if (device != nullptr) {
    *device = nullptr;
  }
  if (SoundResult r = state_->Failure(Step::CreateSoundDevice)) {
    return r;
  }
  if (device == nullptr) {
    return DSERR_INVALIDPARAM;
  }
  *device = state_->Make<FakeSoundDevice>(Kind::SoundDevice);
  return DS_OK;
}

std::string FakeSound::ServerDescription() {
  std::lock_guard lock(state_->mutex);
  return state_->sessionOpen ? "FakeSound" : "";
}

}  // namespace sonavik
