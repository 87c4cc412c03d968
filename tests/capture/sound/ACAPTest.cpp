// SPDX-License-Identifier: MIT
// The sound component: how failures are reported under each option set, the debug log file,
// the playback set-up on load, the channel table and what destruction gives back.
#include <errno.h>

#include <algorithm>
#include <system_error>

#include "ComponentFixture.h"

namespace sonavik::testing {
namespace {

using Kind = FakeSound::Kind;
using Step = FakeSound::Step;

using ReportTest = ComponentFixture;

TEST_F(ReportTest, SuccessLeavesNoTraceWhateverTheOptions) {
  SetOptions(dsoHaltOnError | dsoDebugMessage | dsoExceptOnError);
  EXPECT_EQ(CheckResult(DS_OK, "never shown"), DS_OK);
  EXPECT_FALSE(LogExists());
  EXPECT_EQ(DebugLogCount(), 0);
}

TEST_F(ReportTest, EmptyOptionSetReturnsTheCodeAndWritesNothing) {
  EXPECT_EQ(CheckResult(0x88780078, "gone"), 0x88780078u);
  EXPECT_FALSE(LogExists());
  EXPECT_EQ(DebugLogCount(), 0);
}

TEST_F(ReportTest, LogLinesAreNumberedAppendedAndEndInCrLf) {
  SetOptions(dsoDebugMessage);
  // A log left by an earlier run is emptied by the first line of this one.
  std::ofstream(LogPath()) << "old run\r\n";

  EXPECT_EQ(CheckResult(0x8007000E, "first"), 0x8007000Eu);
  EXPECT_EQ(Log(), "debug#00001 ... first(Error Code(8007000E))\r\n");
  // Execution went on: the next failure lands on the next line.
  CheckResult(0x5, "second");
  WriteDebugLog("plain");
  EXPECT_EQ(Log(),
            "debug#00001 ... first(Error Code(8007000E))\r\n"
            "debug#00002 ... second(Error Code(5))\r\n"
            "debug#00003 ... plain\r\n");
  EXPECT_EQ(DebugLogCount(), 3);
}

TEST_F(ReportTest, MessagesAreTextNeverFormats) {
  SetOptions(dsoDebugMessage | dsoExceptOnError);
  const std::string hostile = "100%d %s %n %x%%";
  try {
    CheckResult(1, hostile);
    FAIL() << "no EACAP";
  } catch (const EACAP& e) {
    EXPECT_EQ(std::string(e.what()), hostile + "(Error Code(1))");
  }
  EXPECT_EQ(Log(), "debug#00001 ... " + hostile + "(Error Code(1))\r\n");
}

TEST_F(ReportTest, JapaneseMessagesAreWrittenAsUtf8) {
  SetOptions(dsoDebugMessage);
  CheckResult(0x88780078, "一次バッファの作成に失敗しました");
  // "一" is E4 B8 80 in UTF-8.
  const std::string log = Log();
  ASSERT_GE(log.size(), 19u);
  EXPECT_EQ(log.substr(16, 3), "\xE4\xB8\x80");
  EXPECT_EQ(log, "debug#00001 ... 一次バッファの作成に失敗しました(Error Code(88780078))\r\n");
}

TEST_F(ReportTest, ExceptionCarriesTheTextAndStopsTheHalt) {
  // With both set the exception comes first, so the program goes on.
  SetOptions(dsoHaltOnError | dsoExceptOnError);
  EXPECT_THROW(CheckResult(0x80004005, "broken"), EACAP);
  try {
    CheckResult(0x80004005, "broken");
  } catch (const EACAP& e) {
    EXPECT_STREQ(e.what(), "broken(Error Code(80004005))");
  }
  EXPECT_FALSE(LogExists());
}

TEST_F(ReportTest, LogIsWrittenBeforeTheExceptionLeaves) {
  SetOptions(dsoDebugMessage | dsoExceptOnError);
  EXPECT_THROW(WriteDebugLog("x"), EACAP);
  EXPECT_EQ(Log(), "debug#00001 ... x\r\n");
}

TEST_F(ReportTest, HaltEndsTheProgramAsAFailure) {
  SetOptions(dsoHaltOnError | dsoDebugMessage);
  EXPECT_EXIT(CheckResult(0x88780078, "device gone"), ::testing::ExitedWithCode(1),
              "device gone\\(Error Code\\(88780078\\)\\)");
  // The line was written before the end.
  EXPECT_EQ(Log(), "debug#00001 ... device gone(Error Code(88780078))\r\n");
}

TEST_F(ReportTest, UnwritableLogRaisesAnInputOutputError) {
  SetOptions(dsoDebugMessage);
  SetDebugLogFolder(folder_ / "no" / "such" / "folder");
  // std::ios_base::failure is a std::system_error.
  EXPECT_THROW(WriteDebugLog("lost"), std::system_error);
  // The line that could not be written was not counted.
  EXPECT_EQ(DebugLogCount(), 0);
  // A log moved to a folder that works starts there afresh: its first line empties the file.
  SetDebugLogFolder(folder_);
  std::ofstream(LogPath()) << "stale";
  WriteDebugLog("kept");
  EXPECT_EQ(Log(), "debug#00001 ... kept\r\n");
}

TEST_F(ReportTest, DefaultLogLivesBesideTheProgramFile) {
  SetDebugLogFolder({});
  const auto program = std::filesystem::canonical(program_invocation_name);
  EXPECT_EQ(DebugLogPath(), program.parent_path() / "ACAP_DebugLog.txt");
}

using ComponentTest = ComponentFixture;

TEST_F(ComponentTest, ConstructionSetsDefaultsAndTheLastOptionSetRulesTheProcess) {
  TACAP first;
  EXPECT_EQ(first.ChannelCount(), 8u);
  EXPECT_TRUE(first.StickyFocus());
  EXPECT_FALSE(first.Use3D());
  EXPECT_EQ(first.DebugOption(), dsoHaltOnError);
  EXPECT_TRUE(HaltOnErrorFlag());
  EXPECT_FALSE(DebugMessageFlag());
  EXPECT_FALSE(ExceptOnErrorFlag());
  EXPECT_EQ(first.ChannelTableSize(), 0u);

  TACAP second;
  second.SetDebugOption(dsoDebugMessage | dsoExceptOnError);
  EXPECT_FALSE(HaltOnErrorFlag());
  EXPECT_TRUE(DebugMessageFlag());
  EXPECT_TRUE(ExceptOnErrorFlag());
  // Loading the first applies its own set again, for everyone.
  first.Loaded();
  EXPECT_TRUE(HaltOnErrorFlag());
  EXPECT_FALSE(DebugMessageFlag());
  EXPECT_EQ(second.DebugOption(), dsoDebugMessage | dsoExceptOnError);
}

TEST_F(ComponentTest, LoadSetsUpPrimaryPlaybackWithoutListener) {
  int window = 0;
  {
    TACAP acap(&window);
    acap.SetDebugOption(dsoDebugMessage);
    acap.Loaded();
    EXPECT_EQ(fake_.Calls(),
              (std::vector<std::string>{"CreateSoundDevice", "SoundDevice.Initialize(default)",
                                        "SoundDevice.SetCooperativeLevel(2)",
                                        "SoundDevice.CreateSoundBuffer"}));
    EXPECT_EQ(fake_.CooperativeWindow(), &window);
    ASSERT_TRUE(fake_.LastSoundBufferDesc());
    EXPECT_EQ(fake_.LastSoundBufferDesc()->dwSize, 36u);
    EXPECT_EQ(fake_.LastSoundBufferDesc()->dwFlags, 0x01u);
    EXPECT_EQ(fake_.LastSoundBufferDesc()->dwBufferBytes, 0u);
    EXPECT_EQ(acap.Listener(), nullptr);
    EXPECT_EQ(acap.Listener3D(), nullptr);
    EXPECT_NE(acap.SoundDevice(), nullptr);
    EXPECT_NE(acap.PrimaryBuffer(), nullptr);
    fake_.ClearCalls();
  }
  // Primary buffer before the device that made it.
  EXPECT_EQ(fake_.Calls(),
            (std::vector<std::string>{"PrimaryBuffer.Release=0", "SoundDevice.Release=0"}));
  EXPECT_EQ(fake_.LiveObjects(), 0u);
  EXPECT_FALSE(LogExists());
  EXPECT_TRUE(fake_.Errors().empty());
}

TEST_F(ComponentTest, Use3DAddsTheListenerWithItsParameters) {
  {
    TACAP acap;
    acap.SetUse3D(true);
    acap.SetDebugOption(dsoDebugMessage);
    EXPECT_TRUE(acap.InitDirectSound());
    EXPECT_EQ(fake_.LastSoundBufferDesc().value().dwFlags, 0x11u);
    EXPECT_EQ(fake_.CallCount("Listener3D.SetAllParameters(0)"), 1u);
    ASSERT_NE(acap.Listener(), nullptr);
    EXPECT_EQ(&acap.Listener()->Component(), &acap);
    const auto p = fake_.LastListenerParams();
    ASSERT_TRUE(p);
    EXPECT_EQ(p->dwSize, 64u);
    EXPECT_EQ(p->vPosition.x + p->vPosition.y + p->vPosition.z, 0.0);
    EXPECT_EQ(p->vOrientFront.z, 1.0);
    EXPECT_EQ(p->vOrientFront.x + p->vOrientFront.y, 0.0);
    EXPECT_EQ(p->vOrientTop.y, 1.0);
    EXPECT_EQ(p->vOrientTop.x + p->vOrientTop.z, 0.0);
    EXPECT_EQ(p->flDistanceFactor, 1.0);
    EXPECT_EQ(p->flRolloffFactor, 1.0);
    EXPECT_EQ(p->flDopplerFactor, 1.0);
    fake_.ClearCalls();
  }
  EXPECT_EQ(fake_.Calls(),
            (std::vector<std::string>{"Listener3D.Release=0", "PrimaryBuffer.Release=0",
                                      "SoundDevice.Release=0"}));
  EXPECT_FALSE(LogExists());
}

TEST_F(ComponentTest, PlaybackDeviceFailuresAreSilentAndLeaveChannels) {
  SetOptions(dsoDebugMessage);
  {
    fake_.Fail(Step::CreateSoundDevice, DSERR_NODRIVER);
    TACAP acap;
    acap.SetDebugOption(dsoHaltOnError | dsoDebugMessage);  // would end the test if reported
    EXPECT_FALSE(acap.InitDirectSound());
    EXPECT_EQ(acap.ChannelTableSize(), 8u);
    EXPECT_EQ(acap.SoundDevice(), nullptr);
  }
  EXPECT_EQ(fake_.CallCount("SoundDevice.Release=0"), 0u);
  fake_.ClearFailures();
  {
    // Only the initialisation fails: the device is kept, then given back at the end.
    fake_.Fail(Step::DeviceInitialize, DSERR_NODRIVER);
    TACAP acap;
    acap.SetDebugOption(dsoHaltOnError | dsoDebugMessage);
    EXPECT_FALSE(acap.InitDirectSound());
    EXPECT_NE(acap.SoundDevice(), nullptr);
    EXPECT_EQ(fake_.CallCount("SoundDevice.SetCooperativeLevel(2)"), 0u);
    EXPECT_EQ(fake_.CallCount("SoundDevice.CreateSoundBuffer"), 0u);
  }
  EXPECT_EQ(fake_.CallCount("SoundDevice.Release=0"), 1u);
  EXPECT_FALSE(LogExists());
  EXPECT_EQ(fake_.LiveObjects(), 0u);
}

TEST_F(ComponentTest, EachPlaybackStepReportsItsOwnMessageAndLoadingGoesOn) {
  fake_.Fail(Step::SetCooperativeLevel, DSERR_ALLOCATED);
  fake_.Fail(Step::SetAllParameters, DSERR_INVALIDPARAM);
  {
    TACAP acap;
    acap.SetUse3D(true);
    acap.SetDebugOption(dsoDebugMessage);
    acap.Loaded();
    EXPECT_NE(acap.Listener(), nullptr);
  }
  fake_.ClearFailures();
  fake_.Fail(Step::QueryListener3D, E_NOINTERFACE_);
  {
    TACAP acap;
    acap.SetUse3D(true);
    acap.SetDebugOption(dsoDebugMessage);
    EXPECT_TRUE(acap.InitDirectSound());
    // No listener interface: its parameters have nowhere to go.
    EXPECT_EQ(acap.Listener3D(), nullptr);
  }
  fake_.ClearFailures();
  fake_.ClearCalls();
  fake_.Fail(Step::CreateSoundBuffer, DSERR_BADFORMAT);
  {
    TACAP acap;
    acap.SetUse3D(true);
    acap.SetDebugOption(dsoDebugMessage);
    EXPECT_TRUE(acap.InitDirectSound());
    EXPECT_EQ(acap.PrimaryBuffer(), nullptr);
    EXPECT_EQ(fake_.CallCount("PrimaryBuffer.QueryListener3D"), 0u);
  }
  EXPECT_EQ(Log(),
            "debug#00001 ... DirectSoundの協調レベルの設定に失敗しました(Error Code(8878000A))\r\n"
            "debug#00002 ... Listenerに指定されたパラメータが不適切です(Error Code(80070057))\r\n"
            "debug#00003 ... DirectSound3D Listenerの作成に失敗しました(Error Code(80004002))\r\n"
            "debug#00004 ... 一次バッファの作成に失敗しました(Error Code(88780064))\r\n");
  EXPECT_EQ(fake_.LiveObjects(), 0u);
  EXPECT_TRUE(fake_.Errors().empty());
}

TEST_F(ComponentTest, FailingCooperativeLevelEndsTheProgramWithTheDefaultOptions) {
  fake_.Fail(Step::SetCooperativeLevel, DSERR_ALLOCATED);
  TACAP acap;  // [dsoHaltOnError]
  EXPECT_EXIT(acap.Loaded(), ::testing::ExitedWithCode(1), "Error Code\\(8878000A\\)");
}

TEST_F(ComponentTest, ExceptionFromLoadingLeavesNothingBehind) {
  fake_.Fail(Step::SetAllParameters, DSERR_INVALIDPARAM);
  {
    TACAP acap;
    acap.SetUse3D(true);
    acap.SetDebugOption(dsoExceptOnError);
    EXPECT_THROW(acap.Loaded(), EACAP);
  }
  EXPECT_EQ(fake_.LiveObjects(), 0u);
}

TEST_F(ComponentTest, ReferencesLeftAtDestructionAreReportedAndReleasingGoesOn) {
  fake_.SetExtraReferences(Kind::PrimaryBuffer, 2);
  fake_.SetExtraReferences(Kind::Listener3D, 1);
  {
    TACAP acap;
    acap.SetUse3D(true);
    acap.SetDebugOption(dsoDebugMessage | dsoExceptOnError);
    acap.Loaded();
    fake_.ClearCalls();
  }
  // Every object got its release although each report raised.
  EXPECT_EQ(fake_.Calls(),
            (std::vector<std::string>{"Listener3D.Release=1", "PrimaryBuffer.Release=2",
                                      "SoundDevice.Release=0"}));
  EXPECT_EQ(Log(),
            "debug#00001 ... DirectSound3D Listnerの解放に失敗しました(Error Code(1))\r\n"
            "debug#00002 ... 一次バッファの解放に失敗しました(Error Code(2))\r\n");
}

TEST_F(ComponentTest, ChannelTableHoldsFreshChannelsOfTheComponent) {
  TACAP acap;
  acap.SetDebugOption(0);
  acap.SetChannelCount(3);
  acap.Loaded();
  ASSERT_EQ(acap.ChannelTableSize(), 3u);
  std::vector<TACAPChannel*> seen;
  for (int i = 0; i < 3; ++i) {
    TACAPChannel* c = acap.GetChannel(i);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(&c->Owner(), &acap);
    EXPECT_EQ(&c->Params3D().Channel(), c);
    seen.push_back(c);
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());

  const Buffer3DParams& p = acap.GetChannel(1)->Params3D().Params;
  EXPECT_EQ(p.dwSize, 64u);
  EXPECT_EQ(p.dwInsideConeAngle, 360u);
  EXPECT_EQ(p.dwOutsideConeAngle, 360u);
  EXPECT_EQ(p.vConeOrientation.z, 1.0);
  EXPECT_EQ(p.flMinDistance, 5.0);
  EXPECT_EQ(p.flMaxDistance, 100.0);
  EXPECT_EQ(p.dwMode, 0u);
}

TEST_F(ComponentTest, ChannelIndexOutsideTheTableIsReportedWithTheValidRange) {
  TACAP acap;
  acap.SetDebugOption(dsoDebugMessage);
  acap.Loaded();
  EXPECT_EQ(acap.GetChannel(8), nullptr);
  EXPECT_EQ(acap.GetChannel(-1), nullptr);
  // A count changed after loading does not move the table.
  acap.SetChannelCount(20);
  EXPECT_EQ(acap.GetChannel(10), nullptr);
  EXPECT_NE(acap.GetChannel(7), nullptr);
  EXPECT_EQ(Log(),
            "debug#00001 ... チャンネル番号8は無効です、0～7の範囲で指定してください\r\n"
            "debug#00002 ... チャンネル番号-1は無効です、0～7の範囲で指定してください\r\n"
            "debug#00003 ... チャンネル番号10は無効です、0～7の範囲で指定してください\r\n");
}

TEST_F(ComponentTest, ChannelIndexOutsideTheTableRaisesOrEnds) {
  TACAP acap;
  acap.SetDebugOption(dsoExceptOnError);
  acap.Loaded();
  try {
    acap.GetChannel(8);
    FAIL() << "no EACAP";
  } catch (const EACAP& e) {
    EXPECT_STREQ(e.what(), "チャンネル番号8は無効です、0～7の範囲で指定してください");
  }
  acap.SetDebugOption(dsoHaltOnError);
  EXPECT_EXIT(acap.GetChannel(-5), ::testing::ExitedWithCode(1), "-5");
}

TEST_F(ComponentTest, EmptyOrMissingTableIsNeverWalked) {
  {
    TACAP neverLoaded;
    neverLoaded.SetDebugOption(dsoDebugMessage);
    EXPECT_EQ(neverLoaded.GetChannel(0), nullptr);
  }
  {
    TACAP none;
    none.SetDebugOption(dsoDebugMessage);
    none.SetChannelCount(0);
    none.Loaded();
    EXPECT_EQ(none.ChannelTableSize(), 0u);
    EXPECT_EQ(none.GetChannel(0), nullptr);
  }
  EXPECT_EQ(Log(),
            "debug#00001 ... チャンネル番号0は無効です、0～-1の範囲で指定してください\r\n"
            "debug#00002 ... チャンネル番号0は無効です、0～-1の範囲で指定してください\r\n");
}

TEST_F(ComponentTest, LoadingTwiceKeepsOneSetOfPlaybackObjects) {
  {
    TACAP acap;
    acap.SetDebugOption(dsoDebugMessage);
    acap.SetUse3D(true);
    acap.Loaded();
    acap.SetChannelCount(2);
    acap.Loaded();
    EXPECT_EQ(acap.ChannelTableSize(), 2u);
    EXPECT_EQ(fake_.LiveObjects(Kind::SoundDevice), 1u);
    EXPECT_EQ(fake_.LiveObjects(Kind::PrimaryBuffer), 1u);
    EXPECT_EQ(fake_.LiveObjects(Kind::Listener3D), 1u);
  }
  EXPECT_EQ(fake_.LiveObjects(), 0u);
  EXPECT_FALSE(LogExists());
  EXPECT_TRUE(fake_.Errors().empty());
}

}  // namespace
}  // namespace sonavik::testing
