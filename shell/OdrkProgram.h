// Programs: complete, independent sets of the 82 parameter values in real
// units plus a name. The current program is the live parameter set; the
// engine reads it on the audio thread while the host, the editor, scripts and
// OSC write it from theirs, so each value is a single float read and written
// whole.
#pragma once

#include <atomic>

#include "shell/ParamTable.h"

class OdrkProgram {
 public:
  virtual ~OdrkProgram() = default;
  // id is 0..81; callers check it.
  virtual void SetParameter(int id, float value) = 0;
  virtual float GetParameter(int id) const = 0;
  virtual void SetName(const char* name) = 0;
  virtual const char* GetName() const = 0;
  // Programs carry no chunk: hosts save them as parameter lists.
  virtual const void* GetChunk() const { return nullptr; }
  virtual int GetChunkSize() const { return 0; }
  virtual void SetChunk(const void* data, int size) {}
};

class OdrkProgramBasic : public OdrkProgram {
 public:
  static constexpr int kNameBytes = 32;  // 31 characters and the terminator

  static OdrkProgram* Factory() { return new OdrkProgramBasic; }

  void SetParameter(int id, float value) override {
    m_values[id].store(value, std::memory_order_relaxed);
  }
  float GetParameter(int id) const override { return m_values[id].load(std::memory_order_relaxed); }
  // Keeps at most 31 bytes of name.
  void SetName(const char* name) override;
  const char* GetName() const override { return m_name; }

 private:
  std::atomic<float> m_values[kNumParams] = {};
  char m_name[kNameBytes] = {};
};

// One factory preset: a name and the first count values; the rest of a record
// are the table's defaults.
struct PresetInfo {
  const char* name;
  int count;
  float values[kNumParams];
};

constexpr int kNumPrograms = 12;
extern const PresetInfo esPresets[kNumPrograms];

// The value preset record gives for id, completed from the Default column.
float PresetValue(const PresetInfo& preset, int id);
