// SPDX-License-Identifier: MIT
// The arithmetic of one measuring pass on blocks built in place: gain, DC-stop, peaks,
// levels, lamps, gauge values and the vector and scope points.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "PassBlock.h"
#include "app/MeasuringPass.h"

namespace sonavik {
namespace {

using test::AtPosition;
using test::FillCaptured;
using test::PutFrame;

constexpr int kFrames = TMeasuringPass::kFrames;
constexpr int kCaptured = kFrames / 2;

class MeasuringPassTest : public ::testing::Test {
 protected:
  std::unique_ptr<TMeasuringPass> pass = std::make_unique<TMeasuringPass>();
  TMeasuringPass::Block block{};
};

// A block with no sound in it: exactly -6000 dB, the gauges far below their range, no lamp.
void ExpectSilence(const PassLevels& levels) {
  EXPECT_EQ(levels.levelL, -6000.0);
  EXPECT_EQ(levels.levelR, -6000.0);
  EXPECT_EQ(levels.gaugeL, -60000);
  EXPECT_EQ(levels.gaugeR, -60000);
  EXPECT_FALSE(levels.clipL);
  EXPECT_FALSE(levels.clipR);
}

TEST_F(MeasuringPassTest, UnityGainAtTheInitialPositionKeepsEverySample) {
  block.fill(0);
  const std::int16_t samples[] = {-32768, -32767, -12345, -1, 0, 1, 777, 32766, 32767};
  int frame = 0;
  for (std::int16_t s : samples) {
    PutFrame(block, frame++, s, static_cast<std::int16_t>(-(s + 1)));
  }
  pass->MeasureBlock(block, PassSettings{});
  frame = 0;
  for (std::int16_t s : samples) {
    EXPECT_EQ(pass->Left()[frame], s) << "frame " << frame;
    EXPECT_EQ(pass->Right()[frame], -(s + 1)) << "frame " << frame;
    ++frame;
  }
  for (int i = frame; i < kFrames; ++i) {
    ASSERT_EQ(pass->Left()[i], 0);
    ASSERT_EQ(pass->Right()[i], 0);
  }
}

TEST_F(MeasuringPassTest, ZeroGainSilencesAFullScaleBlock) {
  FillCaptured(block, -32768, 32767);
  const PassLevels levels = pass->MeasureBlock(block, AtPosition(1000));
  for (int i = 0; i < kFrames; ++i) {
    ASSERT_EQ(pass->Left()[i], 0);
    ASSERT_EQ(pass->Right()[i], 0);
  }
  ExpectSilence(levels);
}

TEST_F(MeasuringPassTest, HalfwayProductsGoToTheEvenNeighbour) {
  block.fill(0);
  // At gain 0.50: 1 -> 0.5, 3 -> 1.5, 5 -> 2.5, 7 -> 3.5, and their negatives.
  const std::int16_t raw[] = {1, 3, 5, 7, -1, -3, -5, -7, 2};
  const std::int32_t expected[] = {0, 2, 2, 4, 0, -2, -2, -4, 1};
  for (int i = 0; i < 9; ++i) {
    PutFrame(block, i, raw[i], static_cast<std::int16_t>(-raw[i]));
  }
  pass->MeasureBlock(block, AtPosition(950));
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(pass->Left()[i], expected[i]) << "raw " << raw[i];
    EXPECT_EQ(pass->Right()[i], -expected[i]) << "raw " << -raw[i];
  }
}

TEST_F(MeasuringPassTest, GainProductIsFormedBeyondDoublePrecision) {
  // The double nearest 1.1 is a little above 1.1, so 15 * g lies just above 16.5 and rounds
  // up; a product rounded to a double lands on 16.5 exactly and would go to 16.
  block.fill(0);
  PutFrame(block, 0, 15, -15);
  PutFrame(block, 1, 10, 1000);
  pass->MeasureBlock(block, AtPosition(890));
  EXPECT_EQ(pass->Left()[0], 17);
  EXPECT_EQ(pass->Right()[0], -17);
  EXPECT_EQ(pass->Left()[1], 11);
  EXPECT_EQ(pass->Right()[1], 1100);
}

TEST_F(MeasuringPassTest, MinusFullScaleLightsTheLampAndPlusFullScaleStaysJustUnder) {
  block.fill(0);
  PutFrame(block, 100, -32768, 32767);
  PutFrame(block, 101, 32767, -32767);
  const PassLevels levels = pass->MeasureBlock(block, PassSettings{});
  EXPECT_EQ(levels.levelL, 0.0);
  EXPECT_TRUE(levels.clipL);
  EXPECT_EQ(levels.gaugeL, 0);

  EXPECT_LT(levels.levelR, 0.0);
  EXPECT_NEAR(levels.levelR, 20.0 * std::log10(32767.0 / 32768.0), 1e-12);
  EXPECT_GT(levels.levelR, -0.0003);
  EXPECT_FALSE(levels.clipR);
  EXPECT_EQ(levels.gaugeR, 0);
}

TEST_F(MeasuringPassTest, LevelsAreDecibelsOfFullScale) {
  block.fill(0);
  PutFrame(block, 3, 1, -16384);  // one step; half scale
  const PassLevels levels = pass->MeasureBlock(block, PassSettings{});
  // 1 / 2^15: 15 halvings of 6.0206 dB each.
  EXPECT_NEAR(levels.levelL, -15 * 20 * std::log10(2.0), 1e-9);
  EXPECT_EQ(levels.gaugeL, -903);
  EXPECT_NEAR(levels.levelR, -20 * std::log10(2.0), 1e-9);
  EXPECT_EQ(levels.gaugeR, -60);
  EXPECT_FALSE(levels.clipL);
  EXPECT_FALSE(levels.clipR);
}

TEST_F(MeasuringPassTest, SilenceGivesMinusSixThousandDecibels) {
  block.fill(0);
  const PassLevels levels = pass->MeasureBlock(block, PassSettings{});
  ExpectSilence(levels);
}

TEST_F(MeasuringPassTest, TenfoldGainOverdrivesBothChannelsAndCapsTheGauges) {
  block.fill(0);
  PutFrame(block, 10, 32767, -32767);
  PutFrame(block, 11, -32767, 3277);  // 32770 after the gain: just over full scale
  const PassLevels levels = pass->MeasureBlock(block, AtPosition(0));
  EXPECT_EQ(pass->Left()[10], 327670);
  EXPECT_EQ(pass->Right()[10], -327670);
  EXPECT_NEAR(levels.levelL, 20.0 * std::log10(327670.0 / 32768.0), 1e-9);
  EXPECT_GT(levels.levelL, 19.99);
  EXPECT_TRUE(levels.clipL);
  EXPECT_TRUE(levels.clipR);
  EXPECT_EQ(levels.gaugeL, 0);
  EXPECT_EQ(levels.gaugeR, 0);
}

TEST_F(MeasuringPassTest, DcStopCentresTheWholeBlockOnItsMean) {
  PassSettings dc;
  dc.dcStop = true;

  // Mean 1.5 with the zero half counted: 3 - 1.5 and 0 - 1.5 are halfway cases.
  FillCaptured(block, 3, -3);
  pass->MeasureBlock(block, dc);
  for (int i = 0; i < kFrames; ++i) {
    ASSERT_EQ(pass->Left()[i], i < kCaptured ? 2 : -2) << "frame " << i;
    ASSERT_EQ(pass->Right()[i], i < kCaptured ? -2 : 2) << "frame " << i;
  }

  // Mean 0.5: 0.5 and -0.5 both go to 0.
  FillCaptured(block, 1, 1);
  pass->MeasureBlock(block, dc);
  for (int i = 0; i < kFrames; ++i) {
    ASSERT_EQ(pass->Left()[i], 0) << "frame " << i;
    ASSERT_EQ(pass->Right()[i], 0) << "frame " << i;
  }
}

TEST_F(MeasuringPassTest, DcStopLeavesALoneImpulseInPlace) {
  block.fill(0);
  PutFrame(block, 500, 1000, -1000);
  PassSettings dc;
  dc.dcStop = true;
  const PassLevels levels = pass->MeasureBlock(block, dc);
  // The mean, 1000/2048, is just under one half: every other frame stays at 0.
  for (int i = 0; i < kFrames; ++i) {
    ASSERT_EQ(pass->Left()[i], i == 500 ? 1000 : 0) << "frame " << i;
    ASSERT_EQ(pass->Right()[i], i == 500 ? -1000 : 0) << "frame " << i;
  }
  EXPECT_NEAR(levels.levelL, 20.0 * std::log10(1000.0 / 32768.0), 1e-9);
}

TEST_F(MeasuringPassTest, DcStopKeepsNothingFromBlockToBlock) {
  PassSettings dc;
  dc.dcStop = true;
  FillCaptured(block, 3001, -4001);
  pass->MeasureBlock(block, dc);
  const auto firstLeft = pass->Left();
  const auto firstRight = pass->Right();
  pass->MeasureBlock(block, dc);
  EXPECT_EQ(pass->Left(), firstLeft);
  EXPECT_EQ(pass->Right(), firstRight);
  // Mean 1500.5 -> captured 1500.5 and -1500.5, both halfway, to the even 1500 and -1500.
  EXPECT_EQ(firstLeft[0], 1500);
  EXPECT_EQ(firstLeft[kCaptured], -1500);
  // Mean -2000.5.
  EXPECT_EQ(firstRight[0], -2000);
  EXPECT_EQ(firstRight[kCaptured], 2000);
}

TEST_F(MeasuringPassTest, SilentBlockPutsEveryVectorPointAtTheCentre) {
  block.fill(0);
  pass->MeasureBlock(block, PassSettings{});
  for (const QPoint& p : pass->VectorPoints()) {
    ASSERT_EQ(p, QPoint(23, 24));
  }
}

TEST_F(MeasuringPassTest, VectorBoxPlotsLeftAcrossAndRightUpward) {
  block.fill(0);
  // Left only: every point on the centre row.
  const std::int16_t lefts[] = {32767, -32768, 1499, -1499, 1500, -1500, 3000, -29999};
  const int xs[] = {23 + 21, 23 - 21, 23, 23, 24, 22, 25, 23 - 19};
  for (int i = 0; i < 8; ++i) {
    PutFrame(block, i, lefts[i], 0);
  }
  // Right only: every point on the centre column, positive upward.
  PutFrame(block, 8, 0, 32767);
  PutFrame(block, 9, 0, -32768);
  PutFrame(block, 10, 0, -1499);
  // Equal channels on the rising diagonal.
  PutFrame(block, 11, 9000, 9000);
  pass->MeasureBlock(block, PassSettings{});

  const auto& v = pass->VectorPoints();
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(v[i], QPoint(xs[i], 24)) << "left " << lefts[i];
  }
  EXPECT_EQ(v[8], QPoint(23, 24 - 21));
  EXPECT_EQ(v[9], QPoint(23, 24 + 21));
  EXPECT_EQ(v[10], QPoint(23, 24));
  EXPECT_EQ(v[11], QPoint(23 + 6, 24 - 6));
  // Full scale stays inside the box.
  for (const QPoint& p : v) {
    ASSERT_TRUE(p.x() >= 0 && p.x() < 47 && p.y() >= 0 && p.y() < 47) << p.x() << "," << p.y();
  }
}

TEST_F(MeasuringPassTest, VectorBoxTakesItsSizeFromThePaintBox) {
  block.fill(0);
  PutFrame(block, 0, 15000, -15000);
  PassSettings s;
  s.vectorWidth = 101;
  s.vectorHeight = 60;
  pass->MeasureBlock(block, s);
  // Half width 50 is the offset on both axes.
  EXPECT_EQ(pass->VectorPoints()[0], QPoint(60, 60 - (-10 + 50)));
  EXPECT_EQ(pass->VectorPoints()[1], QPoint(50, 10));
}

TEST_F(MeasuringPassTest, ScopeSpreadsFramesTwoAndAHalfToThePixel) {
  block.fill(0);
  PassSettings s;
  s.scopeOn = true;
  pass->MeasureBlock(block, s);
  const auto& l = pass->ScopeLeft();
  const auto& r = pass->ScopeRight();
  for (int i = 0; i < kFrames; ++i) {
    ASSERT_EQ(l[i].y(), 128) << "frame " << i;
    ASSERT_EQ(r[i].y(), 128) << "frame " << i;
    ASSERT_EQ(l[i].x(), r[i].x());
    // Never more than a quarter pixel from the exact position.
    ASSERT_LE(std::abs(l[i].x() - i / 2.5), 0.4 + 1e-9) << "frame " << i;
  }
  EXPECT_EQ(l[0].x(), 0);
  EXPECT_EQ(l[1].x(), 0);
  EXPECT_EQ(l[2].x(), 1);
  EXPECT_EQ(l[1008].x(), 403);  // last one inside the 404-pixel box
  EXPECT_EQ(l[1009].x(), 404);
  EXPECT_EQ(l[kFrames - 1].x(), 819);
}

TEST_F(MeasuringPassTest, ScopeScalesFiveHundredUnitsToThePixelAboutTheMiddleRow) {
  block.fill(0);
  PutFrame(block, 0, 32767, -32768);
  PutFrame(block, 1, -499, 499);
  PutFrame(block, 2, 500, -1000);
  PassSettings s;
  s.scopeOn = true;
  pass->MeasureBlock(block, s);
  EXPECT_EQ(pass->ScopeLeft()[0].y(), 128 - 65);
  EXPECT_EQ(pass->ScopeRight()[0].y(), 128 + 65);
  EXPECT_EQ(pass->ScopeLeft()[1].y(), 128);
  EXPECT_EQ(pass->ScopeRight()[1].y(), 128);
  EXPECT_EQ(pass->ScopeLeft()[2].y(), 127);
  EXPECT_EQ(pass->ScopeRight()[2].y(), 130);
}

TEST_F(MeasuringPassTest, ScopePointsAreLeftAloneWhileTheScopeIsHidden) {
  block.fill(0);
  PutFrame(block, 0, 10000, 10000);
  PassSettings s;
  s.scopeOn = true;
  pass->MeasureBlock(block, s);
  const auto before = pass->ScopeLeft();
  block.fill(0);
  s.scopeOn = false;
  pass->MeasureBlock(block, s);
  EXPECT_EQ(pass->ScopeLeft(), before);
  EXPECT_EQ(pass->ScopeLeft()[0].y(), 128 - 20);
}

TEST(SpectrumRise, ThreePixelsPerSquaredDecade) {
  EXPECT_EQ(TMeasuringPass::SpectrumRise(1.0), 0);
  EXPECT_EQ(TMeasuringPass::SpectrumRise(10.0), 3);
  EXPECT_EQ(TMeasuringPass::SpectrumRise(100.0), 12);
  EXPECT_EQ(TMeasuringPass::SpectrumRise(1000.0), 27);
  EXPECT_EQ(TMeasuringPass::SpectrumRise(1e4), 48);
  EXPECT_EQ(TMeasuringPass::SpectrumRise(1e5), 75);
  EXPECT_EQ(TMeasuringPass::SpectrumRise(1e6), 108);
  EXPECT_EQ(TMeasuringPass::SpectrumRise(1e7), 147);
  // Squared: below 1 the trace rises again.
  EXPECT_EQ(TMeasuringPass::SpectrumRise(0.1), 3);
  EXPECT_EQ(TMeasuringPass::SpectrumRise(0.01), 12);
}

TEST(SpectrumRise, MagnitudesWithoutALogarithmLieOnTheBottomRow) {
  EXPECT_EQ(TMeasuringPass::SpectrumRise(0.0), 0);
  EXPECT_EQ(TMeasuringPass::SpectrumRise(-0.0), 0);
  EXPECT_EQ(TMeasuringPass::SpectrumRise(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(TMeasuringPass::SpectrumRise(std::numeric_limits<double>::infinity()), 0);
  // The smallest positive double is still finite on screen, far above the box.
  EXPECT_GT(TMeasuringPass::SpectrumRise(std::numeric_limits<double>::denorm_min()), 300000);
}

}  // namespace
}  // namespace sonavik
