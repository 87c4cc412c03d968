// SPDX-License-Identifier: MIT
// The standard error report and the guard around every handler.
#include "app/ErrorReport.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/WaveFFT.h"
#include "app/MessageBox.h"

namespace sonavik {
namespace {

// Records the boxes shown while it lives.
class RecordedBoxes {
 public:
  RecordedBoxes() {
    SetMessageBoxFunction([this](const MessageBoxRequest& r) { boxes.push_back(r); });
  }
  ~RecordedBoxes() { SetMessageBoxFunction({}); }
  std::vector<MessageBoxRequest> boxes;
};

TEST(ErrorReportText, APeriodFollowsALastCharacterThatSortsAfterIt) {
  EXPECT_EQ(ErrorReportText("Disk full"), "Disk full.");
  EXPECT_EQ(ErrorReportText("code 42"), "code 42.");
  EXPECT_EQ(ErrorReportText("a/"), "a/.");  // '/' is the character right after '.'
  EXPECT_EQ(ErrorReportText("~"), "~.");
}

TEST(ErrorReportText, NoPeriodAfterThePeriodOrWhatSortsBeforeIt) {
  EXPECT_EQ(ErrorReportText("Done."), "Done.");
  EXPECT_EQ(ErrorReportText("Stop!"), "Stop!");
  EXPECT_EQ(ErrorReportText("(see log)"), "(see log)");
  EXPECT_EQ(ErrorReportText("a,"), "a,");
  EXPECT_EQ(ErrorReportText("a-"), "a-");
  EXPECT_EQ(ErrorReportText("trailing "), "trailing ");
  EXPECT_EQ(ErrorReportText(""), "");
}

TEST(ErrorReportText, EveryNonAsciiLastCharacterSortsAfterThePeriod) {
  EXPECT_EQ(ErrorReportText(kIndexOutOfRangeMessage), std::string(kIndexOutOfRangeMessage) + ".");
  EXPECT_EQ(ErrorReportText("終わり。"), "終わり。.");
  EXPECT_EQ(ErrorReportText("café"), "café.");
  EXPECT_EQ(ErrorReportText("…"), "….");
}

TEST(ReportError, ShowsTheTextUnderTheApplicationTitleWithTheErrorIcon) {
  RecordedBoxes recorded;
  ReportError(EAnalysisError(kNotPowerOfRadixMessage));
  ASSERT_EQ(recorded.boxes.size(), 1u);
  EXPECT_EQ(recorded.boxes[0].caption, "Sonavik");
  EXPECT_EQ(recorded.boxes[0].text, std::string(kNotPowerOfRadixMessage) + ".");
  EXPECT_EQ(recorded.boxes[0].icon, MessageBoxIcon::Error);
}

TEST(Guarded, AnEscapingErrorIsReportedAndTheCallerGoesOn) {
  RecordedBoxes recorded;
  int after = 0;
  Guarded([] { throw std::runtime_error("Lost the device"); });
  ++after;
  Guarded([] { throw 42; });
  ++after;
  Guarded([&] { ++after; });
  EXPECT_EQ(after, 3);
  ASSERT_EQ(recorded.boxes.size(), 2u);
  EXPECT_EQ(recorded.boxes[0].text, "Lost the device.");
  // Something that is no error object still gets a readable box.
  EXPECT_FALSE(recorded.boxes[1].text.empty());
  EXPECT_EQ(recorded.boxes[1].caption, "Sonavik");
  EXPECT_EQ(recorded.boxes[1].icon, MessageBoxIcon::Error);
}

TEST(Guarded, AReportThatFailsItselfEndsOnStandardError) {
  SetMessageBoxFunction([](const MessageBoxRequest&) { throw std::runtime_error("no box"); });
  ::testing::internal::CaptureStderr();
  Guarded([] { throw std::runtime_error("first failure"); });
  const std::string err = ::testing::internal::GetCapturedStderr();
  SetMessageBoxFunction({});
  EXPECT_NE(err.find("first failure"), std::string::npos) << err;
}

}  // namespace
}  // namespace sonavik
