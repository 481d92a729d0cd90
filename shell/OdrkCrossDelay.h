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

#include "engine/DataToGui.h"
#include "shell/OdrkAuBase.h"

class OdrkCrossDelay : public OdrkAuBase {
 public:
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
  int ProcessMain(const float** in, float** out, unsigned long frames);

  bool IsFxLoop() const { return isFxLoop; }
  int32_t PhysicalRamSize() const { return m_physicalRamSize; }
  uint32_t MaxSlice() const { return m_maxSlice; }
  double Tempo() const { return m_tempo.load(std::memory_order_relaxed); }
  const float* Waveform() const { return m_waveform.get(); }
  // The UDP port the OSC server listens on for this instance; 0 when it is off.
  int OscListenPort() const { return m_oscListenPort; }

 protected:
  // Follows "OSC Port Offset": base port + offset, or off for offset 0.
  void ApplyOscPortOffset();

  const bool isFxLoop;
  uint32_t m_maxSlice = 0;
  int32_t m_physicalRamSize = 0;
  std::atomic<bool> m_waveformEnabled{false};
  std::unique_ptr<float[]> m_waveform;
  DataToGui m_dataToGui{};
  std::atomic<double> m_tempo{120.0};
  std::atomic<bool> m_tapTempoValid{false};
  bool m_clockPaused = false;
  int m_oscListenPort = 0;
};
