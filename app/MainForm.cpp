// SPDX-License-Identifier: MIT
#include "app/MainForm.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QStringList>
#include <QTimer>
#include <QToolButton>
#include <QVariant>
#include <QtGlobal>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <optional>
#include <span>
#include <string>
#include <thread>

#include "analysis/WaveFFT.h"
#include "analysis/WaveIFFT.h"
#include "app/Accessibility.h"
#include "app/ApplicationEvents.h"
#include "app/DarudadeDlg.h"
#include "app/ErrorReport.h"
#include "app/Fonts.h"
#include "app/Icon.h"
#include "app/MessageBox.h"
#include "app/PaintBox.h"
#include "app/Shape.h"
#include "app/Version.h"
#include "app/WaveDlg.h"
#include "app/WindowFrame.h"
#include "capture/sound/ACAP.h"
#include "capture/sound/ACAPCapture.h"
#include "gauge/MusicGauge.h"
#include "gauge/RepaintBatch.h"
#include "ui_MainForm.h"

namespace sonavik {

namespace {

// What the version box says when the sound server cannot be reached.
constexpr const char* kNoServerText = "音声サーバーに接続できません";

QLocale NumberLocale() {
  QLocale locale;
  // "1,5" is not 15 in an English locale: the gain box takes no digit grouping.
  locale.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
  return locale;
}

// A plot area with one trace on the background, shown at once.
void ShowTrace(TPaintBox& box, std::span<const QPoint> points, TColor pen) {
  box.Clear(kPlotBackground);
  box.Polyline(points, pen);
  box.Present();
}

// One channel's analyser for the spectrum window: Kaiser-weighted, at the capture's rate; the
// pass sets the length.
std::unique_ptr<TWaveFFT> MakeSpectrumAnalyser() {
  auto analyser = std::make_unique<TWaveFFT>();
  analyser->SetCount(0);
  analyser->SetSamplingRate(TMeasuringPass::kRate);
  analyser->SetWindowType(wtKAISER);
  return analyser;
}

}  // namespace

QString GainText(int maximum, int position) {
  return QLocale().toString(TMeasuringPass::Gain(maximum, position), 'g', 15);
}

int GainPosition(const QString& text, int minimum, int maximum) {
  bool ok = false;
  double x = NumberLocale().toDouble(text, &ok);
  // An overflowing number comes back as an infinity with ok false; it still says which
  // end it means. Anything else that is not a finite number is no gain at all.
  if (!ok && !std::isinf(x)) {
    x = 1.0;
  }
  if (std::isnan(x)) {
    x = 1.0;
  }
  // Clamp while still a real number: rounding a huge value to an integer first would
  // overflow. The ends are integers, so clamping first gives the same nearest integer.
  long double p = static_cast<long double>(maximum) - static_cast<long double>(x) * 100.0L;
  if (!(p >= minimum)) {
    p = minimum;
  } else if (p > maximum) {
    p = maximum;
  }
  return static_cast<int>(std::llrint(p));
}

TColor FadeLamp(TColor color) {
  // The factor is the double nearest 0.7, the arithmetic extended: 240 * 0.7 + 255 * 0.3
  // then lies just above 244.5 and gives 245.
  const long double factor = 0.7;
  const long double white = 255.0L * (1.0L - factor);
  TColor faded = 0;
  for (int shift : {0, 8, 16}) {
    const long double v = static_cast<long double>((color >> shift) & 0xFFu);
    const long long channel = std::llrint(v * factor + white);
    faded |= (static_cast<TColor>(channel) & 0xFFu) << shift;
  }
  return faded;
}

QString ReadoutText(double level) {
  // std::round takes a half away from zero; adding 0.0 turns a negative zero positive.
  const double whole = std::round(level) + 0.0;
  return QString::number(whole, 'f', 0);
}

TForm1::TForm1(QWidget* parent)
    : QWidget(parent),
      ui_(std::make_unique<Ui::TForm1>()),
      pass_(std::make_unique<TMeasuringPass>()) {
  InstallAccessibility();
  ui_->setupUi(this);
  ApplyLayoutFonts(this);
  // The "x" before the gain box takes the size of its text.
  ui_->Label6->adjustSize();
  MakeLampCaption(*ui_->Label7);
  MakeLampCaption(*ui_->Label8);
  setWindowIcon(SonavikIcon());
  MakeMainWindowFrame(*this, QPoint(194, 112), QSize(216, 406));
  UseDesktopSliderKeys(*ui_->TrackBar1);
  UseDesktopSliderKeys(*ui_->ScrollBar1);
  ui_->ComboBox1->view()->setAccessibleName(QStringLiteral("Capture devices"));

  for (TMusicGauge* gauge : {ui_->MusicGauge2, ui_->MusicGauge1}) {
    gauge->SetZoneAB(90.0);
    gauge->SetZoneBC(60.0);
    gauge->SetZoneAColor(0x0000FF);
    gauge->SetZoneBColor(0x00FFFF);
    gauge->SetZoneCColor(0x00FF00);
    gauge->SetPeakHold(true);
    gauge->SetPeakHoldTime(50);
    gauge->SetPeakThreshold(50.0);
    gauge->SetMaxValue(0);
    gauge->SetMinValue(-400);
    gauge->SetProgress(-400);
  }

  acap1_ = std::make_unique<TACAP>(nullptr);
  acap1_->SetOnMessage(
      [](const std::string& text) { ShowMessageBox(text, "", MessageBoxIcon::None); });
  // The rest of loading, the playback side, talks to the server: the sound session does it on
  // its own thread when the form is created.
  acap1_->SetDebugOption(dsoHaltOnError);

  timer1_ = std::make_unique<QTimer>();
  timer1_->setInterval(200);
  connect(timer1_.get(), &QTimer::timeout, this, [this] { Guarded([this] { Timer1Timer(); }); });
  timer1_->start();

  applicationEvents1_ = std::make_unique<TApplicationEvents>();
  applicationEvents1_->SetOnIdle([this](bool& Done) { ApplicationEvents1Idle(Done); });

  waveFFT1_ = MakeSpectrumAnalyser();

  timer2_ = std::make_unique<QTimer>();
  timer2_->setInterval(100);
  connect(timer2_.get(), &QTimer::timeout, this, [this] { Guarded([this] { Timer2Timer(); }); });
  timer2_->start();

  waveFFT2_ = MakeSpectrumAnalyser();

  waveIFFT1_ = std::make_unique<TWaveIFFT>();
  waveIFFT1_->SetCount(2);
  waveIFFT2_ = std::make_unique<TWaveIFFT>();
  waveIFFT2_->SetCount(2);

  // A pick from code raises nothing: only the user's choice reopens the device.
  connect(ui_->ComboBox1, &QComboBox::activated, this,
          [this](int) { Guarded([this] { ComboBox1Change(); }); });
  // The slider reports only real changes, so the exchange with the edit box ends as soon
  // as a position repeats.
  connect(ui_->TrackBar1, &QSlider::valueChanged, this,
          [this](int) { Guarded([this] { TrackBar1Change(); }); });
  // Every change of the text, typed or set from code.
  connect(ui_->Edit1, &QLineEdit::textChanged, this,
          [this](const QString&) { Guarded([this] { Edit1Change(); }); });
  connect(ui_->Button1, &QPushButton::clicked, this,
          [this] { Guarded([this] { Button1Click(); }); });
  connect(ui_->Button2, &QPushButton::clicked, this,
          [this] { Guarded([this] { Button2Click(); }); });
  connect(ui_->Button3, &QPushButton::clicked, this,
          [this] { Guarded([this] { Button3Click(); }); });

  Guarded([this] { FormCreate(); });
}

TForm1::~TForm1() {
  Guarded([this] { FormDestroy(); });
  // No idle pass may reach a half-destroyed window.
  applicationEvents1_->SetOnIdle(nullptr);
}

void TForm1::AttachToolWindows(TWaveDlg* waveDlg, TDarudadeDlg* darudadeDlg) {
  waveDlg_ = waveDlg;
  darudadeDlg_ = darudadeDlg;
}

void TForm1::FormCreate() {
  const CaptureFormat format{TMeasuringPass::kRate, TMeasuringPass::kBits, true,
                             TMeasuringPass::kRingBytes};
  session_ = std::make_unique<CaptureSession>(
      *acap1_, static_cast<CaptureSessionView&>(*this), format,
      [this](TACAPCapture& sender, std::uint32_t offset, std::uint32_t length) {
        RecEvent(sender, offset, length);
      });
  session_->Start();
}

void TForm1::FormDestroy() {
  // The capture stops and goes before the window: its handler calls RecEvent.
  session_.reset();
}

void TForm1::InsertDevice(int index, const DeviceItem& item) {
  ui_->ComboBox1->insertItem(index, QString::fromStdString(item.text),
                             item.id ? QVariant(QString::fromStdString(*item.id)) : QVariant());
}

void TForm1::RemoveDevice(int index) {
  ui_->ComboBox1->removeItem(index);
}

void TForm1::ChooseDevice(int index) {
  ui_->ComboBox1->setCurrentIndex(index);
}

void TForm1::ReportError(const std::exception_ptr& error) {
  Guarded([&error] { std::rethrow_exception(error); });
}

bool TForm1::Capturing() const {
  return session_ && session_->Capturing();
}

void TForm1::ComboBox1Change() {
  session_->Pick(ui_->ComboBox1->currentIndex());
}

void TForm1::TrackBar1Change() {
  ui_->Edit1->setText(GainText(ui_->TrackBar1->maximum(), ui_->TrackBar1->value()));
}

void TForm1::Edit1Change() {
  QSlider* bar = ui_->TrackBar1;
  bar->setValue(GainPosition(ui_->Edit1->text(), bar->minimum(), bar->maximum()));
}

void TForm1::Timer1Timer() {
  for (TShape* lamp : {ui_->Shape1, ui_->Shape2}) {
    if (lamp->BrushColor() != kLampIdle) {
      lamp->SetBrushColor(FadeLamp(lamp->BrushColor()));
    }
  }
}

void TForm1::Timer2Timer() {
  ui_->Label9->setText(ReadoutText(levelL_));
  ui_->Label10->setText(ReadoutText(levelR_));
  SpeakLevel(*ui_->MusicGauge1, levelL_);
  SpeakLevel(*ui_->MusicGauge2, levelR_);
}

void TForm1::ShowToolWindow(QWidget* window) {
  if (window == nullptr) {
    return;
  }
  window->show();
  window->raise();
  window->activateWindow();
}

void TForm1::Button1Click() {
  ShowToolWindow(waveDlg_);
}

void TForm1::Button2Click() {
  ShowToolWindow(darudadeDlg_);
}

void TForm1::Button3Click() {
  session_->AskServerDescription([](const std::string& description) {
    const std::string server = description.empty() ? kNoServerText : description;
    const std::string text = std::string(kApplicationTitle) + "\nVersion " + kVersion + "\nQt " +
                             qVersion() + "\n" + server;
    ShowMessageBox(text, "Version", MessageBoxIcon::Information);
  });
}

void TForm1::RecEvent(TACAPCapture&, std::uint32_t, std::uint32_t) {
  // Runs on the notification thread. The meter reads the ring on its own schedule, so
  // there is nothing to do here; the capture buffer only needs someone to call.
}

void TForm1::ApplicationEvents1Idle(bool& Done) {
  PassSettings settings;
  settings.gainMax = ui_->TrackBar1->maximum();
  settings.gainPosition = ui_->TrackBar1->value();
  // Taken once: a window shown or hidden during the pass counts from the next one.
  settings.scopeOn = waveDlg_ != nullptr && waveDlg_->isVisible();
  settings.spectrumOn = darudadeDlg_ != nullptr && darudadeDlg_->isVisible();
  settings.dcStop = ui_->SpeedButton1->isChecked();
  settings.vectorWidth = ui_->PaintBox1->width();
  settings.vectorHeight = ui_->PaintBox1->height();
  if (settings.scopeOn) {
    settings.scopeHeight = waveDlg_->PaintBox1()->height();
  }
  if (settings.spectrumOn) {
    settings.spectrumHeightL = darudadeDlg_->PaintBox1()->height();
    settings.spectrumHeightR = darudadeDlg_->PaintBox2()->height();
  }

  // An error ends the measuring, not the pass: the rest and the Done flag come first, the
  // report after them.
  std::exception_ptr error;
  try {
    MeasureAndDraw(settings);
  } catch (...) {
    error = std::current_exception();
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(ui_->ScrollBar1->value()));
  Done = false;
  if (error) {
    Guarded([&error] { std::rethrow_exception(error); });
  }
}

void TForm1::MeasureAndDraw(const PassSettings& settings) {
  const bool capturing = Capturing();
  if (!capturing && !showingSound_) {
    return;
  }
  // What the pass shows reaches the screen in one flush per window, when the drawing is done.
  const RepaintBatch oneFlushPerWindow;
  // A capture that stopped (its device or the server went away) leaves one pass over silence,
  // so the display never holds a level that is no longer there.
  showingSound_ = capturing;
  const PassLevels levels =
      capturing ? pass_->Measure(*FCapture(), settings) : pass_->MeasureSilence(settings);
  levelL_ = levels.levelL;
  levelR_ = levels.levelR;
  if (levels.clipL) {
    ui_->Shape1->SetBrushColor(kLampClip);
  }
  if (levels.clipR) {
    ui_->Shape2->SetBrushColor(kLampClip);
  }
  ui_->MusicGauge1->SetProgress(levels.gaugeL);
  ui_->MusicGauge2->SetProgress(levels.gaugeR);

  ShowTrace(*ui_->PaintBox1, pass_->VectorPoints(), kVectorTrace);

  if (settings.scopeOn) {
    TPaintBox* scope = waveDlg_->PaintBox1();
    scope->Clear(kPlotBackground);
    if (waveDlg_->SpeedButton1()->isChecked()) {
      scope->Polyline(pass_->ScopeLeft(), kLeftTrace);
    }
    if (waveDlg_->SpeedButton2()->isChecked()) {
      scope->Polyline(pass_->ScopeRight(), kRightTrace);
    }
    scope->Present();
  }

  if (settings.spectrumOn) {
    pass_->Analyse(*waveFFT1_, *waveFFT2_, settings);
    ShowTrace(*darudadeDlg_->PaintBox1(), pass_->SpectrumLeft(), kLeftTrace);
    ShowTrace(*darudadeDlg_->PaintBox2(), pass_->SpectrumRight(), kRightTrace);
  }
}

}  // namespace sonavik
