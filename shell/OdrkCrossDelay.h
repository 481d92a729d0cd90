// The effect: one per plug-in instance. It is at once the VST effect, the
// parameter and program holder and the engine (whose processing members and
// routines live in engine/), and it owns everything an instance has.
//
// Construction and destruction run on the host's main thread, processReplacing
// on its audio thread, setParameter on either.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "engine/DataToGui.h"
#include "engine/EngineTypes.h"
#include "engine/TAUBuffer.h"
#include "engine/ToneStages.h"
#include "platform/Events.h"
#include "platform/MidiService.h"
#include "shell/OdrkAuBase.h"

namespace OD {
class OSCHelper;
}

class OdrkCrossDelay : public OdrkAuBase {
 public:
  class VTLuaMIDIHelper;

  // The two plug-ins built from these sources.
  struct BuildIdentity {
    const char* name;   // effect name and product string
    VstInt32 channels;  // inputs and outputs each
    VstInt32 uniqueId;
  };
  static const BuildIdentity& Identity(bool isFxLoop);

  static constexpr VstInt32 kVersion = 131330;  // 2.1.2 as major*65536 + minor*256 + patch
  static constexpr int kMaxChannels = 6;
  static constexpr int kWaveformFloats = 4096;  // 2 channels x 512 columns x (x, y, x, y)

  // The memory budget for the tape, from the machine's physical memory and
  // the host process's name (validators get a small fixed budget).
  struct MemoryBudget {
    int32_t bytes;
    bool loweredForValidator;
  };
  static MemoryBudget ComputeMemoryBudget(uint64_t physicalBytes, const std::string& processName);

  OdrkCrossDelay(audioMasterCallback audioMaster, bool isFxLoop);
  ~OdrkCrossDelay() override;

  // ---- Host requests (main thread unless noted) ----
  void resume() override;
  void setBlockSize(VstInt32 blockSize) override;
  // Audio thread: hands the channel pointers to the engine; allocates nothing.
  void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
  // Any thread: stores the value, tells the editor, then follows the change.
  void setParameter(VstInt32 id, float normalised) override;
  // What a change of id brings with it, for the host's changes and the
  // editor's alike: the tap-tempo delay time follows Beats, Beat Divisor and
  // Triplet, and the OSC server follows "OSC Port Offset".
  void FollowParameterChange(int id) override;
  void setProgram(VstInt32 program) override;
  // Host MIDI for the scripts (the host's event thread, usually audio).
  VstInt32 processEvents(VstEvents* events) override;
  bool getEffectName(char* name) override;
  bool getProductString(char* text) override;
  VstInt32 getVendorVersion() override { return kVersion; }
  VstInt32 canDo(char* text) override;
  VstPlugCategory getPlugCategory() override { return kPlugCategEffect; }

  // ---- Property interface ----
  int32_t GetParameterValueStrings(uint32_t scope, uint32_t id,
                                   const ValueStringList** out) override;
  int32_t GetProperty(uint32_t property, uint32_t scope, uint32_t element, void* data) override;
  int32_t GetPropertyInfo(uint32_t property, uint32_t scope, uint32_t element, uint32_t* size,
                          bool* writable) override;
  int32_t SetProperty(uint32_t property, uint32_t scope, uint32_t element, const void* data,
                      uint32_t size) override;
  DataToGui* GetDataToGui() override { return &m_dataToGui; }
  int32_t Version() override { return kVersion; }
  int32_t Initialize() override;
  void Cleanup() override;

  // ---- Engine entry point (audio thread) ----
  // Runs one host block. in and out are the effect's own copies of the host's
  // channel arrays (2, or 6 in the FX-loop build); the engine advances them.
  int ProcessMain(const float** in, float** out, unsigned long frames);

  // ---- Tone stages (audio thread; in place on count interleaved wet frames) ----
  static void RenderConvertToMono(float* frames, unsigned long count);
  // Sends the frames on output channels 4-5 and replaces them with what
  // returns on input channels 4-5; advances those four pointers by count.
  static void RenderPreSatFxLoop(float* frames, const float** in, float** out, unsigned long count);
  static void RenderCrunch(float* frames, unsigned long count, const CrunchParams& params);
  static void RenderLowShelf(float* frames, unsigned long count, FilterBlock<4>& state,
                             const ShelfParams& params);
  static void RenderHighShelf(float* frames, unsigned long count, FilterBlock<4>& state,
                              const HighShelfParams& params);
  static void RenderSaturate(float* frames, unsigned long count, float a, float threshold,
                             float clip, float drive, float output);
  static void RenderFilter(float* frames, unsigned long count, FilterBlock<6>& state, float f,
                           float q, float dryMix, float lowMix, float bandMix, float highMix);

  // True when the mean square of a block's main input is above "Trigger Level"
  // on the trigger's scale (about -63 dB is 0, about -33 dB is 1).
  bool TriggerDetect(const float* left, const float* right, unsigned long count);
  // Rescans the waveform columns that cover tape frames from..to.
  void UpdateWaveform(double from, double to, bool reverse, bool inclusive);

  // The beat grid: a quantum of "Punch Out Quantize" index (0 "4 Bars" ...
  // 9 "1/128") in quarter notes, and the next grid point after position.
  static double QuantumQuarterNotes(int index, double barLength);
  static double NextGridPosition(int index, double position, double barStart, double barLength);

  // ---- Engine state and tape (main thread, before processing, or audio thread) ----
  // Allocates and clears the tape for a maximum delay, within the memory
  // budget. When memory runs out the previous tape and maximum stay.
  bool InitBuffer(float maxDelaySec);
  // Restarts the write head and forgets the write interpolation, the record
  // fade and the filter memories; the recording stays on the tape.
  void ClearBufferPointers();
  // Every head's crossfade starts and ends at its current target delay.
  void ResetDelayInertiaVars();
  void OnMaxSliceChange(unsigned long frames) { m_maxSlice = static_cast<uint32_t>(frames); }

  bool IsFxLoop() const { return isFxLoop; }
  int32_t PhysicalRamSize() const { return m_physicalRamSize; }
  uint32_t MaxSlice() const { return m_maxSlice; }
  double Tempo() const { return m_tempo.load(std::memory_order_relaxed); }
  const float* Waveform() const { return m_waveform.get(); }
  // The UDP port the OSC server listens on for this instance; 0 when it is off.
  int OscListenPort() const { return m_oscListenPort; }

  VTLuaMIDIHelper* ScriptHost() const { return m_scriptHost.get(); }
  OD::OSCHelper* Osc() const { return m_osc.get(); }

  // ---- MIDI output task ----
  // Event bits the task wakes on.
  enum : uint32_t {
    kMidiEventQuit = 1,
    kMidiEventTapStart = 2,
    kMidiEventTapEnd = 4,
    kMidiEventPause = 8,
    kMidiEventResume = 16,
  };
  static constexpr int kMaxMidiPackets = 32;  // one list per wake-up
  using MidiServiceFactory = std::unique_ptr<platform::MidiService> (*)();
  // How tasks reach the system's MIDI service (tests install a recording one).
  static MidiServiceFactory ms_midiServiceFactory;
  bool HasMidiTask() const { return static_cast<bool>(m_midiTask); }
  // "Veltrane N" once the task has made its source; empty before or without.
  std::string MidiSourceName() const;

  // What tests and benchmarks look at.
  int32_t TapeFrames() const { return m_tapeFrames; }
  float MaxDelaySeconds() const { return m_maxDelaySec; }
  const float* TapeData() const { return m_tape.data(); }
  double WritePosition() const { return m_writePos; }
  double TapeSpeed() const { return m_tapeSpeed; }
  bool TapeBlank() const { return m_tapeBlank; }
  int32_t ClearRemaining() const { return m_clearRemaining; }
  float RecordGain() const { return m_recordGain; }
  const HeadState& Head(int k) const { return m_heads[k]; }

 protected:
  // Follows "OSC Port Offset": base port + offset, or off for offset 0.
  void ApplyOscPortOffset();

  // ---- The block pipeline (audio thread) ----
  // The whole block while the tape is being wiped: dry signal only.
  void ProcessClearing(const float** in, float** out, unsigned long frames);
  // Host transport and parameter edges, then the block core.
  void Process(const float** in, float** out, unsigned long frames);
  // The tape engine for one slice, in sub-blocks of at most 128 frames.
  void ProcessCore(const float** in, float** out, unsigned long frames);
  // Renders m frames with the old state into the outputs and with the new
  // state into scratch, then crossfades linearly from the first to the second.
  template <typename OldState, typename NewState>
  void StateSwitchCrossfade(const float** in, float** out, unsigned long m, OldState oldState,
                            NewState newState);
  // The tone stages' coefficients for one block core call.
  struct ToneConstants {
    bool monoRead, crunch, lowCut, highCut, saturation, filter;
    CrunchParams crunchParams;
    ShelfParams lowCutParams;
    HighShelfParams highCutParams;
    float satDrive, satA, satClip, satOutput;
    float cutoffHz, filterF, filterQ;
    FilterMix mix;
  };
  ToneConstants ToneStageConstants(unsigned long frames);

  // Looper control (audio thread).
  float ApplyTapEvent(bool& loopComplete, bool& recordPress);  // the tapped seconds, or -1
  float ChooseDelaySeconds(float tapSeconds);
  unsigned long PunchQuantisation(const float** in, float** out, unsigned long frames);
  unsigned long FramesUntil(double targetPpq, unsigned long rendered) const;
  void ReleaseFreeze();
  void StartSplice(double D);
  void EndSplice(double D, bool reverse, double& writePos, float& recordGain);
  void EnvelopeGate();
  void StartEnvelope(bool attack, float seconds);
  void AutoClearAfterFade();
  void PublishDisplayPositions();

  // The MIDI output task (its own thread; Initialize starts it, the
  // destructor ends it within ten seconds).
  struct MidiTask;
  void CreateMIDITask();
  void DestroyMIDITask();
  void MIDITaskMain(MidiTask& task);
  void DoMIDIOut(MidiTask& task, uint32_t bits);
  // At the end of a block core call: a take that started or ended, or a
  // change of "Pause Clock", wakes the task. Never blocks.
  void SignalMidiTask(int32_t tapEventAtStart);

  // Engine-made parameter changes: stored in the current program, then the
  // host is asked to show them.
  void SetParameterFromEngine(int id, float value);
  int Channels() const { return isFxLoop ? 6 : 2; }

  // The host's transport, read once per block.
  struct HostTransport {
    double tempo;                    // 0 when the host gives none
    double position;                 // quarter notes; -1 when unknown
    double barStart;                 // quarter notes; -1 when unknown
    int32_t numerator, denominator;  // 0 when unknown
  };

  // ---- Members, in the engine's declaration order ----
  const bool isFxLoop;
  TAUBuffer<float> m_tape;
  int32_t m_tapeFrames = 0;
  double m_writePos = 0.0;
  float m_fbPrev[2] = {0.0f, 0.0f};
  int32_t m_fbSkipCheck = -1;
  int32_t m_fbSkipFill = 0;
  float m_inPrev[2] = {0.0f, 0.0f};
  int32_t m_inSkipCheck = -1;
  int32_t m_inSkipFill = 0;
  float m_maxDelaySec = 0.0f;
  uint32_t m_maxSlice = 0;
  FilterBlock<6> m_filterState{};
  FilterBlock<4> m_lowCutState{};
  FilterBlock<4> m_highCutState{};
  HeadState m_heads[kNumHeads]{};
  double m_tapeSpeed = 1.0;
  double m_freezePoint = -1.0;  // -1 not frozen, -2 requested, >= 0 where the loop closes
  bool m_freezeSplice = false;
  bool m_freezeRecordToPoint = false;
  float m_recordGain = 1.0f;
  float m_recordGainRate = 0.0f;
  float m_wetFade = 1.0f;
  float m_pitchLfo[2] = {0.0f, 1.0f};
  float m_filterLfoPhase = 0.0f;
  int32_t m_tapEvent = 0;
  int32_t m_tapMode = 0;
  int32_t m_tapFrames = 0;
  float m_lastTapRecord = 0.0f;
  float m_lastTapTempo = 0.0f;
  float m_delayFrames = 1.0f;
  float m_delaySeconds = 1.0f;
  int32_t m_deferredTapEvent = 0;
  double m_punchTargetPpq = 0.0;
  DataToGui m_dataToGui{};
  std::atomic<bool> m_waveformEnabled{false};
  std::unique_ptr<float[]> m_waveform;
  std::atomic<double> m_tempo{120.0};
  std::atomic<bool> m_clockPaused{false};
  std::atomic<bool> m_tapTempoValid{false};
  int32_t m_envState = 2;
  float m_envLevel = 1.0f;
  Stage m_envStages[4] = {{0.0f, 0.0f, Stage::kEndless},
                          {0.0f, 0.0f, Stage::kEndless},
                          {0.0f, 0.0f, Stage::kEndless},
                          {0.0f, 0.0f, Stage::kEndless}};
  float m_lastEnvOverride = 1.0f;
  float m_inputLevel = 1.0f;
  float m_inputLevelTarget = 1.0f;
  float m_inputLevelStep = 0.0f;
  uint32_t m_inputLevelSteps = 0;
  int32_t m_clearRemaining = 0;
  bool m_tapeBlank = true;
  WorkBuffer m_workBuffer;
  float m_scratchIn[6][kStateCrossfadeFrames];
  float m_scratchOut[6][kStateCrossfadeFrames];

  // ---- The shell's own bookkeeping ----
  std::unique_ptr<VTLuaMIDIHelper> m_scriptHost;
  std::unique_ptr<OD::OSCHelper> m_osc;
  std::shared_ptr<MidiTask> m_midiTask;         // null when no task runs
  platform::EventFlags* m_midiEvent = nullptr;  // the task's flags, while it runs
  std::thread m_midiThread;
  double m_hostClockFrequency = platform::kHostClockFrequency;
  int32_t m_physicalRamSize = 0;
  float m_tapeRequestSec = 0.0f;  // "Max Delay Time" the tape was last initialised for
  float m_tapeSampleRate = 0.0f;  // the rate the tape was sized at
  HostTransport m_transport{0.0, -1.0, -1.0, 0, 0};
  double m_releaseTargetPpq = 0.0;  // where a "PositionQ" release waits to land
  int m_oscListenPort = 0;

  static SyncGroupRecord ms_syncGroupData[16];
};
