// SPDX-License-Identifier: MIT
// The three windows as they come up: frames, every control's kind, parent, place, size,
// caption and face, creation order, tab order, accessible names and the components' settings,
// read from the running windows.
#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <map>
#include <vector>

#include "WindowsFixture.h"
#include "analysis/WaveFFT.h"
#include "analysis/WaveIFFT.h"
#include "app/Fonts.h"
#include "app/PaintBox.h"
#include "app/Shape.h"
#include "capture/sound/ACAP.h"
#include "gauge/MusicGauge.h"

namespace sonavik::test {
namespace {

enum Face { W, S, P, L, V };  // window, scale, plain, letter, small (Verdana)

struct Control {
  const char* name;
  const char* kind;  // the class, or a class it derives from
  const char* parent;
  int x, y, w, h;  // w < 0: sized to its content
  const char* caption;
  Face face;
};

const Control kMainControls[] = {
    {"Bevel1", "sonavik::TBevel", "Form1", 40, 32, 65, 9, "", W},
    {"Label1", "QLabel", "Form1", 48, 25, 49, 12, "0dB", S},
    {"Bevel2", "sonavik::TBevel", "Form1", 40, 56, 65, 9, "", W},
    {"Label2", "QLabel", "Form1", 48, 49, 49, 12, "-5dB", S},
    {"Bevel3", "sonavik::TBevel", "Form1", 40, 94, 65, 9, "", W},
    {"Label3", "QLabel", "Form1", 48, 87, 49, 12, "-12dB", S},
    {"Bevel4", "sonavik::TBevel", "Form1", 40, 240, 65, 9, "", W},
    {"Label4", "QLabel", "Form1", 48, 233, 49, 12, "-40dB", S},
    {"Bevel5", "sonavik::TBevel", "Form1", 40, 136, 65, 9, "", W},
    {"Label5", "QLabel", "Form1", 48, 129, 49, 12, "-20dB", S},
    {"MusicGauge2", "sonavik::TMusicGauge", "Form1", 104, 32, 33, 209, "", W},
    {"MusicGauge1", "sonavik::TMusicGauge", "Form1", 8, 32, 33, 209, "", W},
    {"Shape1", "sonavik::TShape", "Form1", 8, 16, 33, 17, "", W},
    {"Label7", "QLabel", "Form1", 8, 17, 33, 14, "Clip", V},
    {"Shape2", "sonavik::TShape", "Form1", 104, 16, 33, 17, "", W},
    {"Label8", "QLabel", "Form1", 104, 17, 33, 14, "Clip", V},
    {"Label9", "QLabel", "Form1", 40, 248, 33, 15, "0.0", P},
    {"Label10", "QLabel", "Form1", 72, 248, 33, 15, "0.0", P},
    {"SpeedButton1", "QToolButton", "Form1", 8, 376, 201, 22, "DC-Stop Filter", S},
    {"GroupBox1", "QGroupBox", "Form1", 152, 32, 57, 233, "調節", W},
    {"Label6", "QLabel", "GroupBox1", 8, 208, -1, -1, "x", W},
    {"TrackBar1", "QSlider", "GroupBox1", 8, 16, 41, 185, "", W},
    {"Edit1", "QLineEdit", "GroupBox1", 16, 205, 33, 18, "1", W},
    {"Panel1", "QFrame", "Form1", 8, 244, 33, 21, "L", L},
    {"Panel2", "QFrame", "Form1", 104, 244, 33, 21, "R", L},
    {"Panel3", "QFrame", "Form1", 48, 168, 49, 49, "", W},
    {"PaintBox1", "sonavik::TPaintBox", "Panel3", 1, 1, 47, 47, "", W},
    {"Button1", "QPushButton", "Form1", 8, 272, 81, 17, "DiroVozor", V},
    {"Button2", "QPushButton", "Form1", 88, 272, 65, 17, "Darudade", V},
    {"Button3", "QPushButton", "Form1", 152, 272, 57, 17, "Version", V},
    {"GroupBox2", "QGroupBox", "Form1", 8, 296, 201, 49, "ウェイト", W},
    {"ScrollBar1", "QScrollBar", "GroupBox2", 16, 18, 169, 17, "", W},
    {"ComboBox1", "QComboBox", "Form1", 8, 352, 201, 20, "", W},
};

const Control kWaveControls[] = {
    {"PaintBox1", "sonavik::TPaintBox", "WaveDlg", 0, 0, 404, 256, "", W},
    {"Panel1", "QFrame", "WaveDlg", 0, 256, 404, 40, "", W},
    {"SpeedButton1", "QToolButton", "Panel1", 16, 8, 65, 25, "Left ch.", P},
    {"SpeedButton2", "QToolButton", "Panel1", 88, 8, 65, 25, "Right ch.", P},
};

const Control kDarudadeControls[] = {
    {"Panel1", "QFrame", "DarudadeDlg", 0, 0, 364, 145, "", W},
    {"PaintBox1", "sonavik::TPaintBox", "Panel1", 32, 0, 332, 145, "", W},
    {"Panel2", "QFrame", "Panel1", 0, 0, 32, 145, "L", S},
    {"Panel3", "QFrame", "DarudadeDlg", 0, 145, 364, 145, "", W},
    {"PaintBox2", "sonavik::TPaintBox", "Panel3", 32, 0, 332, 145, "", W},
    {"Panel4", "QFrame", "Panel3", 0, 0, 32, 145, "R", S},
    {"StatusBar1", "QStatusBar", "DarudadeDlg", 0, 291, 364, 19, "", W},
};

QString Caption(const QWidget* w) {
  if (auto* label = qobject_cast<const QLabel*>(w)) {
    return label->text();
  }
  if (auto* button = qobject_cast<const QAbstractButton*>(w)) {
    return button->text();
  }
  if (auto* box = qobject_cast<const QGroupBox*>(w)) {
    return box->title();
  }
  if (auto* edit = qobject_cast<const QLineEdit*>(w)) {
    return edit->text();
  }
  return {};
}

struct ExpectedFace {
  const char* family;
  const char* standIn;
  int pixels;
  bool bold;
};

ExpectedFace Expected(Face face) {
  switch (face) {
    case W:
      return {"ＭＳ Ｐゴシック", "IPAPGothic", 12, false};
    case S:
      return {"Arial", "Liberation Sans", 12, true};
    case P:
      return {"Arial", "Liberation Sans", 12, false};
    case L:
      return {"Arial", "Liberation Sans", 13, true};
    case V:
      return {"Verdana", "DejaVu Sans", 11, false};
  }
  return {};
}

template <std::size_t N>
void CheckControls(const QWidget& window, const Control (&table)[N]) {
  std::map<QString, std::vector<QString>> orderByParent;
  for (const Control& c : table) {
    SCOPED_TRACE(c.name);
    auto* w = window.findChild<QWidget*>(c.name);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->inherits(c.kind)) << w->metaObject()->className();
    ASSERT_NE(w->parentWidget(), nullptr);
    EXPECT_EQ(w->parentWidget()->objectName(), c.parent);
    EXPECT_EQ(w->pos(), QPoint(c.x, c.y));
    if (c.w >= 0) {
      EXPECT_EQ(w->size(), QSize(c.w, c.h));
    } else {
      EXPECT_EQ(w->size(), w->sizeHint());
    }
    EXPECT_EQ(Caption(w), QString::fromUtf8(c.caption));
    const ExpectedFace face = Expected(c.face);
    EXPECT_EQ(w->font().family(), QString::fromUtf8(face.family));
    EXPECT_EQ(w->font().pixelSize(), face.pixels);
    EXPECT_EQ(w->font().bold(), face.bold);
    // The name resolves to an installed face that stands in for it.
    EXPECT_EQ(QFontInfo(w->font()).family(), face.standIn);
    orderByParent[c.parent].emplace_back(c.name);
  }
  // Siblings come into being in the table's order, so later ones lie on top.
  for (const auto& [parentName, names] : orderByParent) {
    SCOPED_TRACE(parentName.toStdString());
    const QWidget* parent =
        parentName == window.objectName() ? &window : window.findChild<QWidget*>(parentName);
    ASSERT_NE(parent, nullptr);
    std::vector<QString> created;
    for (const QObject* child : parent->children()) {
      if (std::find(names.begin(), names.end(), child->objectName()) != names.end()) {
        created.push_back(child->objectName());
      }
    }
    EXPECT_EQ(created, names);
  }
}

// The widgets the Tab key visits, in order, starting at `first` and going once round.
std::vector<QString> TabCycle(QWidget* first) {
  std::vector<QString> names;
  QWidget* w = first;
  do {
    if ((w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->isEnabled()) {
      names.push_back(w->objectName());
    }
    w = w->nextInFocusChain();
  } while (w != first && names.size() < 100);
  return names;
}

using WindowsLayout = WindowsTest;

TEST_F(WindowsLayout, MainWindowFrameCaptionPlaceAndSize) {
  EXPECT_EQ(form->objectName(), "Form1");
  EXPECT_EQ(form->windowTitle(), "Sonavik");
  EXPECT_EQ(form->pos(), QPoint(194, 112));
  EXPECT_EQ(form->size(), QSize(216, 406));
  EXPECT_EQ(form->minimumSize(), form->maximumSize());
  const Qt::WindowFlags flags = form->windowFlags();
  EXPECT_EQ(form->windowType(), Qt::Window);
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  // The program's icon in its two sizes, each a picture rather than a blank square.
  const QList<QSize> sizes = form->windowIcon().availableSizes();
  EXPECT_TRUE(sizes.contains(QSize(16, 16)));
  EXPECT_TRUE(sizes.contains(QSize(32, 32)));
  for (int side : {16, 32}) {
    const QImage icon = form->windowIcon().pixmap(QSize(side, side)).toImage();
    EXPECT_EQ(icon.size(), QSize(side, side));
    EXPECT_NE(icon.pixel(side / 4, side - 4), icon.pixel(side / 4, 1)) << side;
  }
  EXPECT_EQ(form->font().family(), "ＭＳ Ｐゴシック");
  EXPECT_EQ(form->font().pixelSize(), 12);
  EXPECT_TRUE(form->isVisible());
}

TEST_F(WindowsLayout, ToolWindowsAreHiddenFixedToolFramesAtTheirPlace) {
  struct {
    QWidget* window;
    const char* name;
    const char* caption;
    QSize client;
  } windows[] = {{waveDlg.get(), "WaveDlg", "DiroVozor", {404, 296}},
                 {darudadeDlg.get(), "DarudadeDlg", "Darudade", {364, 310}}};
  for (const auto& w : windows) {
    SCOPED_TRACE(w.name);
    EXPECT_EQ(w.window->objectName(), w.name);
    EXPECT_EQ(w.window->windowTitle(), w.caption);
    EXPECT_FALSE(w.window->isVisible());
    EXPECT_EQ(w.window->windowType(), Qt::Tool);
    EXPECT_TRUE(w.window->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(w.window->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(w.window->pos(), QPoint(420, 110));
    EXPECT_EQ(w.window->size(), w.client);
    EXPECT_EQ(w.window->minimumSize(), w.window->maximumSize());
    EXPECT_EQ(w.window->font().family(), "ＭＳ Ｐゴシック");
    // Closing the main window ends the program, whatever the tool windows do.
    EXPECT_FALSE(w.window->testAttribute(Qt::WA_QuitOnClose));
  }
}

TEST_F(WindowsLayout, MainWindowControls) {
  CheckControls(*form, kMainControls);
}

TEST_F(WindowsLayout, DiroVozorControls) {
  CheckControls(*waveDlg, kWaveControls);
}

TEST_F(WindowsLayout, DarudadeControls) {
  CheckControls(*darudadeDlg, kDarudadeControls);
  // One row of the window's face between the lower row and the status bar.
  auto* lower = darudadeDlg->findChild<QWidget*>("Panel3");
  EXPECT_EQ(darudadeDlg->StatusBar1()->y() - (lower->y() + lower->height()), 1);
}

TEST_F(WindowsLayout, TabOrderVisitsTheInputControlsAndTheToggleButtonsOnly) {
  // The toggle buttons come last, after the controls the layout orders; a click on one does
  // not take the focus from where it is.
  const std::vector<QString> expected = {"TrackBar1", "Edit1",      "Button1",   "Button2",
                                         "Button3",   "ScrollBar1", "ComboBox1", "SpeedButton1"};
  EXPECT_EQ(TabCycle(FindControl<QSlider>(*form, "TrackBar1")), expected);
  for (const char* name :
       {"Shape1", "MusicGauge1", "PaintBox1", "Panel3", "GroupBox1", "Label9", "Bevel1"}) {
    EXPECT_EQ(form->findChild<QWidget*>(name)->focusPolicy() & Qt::TabFocus, 0) << name;
  }
  waveDlg->show();
  EXPECT_EQ(TabCycle(waveDlg->SpeedButton1()),
            (std::vector<QString>{"SpeedButton1", "SpeedButton2"}));
  for (QToolButton* button :
       {FindControl<QToolButton>(*form, "SpeedButton1"), waveDlg->SpeedButton1()}) {
    EXPECT_EQ(button->focusPolicy(), Qt::TabFocus);
    const bool before = button->isChecked();
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_NE(button->isChecked(), before) << "Space toggles " << button->text().toStdString();
  }
}

TEST_F(WindowsLayout, ControlsAndPlotsHaveAccessibleNamesAndDescriptions) {
  struct {
    QWidget* window;
    const char* object;
    const char* name;
  } named[] = {
      {form.get(), "TrackBar1", "Gain"},
      {form.get(), "Edit1", "Gain factor"},
      {form.get(), "ScrollBar1", "Wait"},
      // Qt on Linux names a list by its choice; its description says what the list is.
      {form.get(), "ComboBox1", "Default Device"},
      {form.get(), "SpeedButton1", "DC-stop filter"},
      // Until the readouts' first tick; then the level follows the name.
      {form.get(), "MusicGauge1", "Left level"},
      {form.get(), "MusicGauge2", "Right level"},
      {form.get(), "Shape1", "Left clip lamp"},
      {form.get(), "Shape2", "Right clip lamp"},
      {form.get(), "PaintBox1", "Vector box"},
      {form.get(), "Panel3", "Vector box frame"},
      {form.get(), "Button3", "Version"},
      {form.get(), "GroupBox1", "調節"},
      {waveDlg.get(), "Panel1", "Channels"},
      // The readouts are named by the level they show.
      {form.get(), "Label9", "0.0"},
      {form.get(), "Label10", "0.0"},
      {waveDlg.get(), "PaintBox1", "Oscilloscope"},
      {darudadeDlg.get(), "PaintBox1", "Left spectrum"},
      {darudadeDlg.get(), "PaintBox2", "Right spectrum"},
      {darudadeDlg.get(), "Panel3", "Right channel"},
  };
  for (const auto& n : named) {
    SCOPED_TRACE(n.object);
    QAccessibleInterface* face =
        QAccessible::queryAccessibleInterface(n.window->findChild<QWidget*>(n.object));
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->text(QAccessible::Name), n.name);
    EXPECT_FALSE(face->text(QAccessible::Description).isEmpty());
  }
}

// Everything a screen reader reaches from a window, depth first.
void Reachable(QAccessibleInterface* face, std::vector<QAccessibleInterface*>& out) {
  out.push_back(face);
  for (int i = 0; i < face->childCount(); ++i) {
    QAccessibleInterface* child = face->child(i);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(face->indexOfChild(child), i);
    Reachable(child, out);
  }
}

TEST_F(WindowsLayout, ScreenReadersFindNamedFramesWithoutDecoration) {
  waveDlg->show();
  darudadeDlg->show();
  for (QWidget* window : {static_cast<QWidget*>(form.get()), static_cast<QWidget*>(waveDlg.get()),
                          static_cast<QWidget*>(darudadeDlg.get())}) {
    SCOPED_TRACE(window->objectName().toStdString());
    QAccessibleInterface* frame = QAccessible::queryAccessibleInterface(window);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->role(), QAccessible::Window);
    EXPECT_EQ(frame->text(QAccessible::Name), window->windowTitle());
    EXPECT_FALSE(frame->text(QAccessible::Description).isEmpty());
    std::vector<QAccessibleInterface*> reachable;
    Reachable(frame, reachable);
    for (QAccessibleInterface* face : reachable) {
      const QObject* object = face->object();
      SCOPED_TRACE(object ? object->metaObject()->className() : "?");
      EXPECT_FALSE(face->text(QAccessible::Name).isEmpty());
      EXPECT_FALSE(object && object->property("decorative").toBool());
      if (face != frame) {
        // Only windows are frames; plain fillers say nothing.
        EXPECT_NE(face->role(), QAccessible::Window);
        EXPECT_NE(face->role(), QAccessible::Border);
        EXPECT_NE(face->role(), QAccessible::Client);
      }
    }
  }
}

TEST_F(WindowsLayout, LampCaptionsStayReadableOnADarkPalette) {
  // A dark desktop theme: light text on a dark face. The lamps stay white.
  QPalette dark = form->palette();
  dark.setColor(QPalette::Window, QColor(53, 53, 53));
  dark.setColor(QPalette::WindowText, Qt::white);
  form->setPalette(dark);
  for (TShape* lamp :
       {FindControl<TShape>(*form, "Shape1"), FindControl<TShape>(*form, "Shape2")}) {
    SCOPED_TRACE(lamp->objectName().toStdString());
    const QImage picture = form->grab(lamp->geometry()).toImage();
    // Inside the lamp's black outline only the lettering is dark.
    int darkest = 255;
    for (int y = 1; y < picture.height() - 1; ++y) {
      for (int x = 1; x < picture.width() - 1; ++x) {
        darkest = std::min(darkest, qGray(picture.pixel(x, y)));
      }
    }
    EXPECT_LT(darkest, 64);
  }
  // The scale beside the lamps follows the theme.
  EXPECT_EQ(form->findChild<QLabel*>("Label1")->palette().color(QPalette::WindowText),
            QColor(Qt::white));
}

TEST_F(WindowsLayout, MainWindowSettings) {
  QSlider* bar = FindControl<QSlider>(*form, "TrackBar1");
  EXPECT_EQ(bar->orientation(), Qt::Vertical);
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 1000);
  EXPECT_EQ(bar->value(), 900);
  EXPECT_EQ(bar->tickInterval(), 50);
  EXPECT_EQ(bar->tickPosition(), QSlider::TicksBothSides);
  EXPECT_EQ(bar->singleStep(), 1);
  EXPECT_EQ(bar->pageStep(), 2);
  // The minimum is at the top: the slider's far end drawn upward is position 0.
  EXPECT_TRUE(bar->invertedAppearance());

  QScrollBar* wait = FindControl<QScrollBar>(*form, "ScrollBar1");
  EXPECT_EQ(wait->orientation(), Qt::Horizontal);
  EXPECT_EQ(wait->minimum(), 0);
  EXPECT_EQ(wait->maximum(), 200);
  EXPECT_EQ(wait->value(), 35);
  EXPECT_EQ(wait->singleStep(), 1);
  EXPECT_EQ(wait->pageStep(), 1);

  EXPECT_FALSE(FindControl<QComboBox>(*form, "ComboBox1")->isEditable());
  EXPECT_TRUE(FindControl<QToolButton>(*form, "SpeedButton1")->isCheckable());
  EXPECT_FALSE(FindControl<QToolButton>(*form, "SpeedButton1")->isChecked());
  EXPECT_TRUE(waveDlg->SpeedButton1()->isCheckable());
  EXPECT_TRUE(waveDlg->SpeedButton1()->isChecked());
  EXPECT_TRUE(waveDlg->SpeedButton2()->isCheckable());
  EXPECT_FALSE(waveDlg->SpeedButton2()->isChecked());
  EXPECT_FALSE(waveDlg->SpeedButton1()->autoExclusive());

  EXPECT_EQ(FindControl<TShape>(*form, "Shape1")->BrushColor(), 0xFFFFFFu);
  EXPECT_EQ(FindControl<TShape>(*form, "Shape2")->BrushColor(), 0xFFFFFFu);
  // The readouts hide what lies behind them; the scale labels let the lines show through.
  EXPECT_TRUE(FindControl<QLabel>(*form, "Label9")->autoFillBackground());
  EXPECT_TRUE(FindControl<QLabel>(*form, "Label10")->autoFillBackground());
  EXPECT_FALSE(form->findChild<QLabel*>("Label1")->autoFillBackground());
  for (const char* name : {"Panel1", "Panel2"}) {
    auto* panel = form->findChild<QFrame*>(name);
    EXPECT_EQ(panel->frameShape(), QFrame::Panel) << name;
    EXPECT_EQ(panel->frameShadow(), QFrame::Raised) << name;
    EXPECT_EQ(panel->lineWidth(), 1) << name;
  }
  EXPECT_FALSE(darudadeDlg->StatusBar1()->isSizeGripEnabled());
  EXPECT_TRUE(darudadeDlg->StatusBar1()->currentMessage().isEmpty());
}

TEST_F(WindowsLayout, KeysStepTheGainAndTheWaitAsOnTheDesktop) {
  QSlider* bar = FindControl<QSlider>(*form, "TrackBar1");
  // Up moves the thumb up, toward the minimum at the top: more gain.
  QTest::keyClick(bar, Qt::Key_Up);
  EXPECT_EQ(bar->value(), 899);
  EXPECT_EQ(FindControl<QLineEdit>(*form, "Edit1")->text(), "1.01");
  QTest::keyClick(bar, Qt::Key_PageDown);
  EXPECT_EQ(bar->value(), 901);
  EXPECT_EQ(FindControl<QLineEdit>(*form, "Edit1")->text(), "0.99");
  QTest::keyClick(bar, Qt::Key_Left);
  EXPECT_EQ(bar->value(), 900);
  QTest::keyClick(bar, Qt::Key_Right);
  EXPECT_EQ(bar->value(), 901);
  QTest::keyClick(bar, Qt::Key_Home);
  EXPECT_EQ(bar->value(), 0);
  EXPECT_EQ(FindControl<QLineEdit>(*form, "Edit1")->text(), "10");

  QScrollBar* wait = FindControl<QScrollBar>(*form, "ScrollBar1");
  QTest::keyClick(wait, Qt::Key_Right);
  EXPECT_EQ(wait->value(), 36);
  QTest::keyClick(wait, Qt::Key_Left);
  QTest::keyClick(wait, Qt::Key_Left);
  EXPECT_EQ(wait->value(), 34);
  QTest::keyClick(wait, Qt::Key_PageDown);
  EXPECT_EQ(wait->value(), 35);
  QTest::keyClick(wait, Qt::Key_PageUp);
  EXPECT_EQ(wait->value(), 34);
  QTest::keyClick(wait, Qt::Key_End);
  EXPECT_EQ(wait->value(), 200);
}

TEST_F(WindowsLayout, GaugesAndComponentsCarryTheirSettings) {
  for (TMusicGauge* g : {FindControl<TMusicGauge>(*form, "MusicGauge1"),
                         FindControl<TMusicGauge>(*form, "MusicGauge2")}) {
    EXPECT_EQ(g->ZoneAB(), 90.0);
    EXPECT_EQ(g->ZoneBC(), 60.0);
    EXPECT_EQ(g->ZoneAColor(), 0x0000FFu);
    EXPECT_EQ(g->ZoneBColor(), 0x00FFFFu);
    EXPECT_EQ(g->ZoneCColor(), 0x00FF00u);
    EXPECT_TRUE(g->PeakHold());
    EXPECT_EQ(g->PeakHoldTime(), 50u);
    EXPECT_EQ(g->PeakThreshold(), 50.0);
    EXPECT_EQ(g->MaxValue(), 0);
    EXPECT_EQ(g->MinValue(), -400);
    EXPECT_EQ(g->Progress(), -400);
  }
  EXPECT_EQ(form->ACAP1().DebugOption(), dsoHaltOnError);
  EXPECT_TRUE(HaltOnErrorFlag());
  EXPECT_EQ(form->Timer1().interval(), 200);
  EXPECT_TRUE(form->Timer1().isActive());
  EXPECT_EQ(form->Timer2().interval(), 100);
  EXPECT_TRUE(form->Timer2().isActive());
  for (TWaveFFT* fft : {&form->WaveFFT1(), &form->WaveFFT2()}) {
    EXPECT_EQ(fft->Count(), 0);
    EXPECT_EQ(fft->SamplingRate(), 44100.0);
    EXPECT_EQ(fft->WindowType(), wtKAISER);
  }
  EXPECT_EQ(form->WaveIFFT1().Count(), 2);
  EXPECT_EQ(form->WaveIFFT2().Count(), 2);
}

}  // namespace
}  // namespace sonavik::test
