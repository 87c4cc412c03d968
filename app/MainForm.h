// SPDX-License-Identifier: MIT
// TForm1: the main window. Two gauges with clip lamps and readouts, the vector box, the gain,
// the wait, the DC-stop and the capture device list. Its sound session owns the capture; the
// window runs the measuring pass over it whenever the application has nothing else to do.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <exception>
#include <memory>

#include "app/MeasuringPass.h"
#include "capture/sound/ACAPCapture.h"
#include "gauge/Color.h"
#include "session/CaptureSession.h"

class QTimer;

namespace Ui {
class TForm1;
}

namespace sonavik {

class TACAP;
class TApplicationEvents;
class TDarudadeDlg;
class TWaveDlg;
class TWaveFFT;
class TWaveIFFT;

inline constexpr TColor kLampIdle = 0xFFFFFF;  // white
inline constexpr TColor kLampClip = 0x4080FF;  // red 255, green 128, blue 64
inline constexpr TColor kVectorTrace = 0xFFFF00;
inline constexpr TColor kLeftTrace = 0xFFFFFF;
inline constexpr TColor kRightTrace = 0xEEEEFF;
inline constexpr TColor kPlotBackground = 0x000000;

// The gain (max - position) / 100 as the edit box shows it: the shortest form with at most 15
// significant digits and the locale's decimal separator ("1", "1.15", "0", "10").
QString GainText(int maximum, int position);
// The trackbar position for an edit text: nint(maximum - x * 100) for the number x the text
// holds in the locale's notation, clamped to minimum..maximum. A text that is no finite
// number (empty, letters, "nan") counts as a gain of 1; an infinite or huge one lands on the
// end it points to.
int GainPosition(const QString& text, int minimum, int maximum);
// One step of a lamp's fade toward white: each channel blended with 255 at 0.7.
TColor FadeLamp(TColor color);
// A level as a whole number of decibels: a half rounds away from zero, and no "-0".
QString ReadoutText(double level);

class TForm1 : public QWidget, private CaptureSessionView {
  Q_OBJECT

 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // The two tool windows exist after the main window; the buttons and the pass reach them
  // from here on.
  void AttachToolWindows(TWaveDlg* waveDlg, TDarudadeDlg* darudadeDlg);

  // Handlers, as the events call them.
  void FormCreate();
  void FormDestroy();
  void ComboBox1Change();
  void TrackBar1Change();
  void Edit1Change();
  void Timer1Timer();
  void Timer2Timer();
  void Button1Click();
  void Button2Click();
  void Button3Click();
  void RecEvent(TACAPCapture& Sender, std::uint32_t Offset, std::uint32_t Length);
  void ApplicationEvents1Idle(bool& Done);

  // Components and state.
  TACAP& ACAP1() const { return *acap1_; }
  QTimer& Timer1() const { return *timer1_; }
  TApplicationEvents& ApplicationEvents1() const { return *applicationEvents1_; }
  TWaveFFT& WaveFFT1() const { return *waveFFT1_; }
  QTimer& Timer2() const { return *timer2_; }
  TWaveFFT& WaveFFT2() const { return *waveFFT2_; }
  TWaveIFFT& WaveIFFT1() const { return *waveIFFT1_; }
  TWaveIFFT& WaveIFFT2() const { return *waveIFFT2_; }
  TACAPCapture* FCapture() const { return session_ ? session_->Capture() : nullptr; }
  // The device list and the capture behind the window; null outside FormCreate..FormDestroy.
  const CaptureSession* Session() const { return session_.get(); }
  double FLevelL() const { return levelL_; }
  double FLevelR() const { return levelR_; }
  const TMeasuringPass& Pass() const { return *pass_; }
  TWaveDlg* WaveDlg() const { return waveDlg_; }
  TDarudadeDlg* DarudadeDlg() const { return darudadeDlg_; }

 private:
  // The device list as the session has it.
  void InsertDevice(int index, const DeviceItem& item) override;
  void RemoveDevice(int index) override;
  void ChooseDevice(int index) override;
  void ReportError(const std::exception_ptr& error) override;
  // True while the capture runs.
  bool Capturing() const;
  void MeasureAndDraw(const PassSettings& settings);
  void ShowToolWindow(QWidget* window);

  std::unique_ptr<Ui::TForm1> ui_;
  // The components, in the order they come into being.
  std::unique_ptr<TACAP> acap1_;
  std::unique_ptr<QTimer> timer1_;
  std::unique_ptr<TApplicationEvents> applicationEvents1_;
  std::unique_ptr<TWaveFFT> waveFFT1_;
  std::unique_ptr<QTimer> timer2_;
  std::unique_ptr<TWaveFFT> waveFFT2_;
  std::unique_ptr<TWaveIFFT> waveIFFT1_;
  std::unique_ptr<TWaveIFFT> waveIFFT2_;

  // The device list and the capture, from FormCreate to FormDestroy.
  std::unique_ptr<CaptureSession> session_;
  // The display shows sound from a running capture; once capture stops, one pass shows silence.
  bool showingSound_ = false;
  double levelL_ = 0.0;
  double levelR_ = 0.0;
  // The pass's working storage: fixed arrays, allocated once with the window.
  std::unique_ptr<TMeasuringPass> pass_;
  QPointer<TWaveDlg> waveDlg_;
  QPointer<TDarudadeDlg> darudadeDlg_;
};

}  // namespace sonavik
