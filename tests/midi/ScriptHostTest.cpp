// The MIDI script host: what scripts see of MIDI, the script API's answers
// and errors, timers, and which scripts are loaded.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

extern "C" {
#include <lua.h>
}

#include "shell/OdrkInstanceTracker.h"
#include "shell/Preferences.h"
#include "shell/VTLuaMIDIHelper.h"
#include "tests/midi/ScriptTestSupport.h"

namespace {

struct ScriptCase {
  const char* name;
  const char* script;  // after the log prelude
  std::vector<Midi> events;
  const char* log;  // the expected log, entries joined with ","
};

void PrintTo(const ScriptCase& c, std::ostream* os) {
  *os << c.name;
}

class Scripted : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(Scripted, LogsWhatItSaw) {
  const ScriptCase& c = GetParam();
  testing::internal::CaptureStdout();
  ScriptedEffect fx(std::string(kLogPrelude) + c.script);
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed.find("@@@"), std::string::npos) << printed;
  fx.Send(c.events);
  EXPECT_EQ(fx.Log(), c.log);
}

const ScriptCase kCases[] = {
    {"NoteOnAtVelocityZeroIsANoteOff",
     "requestAllNoteOn(function(c, n, v) log('on', c, n, v) end)\n"
     "requestAllNoteOff(function(c, n, v) log('off', c, n, v) end)",
     {{0x90, 60, 0}, {0x91, 61, 100}, {0x81, 61, 64}},
     "off 1 60 0,on 2 61 100,off 2 61 64"},
    {"NrpnFromDataEntryThenTheControllerItself",
     "requestAllNRPN(function(c, n, v) log('nrpn', c, n, v) end)\n"
     "requestCC(6, function(c, n, v) log('cc', c, n, v) end)",
     {{0xB0, 99, 1}, {0xB0, 98, 2}, {0xB0, 38, 5}, {0xB0, 6, 10}},
     "nrpn 1 130 5,nrpn 1 130 1285,cc 1 6 10"},
    {"KeyedNrpnAndAllCcOrder",
     "requestNRPN(130, function(c, n, v) log('keyed', n, v) end)\n"
     "requestAllCC(function(c, n, v) log('all', n) end)\n"
     "requestCC(99, function(c, n, v) log('cc99') end)",
     {{0xB0, 99, 1}, {0xB0, 98, 2}, {0xB0, 6, 3}},
     "all 99,cc99,all 98,keyed 130 384,all 6"},
    {"AFunctionRegisteredTwiceRunsTwice",
     "local f = function(c, n) log('note', n) end\n"
     "requestNoteOn(60, f)\nrequestNoteOn(60, f)",
     {{0x90, 60, 1}, {0x90, 62, 1}},
     "note 60,note 60"},
    {"KeysNoEventCarriesRegisterWithoutError",
     "requestNoteOn(200, function() log('never') end)\nlog('registered')",
     {{0x90, 72, 1}},
     "registered"},
    {"AnErrorEndsOnlyItsHandler",
     "requestAllNoteOn(function() error('boom') end)\n"
     "requestAllNoteOn(function(c, n) log('next', n) end)",
     {{0x90, 60, 1}, {0x90, 61, 1}},
     "next 60,next 61"},
    {"PrefRxAllChannelsIsSetAfterTheMainChunk",
     "log(type(prefRxAllChannels))\n"
     "requestAllCC(function() log(type(prefRxAllChannels)) end)",
     {{0xB0, 1, 1}},
     "nil,boolean"},
    {"OtherInstancesNobodyCarries",
     "log(getOthersParameter(77, 12), getOthersGUIBoolValue(77, 0))",
     {},
     "0 false"},
    {"ParametersByNameAndId",
     "log(getParameter('Master feedback') == getParameter(12), getParameter('12'))\n"
     "log(select(2, pcall(getParameter, 82)))\n"
     "log(select(2, pcall(getParameter, 'master feedback')))\n"
     "log(getParameterID('Freeze Loop'), getParameterMinMax('Pitch'))\n"
     "log(getParameterUnit(23), getParameterName(39), getNumParameters(), isParameterUsed(0))\n"
     "log(select(2, pcall(setOthersParameter, 1, -1, 0)))",
     {},
     "true 90,parameter out of range: 82,parameter not found: 'master feedback',"
     "13 -12 12,8 Tap Rec Start Clock Msg 82 true,parameter out of range: -1"},
    {"RegistrationAndIndicatorErrors",
     "log(select(2, pcall(requestAllCC, 5)))\n"
     "log(select(2, pcall(requestCC, 1, 2)))\n"
     "log(select(2, pcall(requestPitchWheel)))\n"
     "log(select(2, pcall(requestTimedCallback, 1, 2)))\n"
     "log(select(2, pcall(requestPeriodicCallback, 1)))\n"
     "log(select(2, pcall(setGUIBoolValue, 8, true)))\n"
     "log(select(2, pcall(getOthersGUIBoolValue, 0, -1)))",
     {},
     "first argument to requestAllCC() is not a function,"
     "second argument to requestCC() is not a function,"
     "first argument to requestPitchWheel() is not a function,"
     "second argument to requestTimerCallback() is not a function,"
     "second argument to requestTimerCallback() is not a function,"
     "indicator id out of range: 8,indicator id out of range: -1"},
    {"BuildGlobals",
     "log(isMac, isWin, isVST, isAU, majorVersion, minorVersion, dotVersion, version)",
     {},
     "true false true false 2 1 2 20102"},
    {"EveryKindOfMessage",
     "requestPitchWheel(function(c, v) log('pw', c, v) end)\n"
     "requestChannelPressure(function(c, p) log('at', c, p) end)\n"
     "requestAllProgramChange(function(c, p) log('pc', c, p) end)\n"
     "requestProgramChange(7, function(c, p) log('pc7') end)\n"
     "requestAllPolyPressure(function(c, n, p) log('poly', c, n, p) end)\n"
     "requestPolyPressure(60, function() log('poly60') end)",
     {{0xEF, 0x10, 0x40}, {0xD2, 99, 0}, {0xC0, 7, 0}, {0xA0, 60, 5}, {0xF8, 0, 0}},
     "pw 16 8208,at 3 99,pc 1 7,pc7,poly 1 60 5,poly60"},
    {"IndicatorsOfThisInstance",
     "setGUIBoolValue(2, 'anything true')\nlog(getGUIBoolValue(2), getGUIBoolValue(3))\n"
     "setGUIBoolValue(2, false)\nlog(getGUIBoolValue(2))",
     {},
     "true false,false"},
};

INSTANTIATE_TEST_SUITE_P(Cases, Scripted, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ScriptApi, SetParameterStoresAndRefreshesTheHost) {
  ScriptedEffect fx(std::string(kLogPrelude) +
                    "requestCC(13, function(c, n, v) setParameter('Master feedback', v / 127 * "
                    "100) end)");
  const int before = fx.host().updateDisplayCount;
  fx.Send({{0xB0, 13, 127}});
  EXPECT_EQ(fx.effect().GetParameterValue(kMasterFeedback), 100.0f);
  EXPECT_EQ(fx.host().updateDisplayCount, before + 1);
  // No clamping: the script is trusted with the value.
  EXPECT_EQ(fx.Run("setParameter(12, 250)"), "");
  EXPECT_EQ(fx.effect().GetParameterValue(kMasterFeedback), 250.0f);
  EXPECT_NE(fx.Run("setParameter(12)").find("number expected"), std::string::npos);
}

TEST(ScriptApi, PrintWritesTabSeparatedLines) {
  ScriptedEffect fx("");
  testing::internal::CaptureStdout();
  EXPECT_EQ(fx.Run("print(1, 'a', nil, true)"), "");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "1\ta\tnil\ttrue\n");
  EXPECT_EQ(fx.Run("tostring = function() return {} end"), "");
  EXPECT_NE(fx.Run("print(1)").find("'tostring' must return a string to 'print'"),
            std::string::npos);
}

TEST(ScriptApi, TimeIsMonotonicSeconds) {
  ScriptedEffect fx("");
  EXPECT_EQ(fx.Run("t0 = time()"), "");
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(fx.Run("elapsed = time() - t0"), "");
  const double elapsed = std::stod(fx.Global("elapsed"));
  EXPECT_GE(elapsed, 0.019);
  EXPECT_LT(elapsed, 5.0);
}

// Waits (bounded) until the Lua expression is true.
bool WaitFor(ScriptedEffect& fx, const std::string& condition) {
  for (int i = 0; i < 500; ++i) {
    if (fx.Global(condition) == "true") return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

TEST(ScriptTimersThreaded, OneShotFiresOnceAndCancellingAfterwardsDoesNothing) {
  ScriptedEffect fx("fired = 0\nt = requestTimedCallback(0.01, function() fired = fired + 1 end)");
  ASSERT_TRUE(WaitFor(fx, "fired == 1"));
  EXPECT_EQ(fx.effect().ScriptHost()->PendingTimers(), 0u);
  EXPECT_EQ(fx.Run("cancelTimer(t); cancelTimer(t)"), "");
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(fx.Global("fired"), "1");
  EXPECT_NE(fx.Run("cancelTimer(5)").find("OD::LuaMIDIHelper::Timer"), std::string::npos);
}

TEST(ScriptTimersThreaded, CancelledBeforeItFires) {
  ScriptedEffect fx("fired = false\nt = requestTimedCallback(0.2, function() fired = true end)");
  EXPECT_EQ(fx.Run("cancelTimer(t)"), "");
  EXPECT_EQ(fx.effect().ScriptHost()->PendingTimers(), 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  EXPECT_EQ(fx.Global("fired"), "false");
}

// A periodic timer runs until its instance goes; here it writes into a
// second instance, which shows when it stops.
TEST(ScriptTimersThreaded, PeriodicTimerEndsWithItsInstance) {
  RecordingHost otherHost;
  auto other = otherHost.Create(false);
  other->SetParameterValue(kOscPortOffset, 42);
  auto fx = std::make_unique<ScriptedEffect>(
      "n = 0\nrequestPeriodicCallback(0.002, function() n = n + 1; "
      "setOthersParameter(42, 'Pitch', n % 12) end)");
  ASSERT_TRUE(WaitFor(*fx, "n >= 5"));
  EXPECT_EQ(fx->effect().ScriptHost()->PendingTimers(), 1u);
  fx.reset();
  const float after = other->GetParameterValue(kPitch);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(other->GetParameterValue(kPitch), after);
}

// MIDI on the host's thread, a periodic timer on the timer thread and calls
// from a third thread, as the OSC server will make them, all at once.
TEST(ScriptHostThreaded, MidiTimersAndCallsTogether) {
  ScriptedEffect fx(
      "notes, ticks, calls = 0, 0, 0\n"
      "requestAllNoteOn(function() notes = notes + 1; setParameter('Pitch', notes % 5) end)\n"
      "requestPeriodicCallback(0.001, function() ticks = ticks + 1 end)\n"
      "function remote() calls = calls + 1; return getParameter('Pitch') end");
  auto* host = fx.effect().ScriptHost();
  std::atomic<bool> stop{false};
  std::thread midi([&] {
    for (int i = 0; i < 2000; ++i) fx.Send({{0x90, 60, 100}});
  });
  std::thread remote([&] {
    for (int i = 0; i < 2000; ++i) {
      std::lock_guard<platform::RecursiveLock> guard(host->ScriptLock());
      lua_getglobal(host->State(), "remote");
      host->protectedPcall(0);
    }
  });
  midi.join();
  remote.join();
  EXPECT_EQ(fx.Global("notes"), "2000");
  EXPECT_EQ(fx.Global("calls"), "2000");
  EXPECT_TRUE(WaitFor(fx, "ticks > 0"));
  stop = true;
}

// ---- Which scripts run ----

TEST(ScriptLoading, DefaultScriptRunsUnlessTheUserHasAMidiLua) {
  {
    ScriptedEffect fx(std::vector<ScriptedEffect::Script>{});
    fx.Send({{0xB0, 13, 127}});
    EXPECT_EQ(fx.effect().GetParameterValue(kMasterFeedback), 100.0f);
  }
  {
    ScriptedEffect fx("-- the user's own, empty mapping");
    fx.Send({{0xB0, 13, 127}});
    EXPECT_EQ(fx.effect().GetParameterValue(kMasterFeedback), 90.0f);
  }
}

TEST(ScriptLoading, OtherScriptsRunAfterTheDefaultUsersFirst) {
  ScriptedEffect fx(
      {{platform::Domain::User, "extra.lua",
        "order = (order or '') .. 'user '\n"
        "requestCC(13, function() seen = getParameter('Master feedback') end)"},
       {platform::Domain::Machine, "site.lua", "order = (order or '') .. 'machine'"}});
  EXPECT_EQ(fx.Global("order"), "user machine");
  // The default mapping and the user's handler both hear controller 13, the
  // default's first.
  fx.Send({{0xB0, 13, 127}});
  EXPECT_EQ(fx.effect().GetParameterValue(kMasterFeedback), 100.0f);
  EXPECT_EQ(fx.Global("seen"), "100");
}

TEST(ScriptLoading, FailuresAreReportedAndLoadingGoesOn) {
  ScopedDataHomes homes;
  homes.AddScript(platform::Domain::User, "broken.lua", "this is not lua");
  homes.AddScript(platform::Domain::User, "failing.lua", "error('at run time')");
  homes.AddScript(platform::Domain::User, "midi.lua", "fine = true");
  testing::internal::CaptureStdout();
  RecordingHost host;
  auto effect = host.Create(false);
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("@@@ failed to run file: "), std::string::npos) << printed;
  EXPECT_NE(printed.find("broken.lua"), std::string::npos) << printed;
  EXPECT_NE(printed.find("at run time"), std::string::npos) << printed;
  auto* scripts = effect->ScriptHost();
  std::lock_guard<platform::RecursiveLock> guard(scripts->ScriptLock());
  lua_getglobal(scripts->State(), "fine");
  EXPECT_TRUE(lua_toboolean(scripts->State(), -1));
  lua_pop(scripts->State(), 1);
}

TEST(ScriptLoading, PreferenceReachesTheScriptsWhenTheDialogSaysSo) {
  ScriptedEffect fx("");
  EXPECT_EQ(fx.Global("prefRxAllChannels"), "false");
  g_midiRxAll = true;
  uint8_t one = 1;
  AudioUnitSetProperty(&fx.effect(), kPropertyMidiRxChanged, 0, 0, &one, 1);
  EXPECT_EQ(fx.Global("prefRxAllChannels"), "true");
  g_midiRxAll = false;
}

}  // namespace

namespace {

// The default mapping, as the README lists it.
class DefaultScript : public ::testing::Test {
 protected:
  ScriptedEffect fx{std::vector<ScriptedEffect::Script>{}};
  float Param(int id) { return fx.effect().GetParameterValue(id); }
  int Flag(int id) { return fx.effect().GetDataToGui()->scriptFlags[id]; }
};

TEST_F(DefaultScript, ControllersMoveTheMainParameters) {
  fx.Send({{0xB0, 13, 0}, {0xB0, 14, 127}, {0xB0, 16, 127}, {0xB0, 20, 127}, {0xB0, 21, 0}});
  EXPECT_EQ(Param(kMasterFeedback), 0.0f);
  EXPECT_EQ(Param(kDryLevel), 1.0f);
  EXPECT_EQ(Param(kPitch), 12.0f);
  EXPECT_EQ(Param(kSaturation), 11.0f);
  EXPECT_EQ(Param(kInputLevel), 0.0f);
  // Cutoff in octaves: the middle of the controller is the geometric middle.
  fx.Send({{0xB0, 17, 127}});
  EXPECT_NEAR(Param(kFilterCutoff), 8000.0f, 0.01f);
  fx.Send({{0xB0, 17, 0}});
  EXPECT_NEAR(Param(kFilterCutoff), 50.0f, 1e-3f);
  // Delay Time spans the delay slider, 0..10 s by default.
  fx.Send({{0xB0, 12, 127}});
  EXPECT_NEAR(Param(kDelayTime), 10.0f, 1e-4f);
}

TEST_F(DefaultScript, NotesDriveTheLooperAndLightIndicators) {
  fx.Send({{0x90, 48, 100}});
  EXPECT_EQ(Param(kTapRecord), 1.0f);
  EXPECT_EQ(Flag(0), 1);
  fx.Send({{0x80, 48, 0}});
  EXPECT_EQ(Param(kTapRecord), 0.0f);
  EXPECT_EQ(Flag(0), 0);
  fx.Send({{0x90, 52, 100}});  // freeze on
  EXPECT_EQ(Param(kFreezeLoop), 1.0f);
  EXPECT_EQ(Flag(2), 1);
  fx.Send({{0x90, 52, 100}});  // and off
  EXPECT_EQ(Param(kFreezeLoop), 0.0f);
  EXPECT_EQ(Flag(2), 0);
  fx.Send({{0x90, 57, 100}});
  EXPECT_EQ(Param(kStop), 1.0f);
  fx.Send({{0x90, 53, 100}});
  EXPECT_EQ(Param(kClearLoop), 1.0f);
}

TEST_F(DefaultScript, ListensOnChannelOneUnlessAllChannelsAreWanted) {
  fx.Send({{0xB1, 13, 0}});  // channel 2
  EXPECT_EQ(Param(kMasterFeedback), 90.0f);
  g_midiRxAll = true;
  fx.effect().ScriptHost()->UpdateGlobals();
  fx.Send({{0xB1, 13, 0}});
  EXPECT_EQ(Param(kMasterFeedback), 0.0f);
  g_midiRxAll = false;
}

}  // namespace
