// SPDX-License-Identifier: MIT
// Sound-to-screen latency of a meter's window, for bench/desktop/latency.
//
//   bench_latency_probe --window ID [--bursts N]     a meter's window (an X window id)
//   bench_latency_probe --control MS [--bursts N]    a window of its own that changes MS
//                                                      after each burst is made
//   bench_latency_probe --check-dating [--bursts N]  the dating below against a recorder that
//                                                      reads the source 1 ms at a time
//
// Each burst is dated where the sound is made, so the probe asks the server for nothing that
// would change what it measures: no recorder of its own on the meter's source, and a player
// whose queue (200 ms) asks the sink for no shorter latency than a meter does.
// Two threads, one server (PULSE_SERVER) and one display (DISPLAY):
//   - the player, on libpulse's threaded loop: it streams silence into the sink "sonavik_out"
//     and, when asked, a burst of 1 kHz at -6 dBFS for 100 ms, and knows the stream position of
//     the burst's first frame. Its dating asks the server for the playback stream's timing,
//     back to back, until the sink's read index has passed that frame: the sink has rendered
//     it, and its monitor has it. The burst is dated between the last answer before and the
//     first after, so within about one round trip to the server;
//   - the watcher (the main thread), which grabs the window with XShm every millisecond and
//     timestamps the first grab that differs from the resting picture.
// Before the first burst the window must keep one picture for a second while silence plays:
// that is its resting picture. Before each burst it must show that picture again for 300 ms,
// and then a random 0-100 ms more passes: sound comes at any moment of a meter's own cycle, and
// a burst asked for a fixed time after the window's last change would meet that cycle always at
// the same point, its latency always the same, never the best nor the worst.
// For each burst it prints one line to standard output: the latency in ms (window change
// minus the burst's dating, CLOCK_MONOTONIC), or "missed" when the window did not change
// within 5 s. With --check-dating each line is instead the time from the dating to the first
// 1 ms fragment of the recorder that holds the burst: it should be about 0 ms, within the
// recorder's own fragment (the recorder holds the source's latency down while it runs, which
// is why it only checks and never measures).
// Any failure (no server, no window, a window that never rests) ends it with a message on
// standard error and exit status 1.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <pulse/error.h>
#include <pulse/simple.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <numbers>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC on Linux
using std::chrono::milliseconds;

constexpr int kRate = 44100;
constexpr int kChannels = 2;
constexpr int kFrameBytes = 2 * kChannels;
constexpr int kBurstFrames = kRate / 10;       // 100 ms
constexpr int kQueueFrames = kRate / 5;        // the player keeps 200 ms queued
constexpr int kFragmentFrames = kRate / 1000;  // the checking recorder reads 1 ms at a time
constexpr int kThreshold = 1000;               // about -30 dBFS: the burst, not silence
constexpr auto kGrabPeriod = milliseconds(1);
constexpr auto kFirstRest = milliseconds(1000);
constexpr auto kRest = milliseconds(300);
constexpr int kMaxPhaseMs = 100;  // longer than a pass of any meter measured here
constexpr auto kRestTimeout = std::chrono::seconds(30);
constexpr auto kChangeTimeout = std::chrono::seconds(5);
constexpr auto kTimingPause = std::chrono::microseconds(300);  // between two timing requests

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "bench_latency_probe: %s\n", message.c_str());
  // Other threads may be inside libpulse or Xlib: no destructors run behind them.
  std::_Exit(1);
}

// A connection of its own to the display (DISPLAY); what it is for goes into the failure.
Display* OpenDisplay(const std::string& purpose) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    Fail("cannot open the display " + purpose);
  }
  return display;
}

// What the threads share: the player stores each burst's dating, which the watcher (and a
// control window, and the checking recorder) read.
struct Shared {
  std::atomic<bool> stop{false};
  std::atomic<int64_t> madeNs{0};  // the dating of the burst last made
  std::atomic<int> madeBurst{0};   // which burst that was
  std::atomic<int> armed{0};       // the burst the checking recorder listens for, 0: none
  std::atomic<int64_t> heardNs{0};
  std::atomic<int> heardBurst{0};
};

int64_t SteadyNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

// Plays silence and, when asked, bursts into the sink, and dates each burst's first frame from
// the playback stream's timing.
class Player {
 public:
  Player() {
    loop_ = pa_threaded_mainloop_new();
    if (loop_ == nullptr) {
      Fail("cannot make a libpulse loop");
    }
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "bench_latency_probe");
    pa_context_set_state_callback(context_, &Player::OnChange, this);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0 ||
        pa_threaded_mainloop_start(loop_) < 0) {
      Fail("cannot reach the sound server");
    }
    std::unique_lock lock(*this);
    while (pa_context_get_state(context_) != PA_CONTEXT_READY) {
      if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) {
        Fail(std::string("cannot reach the sound server: ") +
             pa_strerror(pa_context_errno(context_)));
      }
      pa_threaded_mainloop_wait(loop_);
    }
    const pa_sample_spec spec{PA_SAMPLE_S16LE, kRate, kChannels};
    stream_ = pa_stream_new(context_, "bursts", &spec, nullptr);
    pa_stream_set_state_callback(stream_, &Player::OnChange, this);
    pa_stream_set_write_callback(stream_, &Player::OnWrite, this);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = kQueueFrames * kFrameBytes;
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(-1);
    if (pa_stream_connect_playback(stream_, "sonavik_out", &attr, PA_STREAM_NOFLAGS, nullptr,
                                   nullptr) < 0) {
      Fail(std::string("cannot open the player: ") + pa_strerror(pa_context_errno(context_)));
    }
    while (pa_stream_get_state(stream_) != PA_STREAM_READY) {
      if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) {
        Fail(std::string("cannot open the player: ") + pa_strerror(pa_context_errno(context_)));
      }
      pa_threaded_mainloop_wait(loop_);
    }
  }
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;
  ~Player() {
    pa_threaded_mainloop_stop(loop_);
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    pa_threaded_mainloop_free(loop_);
  }

  // The loop's lock, for std::unique_lock.
  void lock() { pa_threaded_mainloop_lock(loop_); }
  void unlock() { pa_threaded_mainloop_unlock(loop_); }

  // Burst number `burst` (1, 2, ...) starts with the next frame the player writes.
  void Request(int burst) {
    std::unique_lock lock(*this);
    requested_ = burst;
    requestedAt_ = Clock::now();
  }

  // Waits until the sink has rendered the first frame of that burst and returns when it did,
  // or nothing when the sink did not get there within the time-out.
  bool WaitMade(int burst, Clock::time_point& made) {
    const Clock::time_point deadline = Clock::now() + kChangeTimeout;
    // A moment the frame was not yet rendered: before it was asked for, then the last moment it
    // was not yet written, or the middle of the last exchange that found it not yet read.
    Clock::time_point before;
    {
      std::unique_lock lock(*this);
      before = requestedAt_;
    }
    for (;;) {
      const Clock::time_point asked = Clock::now();
      if (asked > deadline) {
        return false;
      }
      int64_t readIndex = -1;
      int64_t start = -1;
      {
        std::unique_lock lock(*this);
        if (started_ == burst) {
          start = startIndex_;
          pa_operation* operation =
              pa_stream_update_timing_info(stream_, &Player::OnTimingDone, this);
          if (operation == nullptr) {
            Fail("cannot ask for the player's timing");
          }
          while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) {
            pa_threaded_mainloop_wait(loop_);
          }
          pa_operation_unref(operation);
          const pa_timing_info* timing = pa_stream_get_timing_info(stream_);
          if (timing != nullptr && timing->read_index_corrupt == 0) {
            readIndex = timing->read_index;
          }
        }
      }
      const Clock::time_point answered = Clock::now();
      const Clock::time_point middle = asked + (answered - asked) / 2;
      if (start >= 0 && readIndex > start) {
        made = before + (middle - before) / 2;
        return true;
      }
      before = start >= 0 ? middle : answered;
      std::this_thread::sleep_for(kTimingPause);
    }
  }

 private:
  static void OnChange(pa_context* /*context*/, void* self) {
    pa_threaded_mainloop_signal(static_cast<Player*>(self)->loop_, 0);
  }
  static void OnChange(pa_stream* /*stream*/, void* self) {
    pa_threaded_mainloop_signal(static_cast<Player*>(self)->loop_, 0);
  }
  static void OnTimingDone(pa_stream* /*stream*/, int /*success*/, void* self) {
    pa_threaded_mainloop_signal(static_cast<Player*>(self)->loop_, 0);
  }

  // On the loop's thread, its lock held.
  static void OnWrite(pa_stream* stream, size_t bytes, void* data) {
    auto* self = static_cast<Player*>(data);
    const size_t frames = bytes / kFrameBytes;
    self->chunk_.assign(frames * kChannels, 0);
    for (size_t i = 0; i < frames; ++i) {
      if (self->burstFrame_ < 0 && self->started_ < self->requested_) {
        self->started_ = self->requested_;
        self->startIndex_ = self->written_ + static_cast<int64_t>(i) * kFrameBytes;
        self->burstFrame_ = 0;
      }
      if (self->burstFrame_ < 0) {
        continue;
      }
      const auto value = static_cast<int16_t>(std::lround(
          16384.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * self->burstFrame_ / kRate)));
      self->chunk_[i * 2] = value;
      self->chunk_[i * 2 + 1] = value;
      if (++self->burstFrame_ == kBurstFrames) {
        self->burstFrame_ = -1;
      }
    }
    const size_t written = frames * kFrameBytes;
    if (pa_stream_write(stream, self->chunk_.data(), written, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
      Fail("the player stopped");
    }
    self->written_ += static_cast<int64_t>(written);
  }

  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;
  // With the loop's lock held:
  std::vector<int16_t> chunk_;
  int64_t written_ = 0;  // the stream's write index: bytes written so far
  int requested_ = 0;    // the newest burst asked for
  Clock::time_point requestedAt_;
  int started_ = 0;         // the newest burst whose first frame is written
  int64_t startIndex_ = 0;  // where that first frame is in the stream
  int burstFrame_ = -1;     // the next frame of the burst being written, -1: silence
};

struct SimpleDeleter {
  void operator()(pa_simple* stream) const { pa_simple_free(stream); }
};
using SimplePtr = std::unique_ptr<pa_simple, SimpleDeleter>;

// Only for --check-dating: a recorder on the default source (the meter's) with 1 ms fragments
// that timestamps the first fragment holding the armed burst.
void Recorder(Shared& shared) {
  const pa_sample_spec spec{PA_SAMPLE_S16LE, kRate, kChannels};
  pa_buffer_attr attr{};
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.fragsize = kFragmentFrames * kFrameBytes;
  int error = 0;
  SimplePtr stream(pa_simple_new(nullptr, "bench_latency_probe", PA_STREAM_RECORD, nullptr,
                                 "reference", &spec, nullptr, &attr, &error));
  if (!stream) {
    Fail(std::string("cannot open the recorder: ") + pa_strerror(error));
  }
  std::array<int16_t, static_cast<size_t>(kFragmentFrames) * kChannels> fragment{};
  while (!shared.stop.load()) {
    if (pa_simple_read(stream.get(), fragment.data(), sizeof fragment, &error) < 0) {
      Fail(std::string("the recorder stopped: ") + pa_strerror(error));
    }
    const int64_t now = SteadyNanoseconds();
    const int armed = shared.armed.load();
    if (armed == 0) {
      continue;
    }
    for (const int16_t sample : fragment) {
      if (std::abs(sample) > kThreshold) {
        shared.heardNs.store(now);
        shared.heardBurst.store(armed);
        shared.armed.store(0);
        break;
      }
    }
  }
}

// A window of the probe's own that turns from black to white a set time after a burst's
// dating, and back to black 200 ms later: what a meter with no delay of its own would show.
// It checks the grabbing and the timing of the probe: its latency should be that set time.
class ControlWindow {
 public:
  explicit ControlWindow(milliseconds delay) : delay_(delay) {
    display_ = OpenDisplay("for the control window");
    const int screen = DefaultScreen(display_);
    window_ = XCreateSimpleWindow(display_, RootWindow(display_, screen), 0, 0, 200, 100, 0,
                                  BlackPixel(display_, screen), BlackPixel(display_, screen));
    XSelectInput(display_, window_, StructureNotifyMask);
    XMapWindow(display_, window_);
    XEvent event;
    do {
      XNextEvent(display_, &event);
    } while (event.type != MapNotify);
    Paint(false);
  }
  ControlWindow(const ControlWindow&) = delete;
  ControlWindow& operator=(const ControlWindow&) = delete;
  ~ControlWindow() {
    if (thread_.joinable()) {
      thread_.join();
    }
    XCloseDisplay(display_);
  }

  Window Id() const { return window_; }

  // Runs until shared.stop.
  void Start(Shared& shared) {
    thread_ = std::thread([this, &shared] {
      int shown = 0;
      while (!shared.stop.load()) {
        const int burst = shared.madeBurst.load();
        if (burst == shown) {
          std::this_thread::sleep_for(std::chrono::microseconds(100));
          continue;
        }
        shown = burst;
        const Clock::time_point made{std::chrono::nanoseconds(shared.madeNs.load())};
        std::this_thread::sleep_until(made + delay_);
        Paint(true);
        std::this_thread::sleep_for(milliseconds(200));
        Paint(false);
      }
    });
  }

 private:
  void Paint(bool lit) {
    const int screen = DefaultScreen(display_);
    XSetWindowBackground(display_, window_,
                         lit ? WhitePixel(display_, screen) : BlackPixel(display_, screen));
    XClearWindow(display_, window_);
    XSync(display_, False);
  }

  milliseconds delay_;
  Display* display_ = nullptr;
  Window window_ = 0;
  std::thread thread_;
};

int XErrorExit(Display* display, XErrorEvent* error) {
  std::array<char, 256> text{};
  XGetErrorText(display, error->error_code, text.data(), static_cast<int>(text.size()));
  Fail(std::string("X error while grabbing the window (is it still there?): ") + text.data());
}

// Grabs one window's picture through shared memory.
class Grabber {
 public:
  explicit Grabber(Window window) : window_(window) {
    display_ = OpenDisplay("to grab the window");
    if (XShmQueryExtension(display_) == False) {
      Fail("the display has no MIT-SHM extension");
    }
    XSetErrorHandler(XErrorExit);
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display_, window_, &attributes) == 0) {
      Fail("no window " + std::to_string(window_));
    }
    image_ = XShmCreateImage(display_, attributes.visual, static_cast<unsigned>(attributes.depth),
                             ZPixmap, nullptr, &shm_, static_cast<unsigned>(attributes.width),
                             static_cast<unsigned>(attributes.height));
    if (image_ == nullptr) {
      Fail("cannot make a shared image");
    }
    bytes_ = static_cast<size_t>(image_->bytes_per_line) * static_cast<size_t>(image_->height);
    shm_.shmid = shmget(IPC_PRIVATE, bytes_, IPC_CREAT | 0600);
    if (shm_.shmid < 0) {
      Fail("cannot get shared memory");
    }
    shm_.shmaddr = image_->data = static_cast<char*>(shmat(shm_.shmid, nullptr, 0));
    shm_.readOnly = False;
    XShmAttach(display_, &shm_);
    XSync(display_, False);
    // Marked for removal now, so that it goes with the process however that ends.
    shmctl(shm_.shmid, IPC_RMID, nullptr);
  }
  Grabber(const Grabber&) = delete;
  Grabber& operator=(const Grabber&) = delete;
  ~Grabber() {
    XShmDetach(display_, &shm_);
    XDestroyImage(image_);
    shmdt(shm_.shmaddr);
    XCloseDisplay(display_);
  }

  void Grab() {
    if (XShmGetImage(display_, window_, image_, 0, 0, AllPlanes) == False) {
      Fail("cannot grab the window");
    }
  }
  const char* Data() const { return image_->data; }
  size_t Bytes() const { return bytes_; }

 private:
  Window window_;
  Display* display_ = nullptr;
  XImage* image_ = nullptr;
  XShmSegmentInfo shm_{};
  size_t bytes_ = 0;
};

class Watcher {
 public:
  explicit Watcher(Window window) : grabber_(window), next_(Clock::now()) {}

  // Waits until the picture stays the same for a while, and keeps it as the resting one.
  void TakeRestingPicture() {
    const Clock::time_point deadline = Clock::now() + kRestTimeout;
    Tick();
    resting_.assign(grabber_.Data(), grabber_.Data() + grabber_.Bytes());
    Clock::time_point since = Clock::now();
    while (Clock::now() - since < kFirstRest) {
      if (Clock::now() > deadline) {
        Fail("the window keeps changing in silence: no resting picture");
      }
      Tick();
      if (!Resting()) {
        resting_.assign(grabber_.Data(), grabber_.Data() + grabber_.Bytes());
        since = Clock::now();
      }
    }
  }

  // Waits until the window shows its resting picture again, for a while.
  void WaitForRest() {
    const Clock::time_point deadline = Clock::now() + kRestTimeout;
    Clock::time_point since = Clock::now();
    for (;;) {
      const Clock::time_point at = Tick();
      if (!Resting()) {
        since = at;
      } else if (at - since >= kRest) {
        return;
      }
      if (at > deadline) {
        Fail("the window did not come back to its resting picture");
      }
    }
  }

  // The time of the first grab after now that differs from the resting picture, or
  // nothing within the time-out.
  bool WaitForChange(Clock::time_point& changed) {
    const Clock::time_point deadline = Clock::now() + kChangeTimeout;
    for (;;) {
      const Clock::time_point at = Tick();
      if (!Resting()) {
        changed = at;
        return true;
      }
      if (at > deadline) {
        return false;
      }
    }
  }

 private:
  // Sleeps until the next millisecond step, grabs, and returns when the grab began: the
  // picture it got is the window's at that time or later.
  Clock::time_point Tick() {
    next_ += kGrabPeriod;
    const Clock::time_point now = Clock::now();
    if (next_ < now) {
      next_ = now;  // late: the next step counts from here
    } else {
      std::this_thread::sleep_until(next_);
    }
    const Clock::time_point at = Clock::now();
    grabber_.Grab();
    return at;
  }

  bool Resting() const {
    return std::memcmp(grabber_.Data(), resting_.data(), resting_.size()) == 0;
  }

  Grabber grabber_;
  Clock::time_point next_;
  std::vector<char> resting_;
};

void Usage() {
  std::fprintf(stderr,
               "usage: bench_latency_probe --window ID | --control MS | --check-dating"
               "  [--bursts N]\n");
  std::exit(2);
}

long Number(const char* text) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 0);
  if (end == text || *end != '\0' || value < 0) {
    Usage();
  }
  return value;
}

double Milliseconds(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

// --check-dating: bursts every 400 ms or so, each dated by the player and heard by the
// recorder; prints heard minus dated.
int CheckDating(Shared& shared, Player& player, long bursts) {
  std::thread recorder(Recorder, std::ref(shared));
  std::this_thread::sleep_for(milliseconds(1000));  // the recorder's stream is running
  std::mt19937 phases(17);
  std::uniform_int_distribution<int> phase(0, kMaxPhaseMs * 1000 - 1);
  for (int burst = 1; burst <= bursts; ++burst) {
    std::this_thread::sleep_for(milliseconds(300) + std::chrono::microseconds(phase(phases)));
    shared.armed.store(burst);
    player.Request(burst);
    Clock::time_point made;
    if (!player.WaitMade(burst, made)) {
      Fail("the sink did not play burst " + std::to_string(burst));
    }
    const Clock::time_point deadline = Clock::now() + kChangeTimeout;
    while (shared.heardBurst.load() != burst && Clock::now() < deadline) {
      std::this_thread::sleep_for(milliseconds(1));
    }
    if (shared.heardBurst.load() != burst) {
      Fail("the recorder did not hear burst " + std::to_string(burst));
    }
    const Clock::time_point heard{std::chrono::nanoseconds(shared.heardNs.load())};
    std::printf("%.2f\n", Milliseconds(heard - made));
    std::fflush(stdout);
  }
  shared.stop.store(true);
  recorder.join();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Window window = 0;
  long control = -1;
  long bursts = 30;
  bool checkDating = false;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--check-dating") {
      checkDating = true;
      continue;
    }
    if (i + 1 == argc) {
      Usage();
    }
    if (option == "--window") {
      window = static_cast<Window>(Number(argv[++i]));
    } else if (option == "--control") {
      control = Number(argv[++i]);
    } else if (option == "--bursts") {
      bursts = Number(argv[++i]);
    } else {
      Usage();
    }
  }
  if ((window != 0) + (control >= 0) + (checkDating ? 1 : 0) != 1 || bursts < 1) {
    Usage();
  }
  if (XInitThreads() == 0) {
    Fail("Xlib cannot be used from several threads");
  }

  Shared shared;
  Player player;
  if (checkDating) {
    return CheckDating(shared, player, bursts);
  }
  std::unique_ptr<ControlWindow> controlWindow;
  if (control >= 0) {
    controlWindow = std::make_unique<ControlWindow>(milliseconds(control));
    window = controlWindow->Id();
    controlWindow->Start(shared);
  }

  Watcher watcher(window);
  watcher.TakeRestingPicture();
  std::mt19937 phases(17);  // the same phases each run, so runs compare
  std::uniform_int_distribution<int> phase(0, kMaxPhaseMs * 1000 - 1);
  for (int burst = 1; burst <= bursts; ++burst) {
    watcher.WaitForRest();
    std::this_thread::sleep_for(std::chrono::microseconds(phase(phases)));
    player.Request(burst);
    // The dating runs beside the watcher: each needs its own clock readings at once.
    Clock::time_point made;
    bool dated = false;
    std::thread dating([&] {
      dated = player.WaitMade(burst, made);
      if (dated) {
        shared.madeNs.store(
            std::chrono::duration_cast<std::chrono::nanoseconds>(made.time_since_epoch()).count());
        shared.madeBurst.store(burst);
      }
    });
    Clock::time_point changed;
    const bool seen = watcher.WaitForChange(changed);
    dating.join();
    if (!dated) {
      Fail("the sink did not play burst " + std::to_string(burst));
    }
    if (!seen) {
      std::printf("missed\n");
    } else {
      std::printf("%.2f\n", Milliseconds(changed - made));
    }
    std::fflush(stdout);
  }
  shared.stop.store(true);
  return 0;
}
