// A small VST 2.4 host: loads a plug-in shared object, answers the host
// callbacks that plug-ins rely on, and drives the dispatcher and the audio
// callbacks. The tests, the benchmarks and the command-line renderer use it.
//
// Threading: a PluginHost and its plug-in are driven from one thread at a
// time; the recorded callbacks are plain members read after the calls.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/VstInterface.h"

namespace vsthost {

// The transport the host reports through audioMasterGetTime. Each field has
// its validity flag; positions advance with every processed block while
// playing.
struct Transport {
  double sampleRate = 44100.0;  // kept equal to the rate given to the plug-in
  double samplePos = 0.0;
  bool playing = true;
  double tempo = 120.0;
  bool tempoValid = true;
  double ppqPos = 0.0;  // position in quarter notes
  bool ppqValid = true;
  double barStartPos = 0.0;  // last bar start in quarter notes, follows ppqPos
  bool barsValid = true;
  int timeSigNumerator = 4;
  int timeSigDenominator = 4;
  bool timeSigValid = true;
  bool answerTime = true;  // false: audioMasterGetTime answers null

  // Moves the transport on by frames at the current tempo.
  void Advance(int frames);
  // The record a host hands out for audioMasterGetTime, with the validity
  // flags of the fields that are valid.
  VstTimeInfo ToTimeInfo() const;
};

struct AutomateRecord {
  int index;
  float value;
};

enum class EditKind { Begin, End };
struct EditRecord {
  EditKind kind;
  int index;
};

struct MidiMessage {
  int deltaFrames;
  uint8_t bytes[3];
};

struct HostOptions {
  VstIntPtr versionAnswer = 2400;  // 0 makes a well-behaved plug-in refuse to load
};

class PluginHost {
 public:
  // Loads the shared object at path and instantiates its plug-in through
  // VSTPluginMain (or the older "main" entry point that some Linux plug-ins
  // still export instead). On failure returns null and puts a message naming the file
  // and the cause into *error.
  static std::unique_ptr<PluginHost> Load(const std::string& path, std::string* error,
                                          const HostOptions& options = {});
  ~PluginHost();  // closes the plug-in (effClose) if still open, then unloads it

  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  AEffect* effect() const { return effect_; }
  const std::string& path() const { return path_; }

  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f);

  // Identity and strings, through the dispatcher.
  std::string EffectName();
  std::string VendorString();
  std::string ProductString();
  VstInt32 VendorVersion();
  std::string ParameterName(int index);
  std::string ParameterLabel(int index);
  std::string ParameterDisplay(int index);
  std::string ProgramName();
  std::string ProgramNameIndexed(int index);
  int NumParams() const;
  int NumPrograms() const;
  int NumInputs() const;
  int NumOutputs() const;
  VstInt32 UniqueId() const;

  float GetParameter(int index);
  void SetParameter(int index, float normalised);
  void SetProgram(int index);
  int GetProgram();

  // Sets the rate (also the transport's), the block size, and switches the
  // plug-in on (effMainsChanged 1) or off.
  void SetSampleRate(double rate);
  void SetBlockSize(int frames);
  void Resume();
  void Suspend();

  // Hands one block of MIDI messages to the plug-in (effProcessEvents).
  VstIntPtr SendMidi(const std::vector<MidiMessage>& messages);

  // One call of processReplacing with the given channel arrays, then the
  // transport advances by frames.
  void ProcessReplacing(float** inputs, float** outputs, int frames);

  // Processes whole channel buffers in blocks of at most blockFrames. With
  // inPlace the outputs are first filled with the inputs and the plug-in gets
  // the same pointers for input and output. inputs.size() must equal
  // NumInputs() and outputs.size() NumOutputs(); every channel the same length.
  void ProcessBuffers(const std::vector<std::vector<float>>& inputs,
                      std::vector<std::vector<float>>& outputs, int blockFrames,
                      bool inPlace = false);

  // Closes the plug-in now (effClose); the host keeps the library loaded.
  void Close();

  // What the plug-in asked of the host.
  Transport transport;
  std::vector<AutomateRecord> automations;
  std::vector<EditRecord> edits;
  int updateDisplayCount = 0;
  int wantMidiCount = 0;
  int getTimeCount = 0;

 private:
  PluginHost() = default;
  static VstIntPtr HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                void* ptr, float opt);
  VstIntPtr Answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

  std::string path_;
  void* library_ = nullptr;
  AEffect* effect_ = nullptr;
  HostOptions options_;
  VstTimeInfo timeInfo_{};
  std::vector<uint8_t> eventStorage_;
  int blockSize_ = 0;        // the last SetBlockSize, answered to audioMasterGetBlockSize
  bool resumed_ = false;     // between Resume and Suspend; Close suspends first
  bool processing_ = false;  // inside processReplacing, for audioMasterGetCurrentProcessLevel
};

}  // namespace vsthost
