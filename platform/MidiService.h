// The system's MIDI service as the MIDI output task uses it: a client with
// one virtual source that other programs connect to by name, and packets
// sent out at their timestamps. Host time is CLOCK_MONOTONIC in nanoseconds.
// On Linux this is the ALSA sequencer; tests use a recording stand-in.
//
// One service belongs to one instance's MIDI output task and is used from
// that thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

constexpr double kHostClockFrequency = 1e9;  // host-time ticks per second

// Now, in host ticks.
uint64_t HostTime();

struct MidiPacket {
  uint64_t timestamp;  // host time
  uint16_t length;
  uint8_t data[2];  // one message, or start/continue with a clock byte
};

class MidiService {
 public:
  virtual ~MidiService() = default;
  // Opens a client of that name; false when the system has no MIDI service.
  virtual bool OpenClient(const std::string& name) = 0;
  // The names of every MIDI source in the system.
  virtual std::vector<std::string> SourceNames() = 0;
  virtual bool CreateSource(const std::string& name) = 0;
  // Schedules the packets, in order, to go out at their timestamps.
  virtual void Send(const MidiPacket* packets, int count) = 0;
  // Removes the source and closes the client.
  virtual void Close() = 0;
};

// The ALSA sequencer service.
std::unique_ptr<MidiService> MakeAlsaMidiService();

}  // namespace platform
