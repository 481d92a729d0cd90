// The answers a VST 2.4 host gets from the effect's record and dispatcher.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "shell/OdrkCrossDelay.h"
#include "shell/OdrkEditor.h"
#include "shell/OdrkInstanceTracker.h"
#include "tests/support/RecordingHost.h"

namespace {

struct Build {
  bool fxLoop;
  const char* name;
  int channels;
  VstInt32 uniqueId;
};

class Identity : public ::testing::TestWithParam<Build>, protected HostedEffect {
 protected:
  Identity() : HostedEffect(GetParam().fxLoop) {}
};

TEST_P(Identity, RecordAndStrings) {
  const Build& b = GetParam();
  EXPECT_EQ(e->magic, VstFourCC('V', 's', 't', 'P'));
  EXPECT_EQ(e->numInputs, b.channels);
  EXPECT_EQ(e->numOutputs, b.channels);
  EXPECT_EQ(e->uniqueID, b.uniqueId);
  EXPECT_EQ(e->numPrograms, 12);
  EXPECT_EQ(e->numParams, 82);
  // Can mono and can replace; the has-editor flag comes with the editor.
  EXPECT_EQ(e->flags, 24);
  EXPECT_EQ(e->initialDelay, 0);
  EXPECT_EQ(e->version, 1);
  EXPECT_EQ(e->ioRatio, 1.0f);
  EXPECT_EQ(e->object, effect.get());
  EXPECT_NE(e->processReplacing, nullptr);
  EXPECT_NE(e->processDoubleReplacing, nullptr);

  char text[256] = {};
  EXPECT_EQ(Dispatch(effGetEffectName, 0, 0, text), 1);
  EXPECT_STREQ(text, b.name);
  std::memset(text, 0, sizeof text);
  EXPECT_EQ(Dispatch(effGetProductString, 0, 0, text), 1);
  EXPECT_STREQ(text, b.name);
  std::memset(text, 0, sizeof text);
  EXPECT_EQ(Dispatch(effGetVendorString, 0, 0, text), 1);
  EXPECT_STREQ(text, "Odrisk");
  EXPECT_EQ(Dispatch(effGetVendorVersion), 131330);
  EXPECT_EQ(Dispatch(effGetVstVersion), 2400);
  EXPECT_EQ(Dispatch(effGetPlugCategory), 1);
  EXPECT_EQ(Dispatch(effIdentify), VstFourCC('N', 'v', 'E', 'f'));

  uint8_t isFx = 99;
  EXPECT_EQ(AudioUnitGetProperty(effect.get(), kPropertyIsFxLoop, 0, 0, &isFx, nullptr), 0);
  EXPECT_EQ(isFx, b.fxLoop ? 1 : 0);
}

TEST_P(Identity, CanDoOnlyReceiveMidi) {
  struct Case {
    const char* text;
    VstIntPtr answer;
  };
  const Case cases[] = {{"receiveVstMidiEvent", 1},  {"sendVstMidiEvent", 0},
                        {"receiveVstTimeInfo", 0},   {"receiveVstEvents", 0},
                        {"receiveVstMidiEventX", 0}, {"", 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(Dispatch(effCanDo, 0, 0, const_cast<char*>(c.text)), c.answer) << c.text;
  }
  EXPECT_EQ(Dispatch(effCanDo, 0, 0, nullptr), 0);
}

INSTANTIATE_TEST_SUITE_P(
    BothBuilds, Identity,
    ::testing::Values(Build{false, "Veltrane", 2, VstFourCC('O', 'D', 'v', 't')},
                      Build{true, "Veltrane Fx Loop", 6, VstFourCC('O', 'D', 'v', 'f')}),
    [](const auto& info) { return info.param.fxLoop ? "FxLoop" : "Standard"; });

class Dispatcher : public ::testing::Test, protected HostedEffect {};

// Requests whose answer does not depend on the effect's state.
TEST_F(Dispatcher, FixedAnswers) {
  struct Case {
    VstInt32 opcode;
    VstIntPtr value;
    VstIntPtr answer;
  };
  const Case cases[] = {
      {effOpen, 0, 0},
      {effGetVu, 0, 0},
      {effGetChunk, 0, 0},  // no chunks: hosts save parameter lists
      {effCanBeAutomated, 0, 1},
      {effString2Parameter, 0, 0},
      {effGetNumProgramCategories, 0, 1},
      {effConnectInput, 0, 1},
      {effConnectOutput, 0, 1},
      {effKeysRequired, 0, 1},
      {effGetCurrentMidiProgram, 0, -1},
      {effSetTotalSampleToProcess, 4096, 4096},
      {effSetBypass, 1, 0},
      {effGetTailSize, 0, 0},
      {effGetParameterProperties, 0, 0},
      {effGetInputProperties, 0, 0},
      {effSetSpeakerArrangement, 0, 0},
      {effProcessVarIo, 0, 0},
      {effEditGetRect, 0, 0},  // no editor yet
      {effEditOpen, 0, 0},
      {effEditKeyDown, 0, 0},
      {effSetEditKnobMode, 0, 0},
      {effStartProcess, 0, 0},
      {effGetNumMidiInputChannels, 0, 0},
      {200, 0, 0},
      {-5, 0, 0},
  };
  for (const Case& c : cases) {
    char scratch[256] = {};
    EXPECT_EQ(Dispatch(c.opcode, 0, c.value, scratch), c.answer) << "opcode " << c.opcode;
  }
}

TEST_F(Dispatcher, SpeakerArrangementRequestClearsBothPointers) {
  void* input = &host;
  void* output = &host;
  EXPECT_EQ(Dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input), &output), 0);
  EXPECT_EQ(input, nullptr);
  EXPECT_EQ(output, nullptr);
}

TEST_F(Dispatcher, SetProgramIgnoresIndicesOutsideTheBank) {
  EXPECT_EQ(Dispatch(effSetProgram, 0, 4), 0);
  EXPECT_EQ(Dispatch(effGetProgram), 4);
  for (VstIntPtr bad : {VstIntPtr{12}, VstIntPtr{-1}, VstIntPtr{1} << 40}) {
    Dispatch(effSetProgram, 0, bad);
    EXPECT_EQ(Dispatch(effGetProgram), 4) << bad;
  }
}

TEST_F(Dispatcher, MainsOnAsksForMidiTwice) {
  Dispatch(effMainsChanged, 0, 1);
  EXPECT_EQ(host.wantMidiCount, 2);
  Dispatch(effMainsChanged, 0, 0);
  EXPECT_EQ(host.wantMidiCount, 2);
}

TEST_F(Dispatcher, BlockSizeAndSampleRate) {
  EXPECT_EQ(effect->MaxSlice(), 1024u);  // the default block size until the host sets one
  Dispatch(effSetBlockSize, 0, 256);
  EXPECT_EQ(effect->getBlockSize(), 256);
  EXPECT_EQ(effect->MaxSlice(), 256u);
  Dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
  EXPECT_EQ(effect->getSampleRate(), 96000.0f);

  // The combined request stores both directly; the maximum slice stays.
  EXPECT_EQ(Dispatch(effSetBlockSizeAndSampleRate, 0, 2048, nullptr, 48000.0f), 1);
  EXPECT_EQ(effect->getBlockSize(), 2048);
  EXPECT_EQ(effect->getSampleRate(), 48000.0f);
  EXPECT_EQ(effect->MaxSlice(), 256u);
}

TEST_F(Dispatcher, CloseDestroysTheEffect) {
  const int before = OdrkInstanceTracker::InstanceCount();
  effect.release();  // the dispatcher deletes it
  EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1);
  EXPECT_EQ(OdrkInstanceTracker::InstanceCount(), before - 1);
}

// Hosts that pass indices outside 0..81 get harmless answers and change nothing.
TEST_F(Dispatcher, ParameterIndicesOutsideTheTableAreRefused) {
  float before[kNumParams];
  for (int id = 0; id < kNumParams; ++id) before[id] = effect->GetParameterValue(id);
  for (VstInt32 bad : {-1, 82, 1000, -100000}) {
    EXPECT_EQ(e->getParameter(e, bad), 0.0f);
    e->setParameter(e, bad, 0.7f);
    for (VstInt32 op : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
      char text[64];
      std::memset(text, 'x', sizeof text);
      EXPECT_EQ(Dispatch(op, bad, 0, text), 0);
      EXPECT_STREQ(text, "") << "opcode " << op << " index " << bad;
    }
  }
  for (int id = 0; id < kNumParams; ++id) EXPECT_EQ(effect->GetParameterValue(id), before[id]);
  // A host that passes no buffer gets nothing written.
  EXPECT_EQ(Dispatch(effGetParamName, 3, 0, nullptr), 0);
  EXPECT_EQ(Dispatch(effGetProgramName, 0, 0, nullptr), 0);
  EXPECT_EQ(Dispatch(effSetProgramName, 0, 0, nullptr), 0);
  EXPECT_EQ(Dispatch(effGetProgramNameIndexed, 0, 0, nullptr), 0);
}

TEST_F(Dispatcher, HostValuesOutsideTheNormalisedRangeAreHeldToIt) {
  e->setParameter(e, kDelayTime, 1.5f);
  EXPECT_EQ(effect->GetParameterValue(kDelayTime), 3600.0f);
  e->setParameter(e, kPitch, -0.5f);
  EXPECT_EQ(effect->GetParameterValue(kPitch), -12.0f);
  e->setParameter(e, kPitch, std::nanf(""));
  EXPECT_EQ(effect->GetParameterValue(kPitch), -12.0f);
}

TEST_F(Dispatcher, NegativeBlockLengthIsIgnored) {
  float left[4] = {1, 2, 3, 4}, right[4] = {5, 6, 7, 8};
  float outL[4] = {}, outR[4] = {};
  float* in[2] = {left, right};
  float* out[2] = {outL, outR};
  e->processReplacing(e, in, out, -4);
  EXPECT_EQ(outL[0], 0.0f);
  e->processReplacing(e, in, out, 4);
  EXPECT_EQ(outR[3], 8.0f);
}

// An editor receives the requests addressed to it.
class RecordingEditor : public OdrkEditor {
 public:
  using OdrkEditor::OdrkEditor;
  bool getRect(ERect** rect) override {
    *rect = &m_rect;
    return true;
  }
  bool open(void* window) override {
    OdrkEditor::open(window);
    return true;
  }
  void idle() override { ++idles; }
  bool onKeyDown(VstKeyCode& key) override {
    lastKey = key;
    return true;
  }
  ERect m_rect{0, 0, 300, 400};
  int idles = 0;
  VstKeyCode lastKey{};
};

TEST_F(Dispatcher, EditorRequestsReachTheEditor) {
  auto* editor = new RecordingEditor(effect.get());
  effect->setEditor(editor);
  EXPECT_EQ(e->flags & effFlagsHasEditor, effFlagsHasEditor);
  ERect* rect = nullptr;
  EXPECT_EQ(Dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->right, 400);
  int window = 0;
  EXPECT_EQ(Dispatch(effEditOpen, 0, 0, &window), 1);
  EXPECT_TRUE(editor->isOpen());
  Dispatch(effEditIdle);
  EXPECT_EQ(editor->idles, 1);
  EXPECT_EQ(Dispatch(effEditKeyDown, 'a', 3, nullptr, 2.0f), 1);
  EXPECT_EQ(editor->lastKey.character, 'a');
  EXPECT_EQ(editor->lastKey.virt, 3);
  EXPECT_EQ(editor->lastKey.modifier, 2);
  Dispatch(effEditClose);
  EXPECT_FALSE(editor->isOpen());
}

}  // namespace
