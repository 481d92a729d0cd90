// The MIDI output task: MIDI clock, start, continue and stop from a virtual
// source, driven by the engine's take and pause signals. Its thread sleeps on
// the event flags and wakes every 33 ms while the clock runs, scheduling the
// clock up to 1/30 s ahead with exact timestamps.
#include <cmath>
#include <cstdio>
#include <mutex>
#include <regex>

#include "shell/OdrkCrossDelay.h"

namespace {

constexpr auto kClockWake = std::chrono::milliseconds(33);
constexpr auto kShutdownWait = std::chrono::milliseconds(10000);
constexpr uint8_t kMidiClock = 0xF8, kMidiStart = 0xFA, kMidiContinue = 0xFB, kMidiStop = 0xFC;

}  // namespace

OdrkCrossDelay::MidiServiceFactory OdrkCrossDelay::ms_midiServiceFactory =
    &platform::MakeAlsaMidiService;

// What the task's thread uses, kept apart from the effect so that a thread
// that does not end in time can be left with it.
struct OdrkCrossDelay::MidiTask {
  platform::EventFlags event;
  platform::Semaphore done{1, 0};
  std::unique_ptr<platform::MidiService> client;
  std::mutex nameLock;  // the source's name is read from other threads
  std::string sourceName;
  uint64_t clockStartTime = 0;
  uint64_t nextClockTime = 0;
  platform::MidiPacket packets[kMaxMidiPackets];
  int packetCount = 0;
};

void OdrkCrossDelay::CreateMIDITask() {
  if (m_midiTask) {
    std::printf("Warning: Attempt to recreate MIDI task\n");
    return;
  }
  auto task = std::make_shared<MidiTask>();
  m_midiEvent = &task->event;
  try {
    m_midiThread = std::thread([this, task] { MIDITaskMain(*task); });
  } catch (const std::system_error& e) {
    std::printf("MPCreateTask returned %d\n", e.code().value());
    m_midiEvent = nullptr;
    return;
  }
  m_midiTask = task;
}

void OdrkCrossDelay::DestroyMIDITask() {
  if (!m_midiTask) return;
  m_midiTask->event.Set(kMidiEventQuit);
  if (m_midiTask->done.Wait(kShutdownWait)) {
    m_midiThread.join();
  } else {
    // The thread keeps its share of the task's state; nothing it uses is freed.
    std::printf("DestroyMIDITask timeout on shutdown\n");
    m_midiThread.detach();
  }
  m_midiEvent = nullptr;
  m_midiTask.reset();
}

void OdrkCrossDelay::MIDITaskMain(MidiTask& task) {
  task.client = ms_midiServiceFactory();
  if (task.client->OpenClient("Veltrane")) {
    // The next free number after every "Veltrane N" source in the system.
    static const std::regex kPattern("Veltrane ([0-9]+).*");
    int highest = 0;
    for (const std::string& name : task.client->SourceNames()) {
      std::smatch match;
      if (std::regex_match(name, match, kPattern)) {
        highest = std::max(highest, std::atoi(match[1].str().c_str()));
      }
    }
    const std::string name = "Veltrane " + std::to_string(highest + 1);
    task.client->CreateSource(name);
    std::lock_guard<std::mutex> guard(task.nameLock);
    task.sourceName = name;
  }
  for (;;) {
    const uint32_t bits =
        task.clockStartTime != 0 ? task.event.Wait(kClockWake) : task.event.Wait();
    if (bits & kMidiEventQuit) break;
    DoMIDIOut(task, bits);
  }
  task.client->Close();
  task.done.Signal();
}

void OdrkCrossDelay::DoMIDIOut(MidiTask& task, uint32_t bits) {
  task.packetCount = 0;
  auto add = [&](uint64_t timestamp, uint8_t a, uint8_t b, uint16_t length) {
    task.packets[task.packetCount++] = {timestamp, length, {a, b}};
  };
  auto send = [&] {
    if (task.packetCount > 0) task.client->Send(task.packets, task.packetCount);
    task.packetCount = 0;
  };

  enum class Action { None, Stop, Start, Continue };
  auto pauseRule = [&] {
    if (bits & kMidiEventPause) return Action::Stop;
    if (bits & kMidiEventResume) return Action::Continue;
    return Action::None;
  };
  // A take that started and ended between two wake-ups gets both its
  // messages, in order.
  Action actions[2] = {Action::None, Action::None};
  if (bits & kMidiEventTapStart) {
    // A take always switches the pause off.
    SetParameterValue(kPauseClock, 0.0f);
    updateDisplay();
    m_clockPaused.store(false, std::memory_order_relaxed);
    actions[0] = GetParameterValue(kTapRecStartClockMsg) != 0.0f ? Action::Stop : pauseRule();
  }
  if (bits & kMidiEventTapEnd) {
    switch (static_cast<int>(GetParameterValue(kTapRecEndClockMsg))) {
      case 1:
        actions[1] = Action::Start;
        break;
      case 2:
        actions[1] = Action::Continue;
        break;
      default:
        actions[1] = pauseRule();
    }
  }
  if ((bits & (kMidiEventTapStart | kMidiEventTapEnd)) == 0) actions[0] = pauseRule();
  const bool clockOn = GetParameterValue(kClockMsg) != 0.0f;

  for (const Action action : actions) {
    if (action == Action::Stop) {
      // Just after the last clock already scheduled, if the clock ran.
      const uint64_t at = task.nextClockTime != 0 ? task.nextClockTime + 1 : platform::HostTime();
      add(at, kMidiStop, 0, 1);
      task.clockStartTime = task.nextClockTime = 0;
    } else if (action == Action::Start || action == Action::Continue) {
      const uint64_t now = platform::HostTime();
      task.clockStartTime = task.nextClockTime = now;
      add(now, action == Action::Start ? kMidiStart : kMidiContinue, kMidiClock, clockOn ? 2 : 1);
    }
  }

  if (task.clockStartTime != 0 && clockOn) {
    const uint64_t horizon =
        platform::HostTime() + static_cast<uint64_t>(m_hostClockFrequency / 30.0);
    const uint64_t interval = static_cast<uint64_t>(
        m_hostClockFrequency * 60.0 / (24.0 * m_tempo.load(std::memory_order_relaxed)));
    for (uint64_t t = task.nextClockTime + interval; interval > 0 && t < horizon; t += interval) {
      add(t, kMidiClock, 0, 1);
      task.nextClockTime = t;
      if (task.packetCount == kMaxMidiPackets) {
        send();
        return;
      }
    }
  }
  send();
}

std::string OdrkCrossDelay::MidiSourceName() const {
  if (!m_midiTask) return {};
  std::lock_guard<std::mutex> guard(m_midiTask->nameLock);
  return m_midiTask->sourceName;
}
