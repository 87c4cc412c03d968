// SPDX-License-Identifier: MIT
// The Qt message box behind ShowMessageBox.
#include "app/QtMessageBox.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <string>
#include <thread>

#include "app/MessageBox.h"

namespace sonavik {
namespace {

struct SeenBox {
  bool seen = false;
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  Qt::TextFormat format = Qt::AutoText;
};

// Shows a box and reads it while it is open, then presses OK.
SeenBox ShowAndRead(const std::string& text, const std::string& caption, MessageBoxIcon icon) {
  SeenBox seen;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) {
      return;
    }
    seen.seen = true;
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.icon = box->icon();
    seen.buttons = box->standardButtons();
    seen.format = box->textFormat();
    box->button(QMessageBox::Ok)->click();
  });
  ShowMessageBox(text, caption, icon);
  return seen;
}

class QtMessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallQtMessageBox(); }
  void TearDown() override { SetMessageBoxFunction({}); }
};

TEST_F(QtMessageBoxTest, AnErrorBoxCarriesCaptionTextIconAndOneOkButton) {
  const SeenBox box = ShowAndRead("配列の範囲を越えました.", "Sonavik", MessageBoxIcon::Error);
  ASSERT_TRUE(box.seen) << "no modal message box was open";
  EXPECT_EQ(box.title, QString("Sonavik"));
  EXPECT_EQ(box.text, QString::fromUtf8("配列の範囲を越えました."));
  EXPECT_EQ(box.icon, QMessageBox::Critical);
  EXPECT_EQ(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

TEST_F(QtMessageBoxTest, IconsAndAnEmptyCaption) {
  const SeenBox bare = ShowAndRead("88780078", "", MessageBoxIcon::None);
  ASSERT_TRUE(bare.seen);
  EXPECT_EQ(bare.icon, QMessageBox::NoIcon);
  EXPECT_EQ(bare.text, QString("88780078"));
  EXPECT_TRUE(bare.title.isEmpty());

  const SeenBox info = ShowAndRead("Version 1.0", "Sonavik", MessageBoxIcon::Information);
  ASSERT_TRUE(info.seen);
  EXPECT_EQ(info.icon, QMessageBox::Information);
}

TEST_F(QtMessageBoxTest, TextIsShownAsWrittenNotAsMarkup) {
  const SeenBox box = ShowAndRead("<b>bold</b>", "Sonavik", MessageBoxIcon::Error);
  ASSERT_TRUE(box.seen);
  EXPECT_EQ(box.text, QString("<b>bold</b>"));
  EXPECT_EQ(box.format, Qt::PlainText);
}

TEST_F(QtMessageBoxTest, ARequestFromAnotherThreadGoesToStandardErrorWithoutAWidget) {
  ::testing::internal::CaptureStderr();
  std::thread other([] { ShowMessageBox("from the side", "Sonavik", MessageBoxIcon::Error); });
  other.join();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Sonavik: from the side"), std::string::npos) << err;
  EXPECT_EQ(QApplication::topLevelWidgets().size(), 0);
}

}  // namespace
}  // namespace sonavik
