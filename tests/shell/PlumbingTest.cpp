// Names, labels and display texts at the host boundary; the property
// interface; parameter handles; the change queue to the editor.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "shell/CAAUParameter.h"
#include "shell/OdrkCrossDelay.h"
#include "shell/OdrkEditor.h"
#include "shell/OdrkListener.h"
#include "tests/support/RecordingHost.h"

namespace {

class Plumbing : public ::testing::Test, protected HostedEffect {};

TEST_F(Plumbing, DisplayTextsAndLabels) {
  struct Case {
    int id;
    float value;
    const char* display;
    const char* label;
  };
  const Case cases[] = {
      {kDelayTime, 26.27f, "26.27", "seconds"},
      {kDelayTime, 1.0f, "1.000", "seconds"},
      {kDelayTime, 3600.0f, "3600", "seconds"},
      {kDelayInertiaFadeTime, 689.41f, "689.4", "ms"},
      {kHighCutFreq, 12000.0f, "12000", "Hz"},
      {kFilterType, 2.0f, "Band", ""},
      {kFilterType, 1.003f, "Low", ""},
      {kFilterType, 4.0f, "Thru", ""},
      {kFilterType, 1.5f, "1.500", ""},
      {kInitialPan, -1.0f, "-1.000", "L/R"},
      {kPitch, -7.5f, "-7.500", ""},
      {kFreezeLoop, 1.0f, "On", ""},
      {kFreezeLoop, 0.0f, "Off", ""},
      {kFreezeLoop, 0.3f, "On", ""},
      {kOscPortOffset, 0.0f, "Off", ""},
      {kOscPortOffset, 37.0f, "37", ""},
      {kBeatDivisor, 2.0f, "1/4", ""},
      {kBeatDivisor, 7.0f, "7", ""},  // outside the list: the number
      {kSyncGroupNumber, 0.0f, "1", ""},
      {kPunchOutQuantize, 2.0f, "1 Bar", ""},
      {kBeats, 64.0f, "64.00", "beats"},
  };
  for (const Case& c : cases) {
    effect->SetParameterValue(c.id, c.value);
    EXPECT_EQ(Text(effGetParamDisplay, c.id), c.display) << astParamInfos[c.id].name;
    EXPECT_EQ(Text(effGetParamLabel, c.id), c.label) << astParamInfos[c.id].name;
  }
}

TEST_F(Plumbing, NamesAreCutTo15Bytes) {
  EXPECT_EQ(Text(effGetParamName, kTapRecStartClockMsg), "Tap Rec Start C");
  EXPECT_EQ(Text(effGetParamName, kDelayTime), "Delay Time");
  for (int id = 0; id < kNumParams; ++id) EXPECT_LE(Text(effGetParamName, id).size(), 15u);
}

TEST_F(Plumbing, HostValuesPassTheNormalisationLaws) {
  e->setParameter(e, kFilterCutoff, 0.5f);
  EXPECT_NEAR(effect->GetParameterValue(kFilterCutoff), 632.456f, 0.001f);
  e->setParameter(e, kBeatDivisor, 0.49f);
  EXPECT_EQ(effect->GetParameterValue(kBeatDivisor), 2.0f);
  EXPECT_EQ(Text(effGetParamDisplay, kBeatDivisor), "1/4");
  effect->SetParameterValue(kFilterCutoff, 1000.0f);
  EXPECT_NEAR(e->getParameter(e, kFilterCutoff), 0.59027f, 1e-5f);
}

TEST_F(Plumbing, ValueStringsProperty) {
  const ValueStringList* list = nullptr;
  EXPECT_EQ(AudioUnitGetProperty(effect.get(), kPropertyParameterValueStrings, 0, kBeatDivisor,
                                 &list, nullptr),
            kNoErr);
  ASSERT_NE(list, nullptr);
  EXPECT_STREQ(list->strings[3], "1/8");

  // Filter Type is continuous: no list, the output stays as the caller set it.
  list = nullptr;
  EXPECT_EQ(AudioUnitGetProperty(effect.get(), kPropertyParameterValueStrings, 0, kFilterType,
                                 &list, nullptr),
            kNoErr);
  EXPECT_EQ(list, nullptr);
  // A non-zero scope has no lists either.
  EXPECT_EQ(AudioUnitGetProperty(effect.get(), kPropertyParameterValueStrings, 1, kBeatDivisor,
                                 &list, nullptr),
            kNoErr);
  EXPECT_EQ(list, nullptr);

  EXPECT_EQ(effect->GetParameterValueStrings(0, kFilterType, nullptr), kNoErr);
  EXPECT_EQ(effect->GetParameterValueStrings(0, kFilterType, &list), kErrInvalidParameter);
  EXPECT_EQ(effect->GetParameterValueStrings(1, kBeatDivisor, &list), kErrInvalidParameter);
  EXPECT_EQ(effect->GetParameterValueStrings(0, 500, &list), kErrInvalidParameter);
}

TEST_F(Plumbing, TextForValueProperty) {
  const float high = 3.0f;
  ParameterStringFromValue request{kFilterType, &high, nullptr};
  EXPECT_EQ(AudioUnitGetProperty(effect.get(), kPropertyParameterStringFromValue, 0, 0, &request,
                                 nullptr),
            kNoErr);
  EXPECT_STREQ(request.text, "High");

  effect->SetParameterValue(kFilterType, 1.0f);
  request = {kFilterType, nullptr, "stale"};
  EXPECT_EQ(effect->GetProperty(kPropertyParameterStringFromValue, 0, 0, &request), kNoErr);
  EXPECT_STREQ(request.text, "Low");

  const float between = 2.5f;
  request = {kFilterType, &between, "stale"};
  EXPECT_EQ(effect->GetProperty(kPropertyParameterStringFromValue, 0, 0, &request), kNoErr);
  EXPECT_EQ(request.text, nullptr);

  request = {kDelayTime, nullptr, nullptr};
  EXPECT_EQ(effect->GetProperty(kPropertyParameterStringFromValue, 0, 0, &request),
            kErrInvalidParameter);
}

TEST_F(Plumbing, PropertyInfoTable) {
  struct Case {
    uint32_t property;
    int32_t result;
    uint32_t size;
    bool writable;
  };
  const Case cases[] = {
      {kPropertyParameterValueStrings, kNoErr, 4, false},
      {kPropertyParameterStringFromValue, kNoErr, 12, false},
      {kPropertyDataToGui, kNoErr, 4, false},
      {kPropertySkinChanged, kNoErr, 4, true},
      {kPropertyMidiRxChanged, kNoErr, 1, true},
      {kPropertyIsFxLoop, kNoErr, 1, false},
      {kPropertyWaveformEnabled, kNoErr, 1, true},
      {kPropertyWaveformVertices, kNoErr, 4, false},
      {12345, kErrInvalidProperty, 0, false},
  };
  for (const Case& c : cases) {
    uint32_t size = 0;
    bool writable = false;
    EXPECT_EQ(AudioUnitGetPropertyInfo(effect.get(), c.property, 0, 0, &size, &writable), c.result)
        << c.property;
    EXPECT_EQ(size, c.size) << c.property;
    EXPECT_EQ(writable, c.writable) << c.property;
  }
}

TEST_F(Plumbing, AddressProperties) {
  DataToGui* block = nullptr;
  EXPECT_EQ(AudioUnitGetProperty(effect.get(), kPropertyDataToGui, 0, 0, &block, nullptr), kNoErr);
  EXPECT_EQ(block, effect->GetDataToGui());
  float* vertices = nullptr;
  EXPECT_EQ(AudioUnitGetProperty(effect.get(), kPropertyWaveformVertices, 0, 0, &vertices, nullptr),
            kNoErr);
  ASSERT_EQ(vertices, effect->Waveform());
  // Column k of each channel starts as the flat line (k, 0, k, 0).
  for (int half : {0, 2048}) {
    for (int k : {0, 1, 255, 511}) {
      const float* g = vertices + half + 4 * k;
      EXPECT_EQ(g[0], k);
      EXPECT_EQ(g[1], 0.0f);
      EXPECT_EQ(g[2], k);
      EXPECT_EQ(g[3], 0.0f);
    }
  }
  // Properties the effect does not offer in a direction.
  int dummy = 0;
  EXPECT_EQ(AudioUnitGetProperty(effect.get(), kPropertySkinChanged, 0, 0, &dummy, nullptr),
            kErrInvalidProperty);
  EXPECT_EQ(AudioUnitGetProperty(effect.get(), 999, 0, 0, &dummy, nullptr), kErrInvalidProperty);
}

struct ListenerLog {
  std::vector<std::pair<void*, uint32_t>> calls;
  static void Record(void* user, OdrkAuBase*, uint32_t property, uint32_t, uint32_t) {
    auto* log = static_cast<ListenerLog*>(user);
    log->calls.push_back({user, property});
  }
  static void Other(void* user, OdrkAuBase*, uint32_t property, uint32_t, uint32_t) {
    static_cast<ListenerLog*>(user)->calls.push_back({nullptr, property});
  }
};

TEST_F(Plumbing, SetPropertyTellsListenersOnlyOnSuccess) {
  ListenerLog a, b;
  AudioUnitAddPropertyListener(effect.get(), kPropertySkinChanged, ListenerLog::Record, &a);
  AudioUnitAddPropertyListener(effect.get(), kPropertyIsFxLoop, ListenerLog::Record, &a);
  AudioUnitAddPropertyListener(effect.get(), kPropertySkinChanged, ListenerLog::Record, &b);

  uint8_t one = 1;
  EXPECT_EQ(AudioUnitSetProperty(effect.get(), kPropertyIsFxLoop, 0, 0, &one, 1),
            kErrInvalidProperty);
  EXPECT_TRUE(a.calls.empty());

  EXPECT_EQ(AudioUnitSetProperty(effect.get(), kPropertySkinChanged, 0, 0, nullptr, 0), kNoErr);
  ASSERT_EQ(a.calls.size(), 1u);
  EXPECT_EQ(a.calls[0].second, kPropertySkinChanged);
  EXPECT_EQ(b.calls.size(), 1u);

  EXPECT_EQ(AudioUnitSetProperty(effect.get(), kPropertyWaveformEnabled, 0, 0, &one, 1), kNoErr);
  EXPECT_EQ(AudioUnitSetProperty(effect.get(), kPropertyMidiRxChanged, 0, 0, &one, 1), kNoErr);

  // Removal takes every record with that property and callback, whoever registered it.
  AudioUnitAddPropertyListener(effect.get(), kPropertySkinChanged, ListenerLog::Other, &a);
  AudioUnitRemovePropertyListener(effect.get(), kPropertySkinChanged, ListenerLog::Record);
  AudioUnitSetProperty(effect.get(), kPropertySkinChanged, 0, 0, nullptr, 0);
  ASSERT_EQ(a.calls.size(), 2u);
  EXPECT_EQ(a.calls[1].first, nullptr);  // only the other callback ran
  EXPECT_EQ(b.calls.size(), 1u);
}

// An editor that records what the effect tells it.
class NotedEditor : public OdrkEditor {
 public:
  using OdrkEditor::OdrkEditor;
  void setParameter(int id, float value) override { changes.push_back({id, value}); }
  std::vector<std::pair<int, float>> changes;
};

TEST_F(Plumbing, HostChangesReachTheEditor) {
  auto* editor = new NotedEditor(effect.get());
  effect->setEditor(editor);
  e->setParameter(e, kPitch, 0.75f);
  ASSERT_EQ(editor->changes.size(), 1u);
  EXPECT_EQ(editor->changes[0], (std::pair<int, float>{kPitch, 6.0f}));
  EXPECT_TRUE(host.automations.empty());  // the host made the change; no echo
}

TEST_F(Plumbing, HandleChangesStoreTellEditorAndHost) {
  auto* editor = new NotedEditor(effect.get());
  effect->setEditor(editor);
  CAAUParameter cutoff(effect.get(), kFilterCutoff, 0, 0);
  EXPECT_STREQ(cutoff.GetName(), "Filter Cutoff");
  EXPECT_EQ(cutoff.Unit(), ParamUnit::Hertz);
  EXPECT_EQ(cutoff.Minimum(), 50.0f);
  EXPECT_EQ(cutoff.Maximum(), 8000.0f);
  EXPECT_EQ(cutoff.Default(), 1000.0f);
  EXPECT_EQ(cutoff.GetValue(), 1000.0f);

  CAAUParameter copy;
  EXPECT_EQ(copy.Effect(), nullptr);
  copy = cutoff;
  copy.SetValue(nullptr, nullptr, 2000.0f);
  EXPECT_EQ(effect->GetParameterValue(kFilterCutoff), 2000.0f);
  ASSERT_EQ(editor->changes.size(), 1u);
  EXPECT_EQ(editor->changes[0].second, 2000.0f);
  ASSERT_EQ(host.automations.size(), 1u);
  EXPECT_EQ(host.automations[0].index, kFilterCutoff);
  EXPECT_NEAR(host.automations[0].value, NormalisedFromReal(kFilterCutoff, 2000.0f), 1e-7f);
  EXPECT_EQ(AUParameterValueFromLinear(0.5f, cutoff), RealFromNormalised(kFilterCutoff, 0.5f));
  EXPECT_EQ(AUParameterValueToLinear(2000.0f, cutoff), NormalisedFromReal(kFilterCutoff, 2000.0f));
}

// ---- The change queue ----

struct Delivery {
  void* object;
  int32_t id;
  float value;
  bool operator==(const Delivery&) const = default;
};

struct Sink {
  std::vector<Delivery> got;
  OdrkListener* listener = nullptr;
  bool requeue = false;
  static void Callback(void* user, void* object, int32_t id, float value) {
    auto* sink = static_cast<Sink*>(user);
    sink->got.push_back({object, id, value});
    // A control re-setting its own parameter while it is told of it.
    if (sink->requeue) sink->listener->Notify(id, value + 1.0f);
  }
};

TEST(OdrkListener, DeliversInOrderToEveryRegisteredObject) {
  Sink sink;
  OdrkListener listener(Sink::Callback, &sink, kNumParams);
  int knob = 0, slider = 0;
  listener.Add(kDelayTime, &knob);
  listener.Add(kDelayTime, &slider);
  listener.Add(kPitch, &knob);
  listener.Add(kNumParams, &knob);  // outside the table: ignored

  listener.Notify(kFilterQ, 0.5f);  // nobody listens: not queued
  EXPECT_EQ(listener.PendingCount(), 0);
  listener.Notify(kDelayTime, 2.0f);
  listener.Notify(kPitch, -3.0f);
  listener.Notify(kDelayTime, 4.0f);
  listener.DoCallbacks();
  const std::vector<Delivery> expected = {{&knob, kDelayTime, 2.0f},
                                          {&slider, kDelayTime, 2.0f},
                                          {&knob, kPitch, -3.0f},
                                          {&knob, kDelayTime, 4.0f},
                                          {&slider, kDelayTime, 4.0f}};
  EXPECT_EQ(sink.got, expected);
  sink.got.clear();
  listener.DoCallbacks();
  EXPECT_TRUE(sink.got.empty());
}

TEST(OdrkListener, DropsWhatItsOwnCallbacksQueue) {
  Sink sink;
  OdrkListener listener(Sink::Callback, &sink, kNumParams);
  sink.listener = &listener;
  sink.requeue = true;
  int knob = 0;
  listener.Add(kDelayTime, &knob);
  listener.Notify(kDelayTime, 1.0f);
  listener.DoCallbacks();
  EXPECT_EQ(sink.got.size(), 1u);
  EXPECT_EQ(listener.PendingCount(), 0);
  sink.requeue = false;
  listener.DoCallbacks();
  EXPECT_EQ(sink.got.size(), 1u);
}

TEST(OdrkListener, OverflowKeepsTheLatestValueOfEachParameter) {
  Sink sink;
  OdrkListener listener(Sink::Callback, &sink, kNumParams);
  int knob = 0;
  listener.Add(kDelayTime, &knob);
  listener.Add(kPitch, &knob);
  for (int i = 0; i < OdrkListener::kPendingCapacity; ++i) listener.Notify(kDelayTime, float(i));
  listener.Notify(kPitch, 1.0f);  // past capacity from here on
  listener.Notify(kDelayTime, -1.0f);
  listener.Notify(kPitch, 2.0f);
  listener.DoCallbacks();
  ASSERT_EQ(sink.got.size(), OdrkListener::kPendingCapacity + 2u);
  EXPECT_EQ(sink.got[OdrkListener::kPendingCapacity - 1].value,
            float(OdrkListener::kPendingCapacity - 1));
  EXPECT_EQ(sink.got[OdrkListener::kPendingCapacity], (Delivery{&knob, kDelayTime, -1.0f}));
  EXPECT_EQ(sink.got[OdrkListener::kPendingCapacity + 1], (Delivery{&knob, kPitch, 2.0f}));
  sink.got.clear();
  listener.DoCallbacks();
  EXPECT_TRUE(sink.got.empty());
}

TEST(OdrkListener, UpdateAllDeliversCurrentValuesOfRegisteredParameters) {
  RecordingHost host;
  auto effect = host.Create(false);
  Sink sink;
  OdrkListener listener(Sink::Callback, &sink, kNumParams);
  int knob = 0;
  listener.Add(kDryLevel, &knob);
  listener.Notify(kDryLevel, 0.25f);
  effect->SetParameterValue(kDryLevel, 0.5f);
  listener.UpdateAll(effect.get());
  ASSERT_EQ(sink.got.size(), 1u);
  EXPECT_EQ(sink.got[0], (Delivery{&knob, kDryLevel, 0.5f}));
  EXPECT_EQ(listener.PendingCount(), 1);  // the queue is left alone
}

// The audio thread notifies while the main thread drains: nothing is lost
// and the editor ends on the last value.
TEST(OdrkListenerThreaded, ConcurrentNotifyAndDrain) {
  struct Counter {
    std::vector<float> values;
    static void Callback(void* user, void*, int32_t, float value) {
      static_cast<Counter*>(user)->values.push_back(value);
    }
  } counter;
  OdrkListener listener(Counter::Callback, &counter, kNumParams);
  int knob = 0;
  listener.Add(kDelayTime, &knob);
  constexpr int kChanges = 20000;
  std::atomic<bool> done{false};
  std::thread audio([&] {
    for (int i = 1; i <= kChanges; ++i) listener.Notify(kDelayTime, float(i));
    done = true;
  });
  while (!done) listener.DoCallbacks();
  audio.join();
  listener.DoCallbacks();
  ASSERT_FALSE(counter.values.empty());
  EXPECT_EQ(counter.values.back(), float(kChanges));
  for (size_t i = 1; i < counter.values.size(); ++i) {
    ASSERT_LT(counter.values[i - 1], counter.values[i]) << "out of order at " << i;
  }
}

}  // namespace
