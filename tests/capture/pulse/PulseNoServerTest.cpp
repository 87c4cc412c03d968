// SPDX-License-Identifier: MIT
// The libpulse platform where no sound server answers: the program must start, list nothing,
// and fail every open with a code, within a bounded time.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "capture/pulse/PulseSound.h"

namespace sonavik {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A directory of our own for sockets, removed with the test.
class ScratchDir {
 public:
  ScratchDir() {
    char pattern[] = "/tmp/sonavik-noserver-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~ScratchDir() { std::filesystem::remove_all(path_); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Everything a program does with the platform when the server is missing.
void ExpectEverythingFailsWithoutServer(SoundPlatform& platform) {
  int listed = 0;
  EXPECT_EQ(platform.EnumerateCapture([&](const std::string*, const std::string&,
                                          const std::string&) { return ++listed, true; }),
            DSERR_NODRIVER);
  EXPECT_EQ(listed, 0);

  ICaptureDevice* device = reinterpret_cast<ICaptureDevice*>(1);
  EXPECT_EQ(platform.CaptureCreate(nullptr, &device), DSERR_NODRIVER);
  EXPECT_EQ(device, nullptr);
  const std::string name = "sonavik_mic";
  EXPECT_EQ(platform.CaptureCreate(&name, &device), DSERR_NODRIVER);

  // The playback object can be made (it is only an object); binding it to an output cannot.
  ISoundDevice* playback = nullptr;
  ASSERT_EQ(platform.CreateSoundDevice(&playback), DS_OK);
  ASSERT_NE(playback, nullptr);
  EXPECT_EQ(playback->Initialize(nullptr), DSERR_NODRIVER);
  EXPECT_EQ(playback->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DSERR_INVALIDCALL);
  EXPECT_EQ(playback->Release(), 0u);

  EXPECT_EQ(platform.ServerDescription(), "");
}

TEST(PulseWithoutServer, NoSocketFailsAtOnceAndEverythingAfterFailsWithCodes) {
  ScratchDir dir;
  const std::string server = "unix:" + dir.Path() + "/native";
  ASSERT_EQ(setenv("PULSE_SERVER", server.c_str(), 1), 0);
  PulseSound platform;
  const auto begun = Clock::now();
  EXPECT_EQ(platform.Initialize(), DSERR_NODRIVER);
  EXPECT_LT(Clock::now() - begun, milliseconds(1000));
  ExpectEverythingFailsWithoutServer(platform);
  platform.Uninitialize();
}

TEST(PulseWithoutServer, ServerThatNeverAnswersIsGivenUpWithinTheBound) {
  ScratchDir dir;
  const std::string path = dir.Path() + "/native";
  // A socket that takes connections (the kernel queues them) but never says a word.
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  ASSERT_EQ(listen(listener, 8), 0);
  ASSERT_EQ(setenv("PULSE_SERVER", ("unix:" + path).c_str(), 1), 0);

  PulseSound platform;
  const auto begun = Clock::now();
  EXPECT_EQ(platform.Initialize(), DSERR_NODRIVER);
  const auto waited = Clock::now() - begun;
  EXPECT_GE(waited, milliseconds(1900));
  EXPECT_LT(waited, milliseconds(4000));
  EXPECT_EQ(platform.ServerDescription(), "");
  platform.Uninitialize();
  close(listener);
}

TEST(PulseWithoutServer, NothingWorksOutsideASession) {
  // Even with a server around, the platform talks to it only between Initialize and
  // Uninitialize; here there is none anyway, so this checks the session gate alone.
  ScratchDir dir;
  ASSERT_EQ(setenv("PULSE_SERVER", ("unix:" + dir.Path() + "/native").c_str(), 1), 0);
  PulseSound platform;
  ExpectEverythingFailsWithoutServer(platform);
}

}  // namespace
}  // namespace sonavik
