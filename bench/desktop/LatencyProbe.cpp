// SPDX-License-Identifier: MIT
// Sound-to-screen latency of a meter's window, for bench/desktop/latency.
//
//   bench_latency_probe --window ID [--bursts N]     a meter's window (an X window id)
//   bench_latency_probe --control MS [--bursts N]    a window of its own that changes MS
//                                                      after its recorder hears each burst
//
// Three threads, one server (PULSE_SERVER) and one display (DISPLAY):
//   - a player that streams silence into the sink "sonavik_out" and, when asked, a burst of
//     1 kHz at -6 dBFS for 100 ms;
//   - a reference recorder on the default source (the meter's) with 1 ms fragments, which
//     timestamps the first fragment that holds the burst: its arrival;
//   - the watcher (the main thread), which grabs the window with XShm every millisecond and
//     timestamps the first grab that differs from the resting picture.
// Before the first burst the window must keep one picture for a second while silence plays:
// that is its resting picture. Before each burst it must show that picture again for 300 ms,
// and then a random 0-100 ms more passes: sound comes at any moment of a meter's own cycle, and
// a burst asked for a fixed time after the window's last change would meet that cycle always at
// the same point, its latency always the same, never the best nor the worst.
// For each burst it prints one line to standard output: the latency in ms (window change
// minus arrival, CLOCK_MONOTONIC), or "missed" when the window did not change within 5 s.
// Any failure (no server, no window, a window that never rests) ends it with a message on
// standard error and exit status 1.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <pulse/error.h>
#include <pulse/simple.h>
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
constexpr int kChunkFrames = kRate / 200;      // the player writes 5 ms at a time
constexpr int kFragmentFrames = kRate / 1000;  // the recorder reads 1 ms at a time
constexpr int kThreshold = 1000;               // about -30 dBFS: the burst, not silence
constexpr auto kGrabPeriod = milliseconds(1);
constexpr auto kFirstRest = milliseconds(1000);
constexpr auto kRest = milliseconds(300);
constexpr int kMaxPhaseMs = 100;  // longer than a pass of any meter measured here
constexpr auto kRestTimeout = std::chrono::seconds(30);
constexpr auto kChangeTimeout = std::chrono::seconds(5);

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

struct SimpleDeleter {
  void operator()(pa_simple* stream) const { pa_simple_free(stream); }
};
using SimplePtr = std::unique_ptr<pa_simple, SimpleDeleter>;

SimplePtr OpenStream(pa_stream_direction_t direction, const char* device,
                     const pa_buffer_attr& attr) {
  const pa_sample_spec spec{PA_SAMPLE_S16LE, kRate, kChannels};
  int error = 0;
  SimplePtr stream(pa_simple_new(nullptr, "bench_latency_probe", direction, device,
                                 direction == PA_STREAM_PLAYBACK ? "bursts" : "reference", &spec,
                                 nullptr, &attr, &error));
  if (!stream) {
    Fail(std::string("cannot open the ") +
         (direction == PA_STREAM_PLAYBACK ? "player" : "recorder") + ": " + pa_strerror(error));
  }
  return stream;
}

// What the threads share. The watcher asks for a burst; the player plays it; the recorder
// stores its arrival, which the watcher (and a control window) read.
struct Shared {
  std::atomic<bool> stop{false};
  std::atomic<int> burstRequests{0};  // bursts asked for; the player counts what it played
  std::atomic<int> armed{0};          // the burst number the recorder listens for, 0: none
  std::atomic<int64_t> arrivalNs{0};  // of the burst it last heard
  std::atomic<int> arrivedBurst{0};   // which burst that was
};

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

void Player(Shared& shared) {
  pa_buffer_attr attr{};
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.tlength = 4 * kChunkFrames * kFrameBytes;  // 20 ms queued: a burst starts soon
  attr.prebuf = static_cast<uint32_t>(-1);
  attr.minreq = static_cast<uint32_t>(-1);
  attr.fragsize = static_cast<uint32_t>(-1);
  SimplePtr stream = OpenStream(PA_STREAM_PLAYBACK, "sonavik_out", attr);
  std::array<int16_t, static_cast<size_t>(kChunkFrames) * kChannels> chunk{};
  int played = 0;
  int burstFrame = -1;  // the next frame of the burst being played, -1: silence
  while (!shared.stop.load()) {
    if (burstFrame < 0 && played < shared.burstRequests.load()) {
      ++played;
      burstFrame = 0;
    }
    for (int i = 0; i < kChunkFrames; ++i) {
      int16_t value = 0;
      if (burstFrame >= 0) {
        value = static_cast<int16_t>(
            std::lround(16384.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * burstFrame / kRate)));
        if (++burstFrame == kBurstFrames) {
          burstFrame = -1;
        }
      }
      chunk[static_cast<size_t>(i) * 2] = value;
      chunk[static_cast<size_t>(i) * 2 + 1] = value;
    }
    int error = 0;
    if (pa_simple_write(stream.get(), chunk.data(), sizeof chunk, &error) < 0) {
      Fail(std::string("the player stopped: ") + pa_strerror(error));
    }
  }
}

void Recorder(Shared& shared) {
  pa_buffer_attr attr{};
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.fragsize = kFragmentFrames * kFrameBytes;
  SimplePtr stream = OpenStream(PA_STREAM_RECORD, nullptr, attr);
  std::array<int16_t, static_cast<size_t>(kFragmentFrames) * kChannels> fragment{};
  while (!shared.stop.load()) {
    int error = 0;
    if (pa_simple_read(stream.get(), fragment.data(), sizeof fragment, &error) < 0) {
      Fail(std::string("the recorder stopped: ") + pa_strerror(error));
    }
    const int64_t now = NowNs();
    const int armed = shared.armed.load();
    if (armed == 0) {
      continue;
    }
    for (const int16_t sample : fragment) {
      if (std::abs(sample) > kThreshold) {
        shared.arrivalNs.store(now);
        shared.arrivedBurst.store(armed);
        shared.armed.store(0);
        break;
      }
    }
  }
}

// A window of the probe's own that turns from black to white a set time after the recorder
// hears a burst, and back to black 200 ms later: what a meter with no delay of its own
// would show. It checks the probe: its latency should be that set time.
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
        const int burst = shared.arrivedBurst.load();
        if (burst == shown) {
          std::this_thread::sleep_for(std::chrono::microseconds(100));
          continue;
        }
        shown = burst;
        const Clock::time_point arrival{std::chrono::nanoseconds(shared.arrivalNs.load())};
        std::this_thread::sleep_until(arrival + delay_);
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
  std::fprintf(stderr, "usage: bench_latency_probe --window ID | --control MS  [--bursts N]\n");
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

}  // namespace

int main(int argc, char** argv) {
  Window window = 0;
  long control = -1;
  long bursts = 30;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
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
  if ((window == 0) == (control < 0) || bursts < 1) {
    Usage();
  }
  if (XInitThreads() == 0) {
    Fail("Xlib cannot be used from several threads");
  }

  Shared shared;
  std::unique_ptr<ControlWindow> controlWindow;
  if (control >= 0) {
    controlWindow = std::make_unique<ControlWindow>(milliseconds(control));
    window = controlWindow->Id();
  }
  std::thread player(Player, std::ref(shared));
  std::thread recorder(Recorder, std::ref(shared));
  if (controlWindow) {
    controlWindow->Start(shared);
  }

  Watcher watcher(window);
  watcher.TakeRestingPicture();
  std::mt19937 phases(17);  // the same phases each run, so runs compare
  std::uniform_int_distribution<int> phase(0, kMaxPhaseMs * 1000 - 1);
  for (int burst = 1; burst <= bursts; ++burst) {
    watcher.WaitForRest();
    std::this_thread::sleep_for(std::chrono::microseconds(phase(phases)));
    shared.armed.store(burst);
    shared.burstRequests.store(burst);
    Clock::time_point changed;
    const bool seen = watcher.WaitForChange(changed);
    // The recorder hears the burst whether or not the window showed it.
    const Clock::time_point deadline = Clock::now() + kChangeTimeout;
    while (shared.arrivedBurst.load() != burst && Clock::now() < deadline) {
      std::this_thread::sleep_for(milliseconds(1));
    }
    if (shared.arrivedBurst.load() != burst) {
      Fail("the recorder did not hear burst " + std::to_string(burst));
    }
    if (!seen) {
      std::printf("missed\n");
    } else {
      const auto arrival = Clock::time_point(std::chrono::nanoseconds(shared.arrivalNs.load()));
      std::printf("%.2f\n", std::chrono::duration<double, std::milli>(changed - arrival).count());
    }
    std::fflush(stdout);
  }
  shared.stop.store(true);
  recorder.join();
  player.join();
  return 0;
}
