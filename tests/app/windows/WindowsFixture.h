// SPDX-License-Identifier: MIT
// The program's three windows on a scripted sound platform: the main window created as at
// start-up (default device opened and started), the two tool windows hidden, message boxes
// recorded instead of shown. The idle event is switched off so that each test runs the
// measuring passes itself, one at a time.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QImage>
#include <QLocale>
#include <QString>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Controls.h"
#include "app/ApplicationEvents.h"
#include "app/DarudadeDlg.h"
#include "app/MainForm.h"
#include "app/MessageBox.h"
#include "app/WaveDlg.h"
#include "capture/platform/SoundPlatform.h"
#include "support/FakeSound.h"

namespace sonavik::test {

struct Frame {
  std::int16_t left = 0;
  std::int16_t right = 0;
};

// 1024 frames, the whole capture ring.
using Ring = std::vector<Frame>;

inline Ring ConstantRing(std::int16_t left, std::int16_t right) {
  return Ring(1024, Frame{left, right});
}

class MessageRecorder {
 public:
  MessageRecorder() {
    SetMessageBoxFunction([this](const MessageBoxRequest& request) {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    });
  }
  ~MessageRecorder() { SetMessageBoxFunction(nullptr); }
  std::vector<MessageBoxRequest> Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<MessageBoxRequest> requests_;
};

class WindowsTest : public testing::Test {
 protected:
  // Devices listed after the default one; set in a derived constructor before SetUp.
  std::vector<FakeSound::Device> devices;

  void SetUp() override {
    QLocale::setDefault(QLocale::c());
    fake.SetDevices(devices);
    session = std::make_unique<PlatformSession>();
    form = std::make_unique<TForm1>();
    waveDlg = std::make_unique<TWaveDlg>();
    darudadeDlg = std::make_unique<TDarudadeDlg>();
    form->AttachToolWindows(waveDlg.get(), darudadeDlg.get());
    form->ApplicationEvents1().SetOnIdle(nullptr);
    form->show();
    Settle();
  }

  // The sound session's answers reach the window thread as queued calls: runs them until no
  // exchange is left.
  void Settle() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!form->Session()->Idle()) {
      ASSERT_LT(std::chrono::steady_clock::now(), end) << "the sound session never settled";
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
  }

  void TearDown() override {
    darudadeDlg.reset();
    waveDlg.reset();
    form.reset();
    session.reset();
    EXPECT_TRUE(fake.Errors().empty()) << fake.Errors().front();
  }

  // Puts a whole ring of frames where the next pass reads it.
  void Fill(const Ring& frames) {
    std::vector<std::uint8_t> bytes(frames.size() * 4);
    for (std::size_t i = 0; i < frames.size(); ++i) {
      const auto l = static_cast<std::uint16_t>(frames[i].left);
      const auto r = static_cast<std::uint16_t>(frames[i].right);
      bytes[4 * i + 0] = static_cast<std::uint8_t>(l & 0xFF);
      bytes[4 * i + 1] = static_cast<std::uint8_t>(l >> 8);
      bytes[4 * i + 2] = static_cast<std::uint8_t>(r & 0xFF);
      bytes[4 * i + 3] = static_cast<std::uint8_t>(r >> 8);
    }
    fake.WriteRing(0, bytes.data(), bytes.size());
    fake.SetReadPosition(0);
  }

  // One measuring pass as the idle event runs it; returns Done.
  bool Pass() {
    bool done = true;
    form->ApplicationEvents1Idle(done);
    return done;
  }

  FakeSound fake;
  ScopedSoundPlatform use{fake};
  MessageRecorder messages;
  std::unique_ptr<PlatformSession> session;
  std::unique_ptr<TForm1> form;
  std::unique_ptr<TWaveDlg> waveDlg;
  std::unique_ptr<TDarudadeDlg> darudadeDlg;
};

// Pixels of an image that are not black.
inline std::vector<QPoint> Lit(const QImage& image) {
  std::vector<QPoint> points;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if ((image.pixel(x, y) & 0xFFFFFF) != 0) {
        points.emplace_back(x, y);
      }
    }
  }
  return points;
}

}  // namespace sonavik::test
