// The MIDI output task against a recording MIDI service: what goes out, when,
// and from which source, as takes start and end and the clock pauses.
#include <alsa/asoundlib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "shell/Preferences.h"
#include "tests/support/EngineHarness.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Sent {
  uint64_t timestamp;
  std::vector<uint8_t> bytes;
  uint64_t sentAt;  // host time of the Send call
};

// Every service the tasks open, and what they send.
class RecordingMidiService : public platform::MidiService {
 public:
  static std::mutex s_lock;
  static std::vector<std::string> s_existingSources;
  static std::vector<RecordingMidiService*> s_services;

  RecordingMidiService() {
    std::lock_guard<std::mutex> guard(s_lock);
    s_services.push_back(this);
  }
  ~RecordingMidiService() override {
    std::lock_guard<std::mutex> guard(s_lock);
    std::erase(s_services, this);
  }
  bool OpenClient(const std::string& name) override {
    std::lock_guard<std::mutex> guard(s_lock);
    clientName = name;
    return true;
  }
  std::vector<std::string> SourceNames() override {
    std::lock_guard<std::mutex> guard(s_lock);
    return s_existingSources;
  }
  bool CreateSource(const std::string& name) override {
    std::lock_guard<std::mutex> guard(s_lock);
    sourceName = name;
    return true;
  }
  void Send(const platform::MidiPacket* packets, int count) override {
    std::lock_guard<std::mutex> guard(s_lock);
    const uint64_t now = platform::HostTime();
    EXPECT_LE(count, 32);
    for (int i = 0; i < count; ++i) {
      sent.push_back({packets[i].timestamp,
                      std::vector<uint8_t>(packets[i].data, packets[i].data + packets[i].length),
                      now});
    }
  }
  void Close() override {}

  std::string clientName, sourceName;
  std::vector<Sent> sent;
};

std::mutex RecordingMidiService::s_lock;
std::vector<std::string> RecordingMidiService::s_existingSources;
std::vector<RecordingMidiService*> RecordingMidiService::s_services;

std::unique_ptr<platform::MidiService> MakeRecording() {
  return std::make_unique<RecordingMidiService>();
}

constexpr uint8_t kClock = 0xF8, kStart = 0xFA, kContinue = 0xFB, kStop = 0xFC;

class MidiOutputThreaded : public ::testing::Test {
 protected:
  MidiOutputThreaded() {
    OdrkCrossDelay::ms_midiServiceFactory = &MakeRecording;
    engine = std::make_unique<EngineHarness>();
  }
  ~MidiOutputThreaded() override {
    engine.reset();
    OdrkCrossDelay::ms_midiServiceFactory = &platform::MakeAlsaMidiService;
  }

  std::vector<Sent> SentSoFar() {
    std::lock_guard<std::mutex> guard(RecordingMidiService::s_lock);
    for (RecordingMidiService* s : RecordingMidiService::s_services) {
      if (!s->sourceName.empty() && service == nullptr) service = s;
    }
    return service != nullptr ? service->sent : std::vector<Sent>{};
  }
  // Waits (bounded) until something of the given status byte has gone out
  // after the first `skip` messages; returns all messages so far.
  std::vector<Sent> WaitFor(uint8_t status, size_t skip = 0) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    for (;;) {
      std::vector<Sent> sent = SentSoFar();
      for (size_t i = skip; i < sent.size(); ++i) {
        if (sent[i].bytes[0] == status) return sent;
      }
      if (Clock::now() > deadline) return sent;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  // A tap-recorded take of two seconds: 4 quarter notes, 120 BPM.
  void TakeStart() {
    engine->Set(kTapRecord, 1.0f);
    engine->Silence(512);
  }
  void TakeEnd() {
    engine->Silence(88200 - 512, 4410);
    engine->Set(kTapRecord, 0.0f);
    engine->Silence(512);
  }

  std::unique_ptr<EngineHarness> engine;
  RecordingMidiService* service = nullptr;
};

TEST_F(MidiOutputThreaded, TakesStopAndStartTheClock) {
  TakeStart();
  std::vector<Sent> sent = WaitFor(kStop);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].bytes, (std::vector<uint8_t>{kStop}));
  EXPECT_EQ(service->clientName, "Veltrane");
  EXPECT_EQ(service->sourceName, "Veltrane 1");

  TakeEnd();
  sent = WaitFor(kStart, 1);
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[1].bytes, (std::vector<uint8_t>{kStart, kClock}));
  EXPECT_NEAR(engine->effect().Tempo(), 120.0, 1e-9);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  sent = SentSoFar();
  // Clocks every 60 / (24 x 120) s: 48 a second, never more than 1/30 s ahead.
  const uint64_t interval = 1000000000ull * 60 / (24 * 120);
  ASSERT_GE(sent.size(), 12u);
  for (size_t i = 2; i < sent.size(); ++i) {
    EXPECT_EQ(sent[i].bytes, (std::vector<uint8_t>{kClock}));
    EXPECT_EQ(sent[i].timestamp - sent[i - 1].timestamp, interval) << i;
    EXPECT_LE(sent[i].timestamp, sent[i].sentAt + 1000000000ull / 30 + 1) << i;
  }

  // The next take stops the clock just after the last clock scheduled.
  const size_t before = SentSoFar().size();
  TakeStart();
  sent = WaitFor(kStop, before);
  const Sent& stop = sent.back().bytes[0] == kStop ? sent.back() : sent[sent.size() - 2];
  EXPECT_EQ(stop.bytes, (std::vector<uint8_t>{kStop}));
}

TEST_F(MidiOutputThreaded, ClockMsgNoneSendsStartWithoutClocks) {
  engine->Set(kClockMsg, 0.0f);
  TakeStart();
  TakeEnd();
  std::vector<Sent> sent = WaitFor(kStart);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  sent = SentSoFar();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1].bytes, (std::vector<uint8_t>{kStart}));
}

TEST_F(MidiOutputThreaded, PauseClockStopsAndContinues) {
  TakeStart();
  TakeEnd();
  WaitFor(kStart);
  engine->Set(kPauseClock, 1.0f);
  engine->Silence(64);
  std::vector<Sent> sent = WaitFor(kStop, 2);
  const size_t stopped = sent.size();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(SentSoFar().size(), stopped);  // no clocks while paused
  engine->Set(kPauseClock, 0.0f);
  engine->Silence(64);
  sent = WaitFor(kContinue, stopped);
  EXPECT_EQ(sent[stopped].bytes, (std::vector<uint8_t>{kContinue, kClock}));
  // A take switches the pause off.
  engine->Set(kPauseClock, 1.0f);
  engine->Silence(64);
  TakeStart();
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (engine->Get(kPauseClock) != 0.0f && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_EQ(engine->Get(kPauseClock), 0.0f);
}

TEST_F(MidiOutputThreaded, TakeEndMessageNoneLeavesTheClock) {
  engine->Set(kTapRecEndClockMsg, 0.0f);
  TakeStart();
  WaitFor(kStop);
  TakeEnd();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(SentSoFar().size(), 1u);  // only the take start's Stop
}

TEST_F(MidiOutputThreaded, ATempoChangeReachesTheClockWithinAWakeUp) {
  engine->StartTransport(120.0);
  engine->Set(kHostSync, 1.0f);
  TakeStart();
  TakeEnd();
  WaitFor(kStart);
  engine->host().transport->tempo = 60.0;
  engine->Silence(64);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const std::vector<Sent> sent = SentSoFar();
  ASSERT_GE(sent.size(), 3u);
  EXPECT_EQ(sent.back().timestamp - sent[sent.size() - 2].timestamp,
            1000000000ull * 60 / (24 * 60));
}

TEST_F(MidiOutputThreaded, DestroyingARunningClockEndsTheTaskAtOnce) {
  TakeStart();
  TakeEnd();
  WaitFor(kStart);
  const auto start = Clock::now();
  engine.reset();
  // The quit bit wakes the task at once, far inside the ten-second bound.
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

TEST(MidiOutputSourcesThreaded, NumberedAfterTheHighestVeltraneSource) {
  OdrkCrossDelay::ms_midiServiceFactory = &MakeRecording;
  struct Case {
    std::vector<std::string> existing;
    const char* expected;
  };
  const Case cases[] = {
      {{}, "Veltrane 1"},
      {{"Veltrane 1"}, "Veltrane 2"},
      {{"Veltrane 1", "Veltrane 5", "Midi Through Port-0", "Veltrane x"}, "Veltrane 6"}};
  for (const Case& c : cases) {
    {
      std::lock_guard<std::mutex> guard(RecordingMidiService::s_lock);
      RecordingMidiService::s_existingSources = c.existing;
    }
    RecordingHost host;
    auto effect = host.Create(false);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (effect->MidiSourceName().empty() && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(effect->MidiSourceName(), c.expected);
  }
  std::lock_guard<std::mutex> guard(RecordingMidiService::s_lock);
  RecordingMidiService::s_existingSources.clear();
  OdrkCrossDelay::ms_midiServiceFactory = &platform::MakeAlsaMidiService;
}

TEST(MidiOutput, NoTaskWhenThePreferenceIsOff) {
  ScopedConfigHome config;
  config.WritePreferenceFile(R"({"MIDI output": 0})");
  RecordingHost host;
  auto effect = host.Create(false);
  EXPECT_FALSE(effect->HasMidiTask());
  config.WritePreferenceFile("{}");
  auto other = host.Create(false);
  EXPECT_TRUE(other->HasMidiTask());
}

// With a real ALSA sequencer, a client subscribed to the source hears the
// take's Start and the clock. Containers and CI machines have none.
TEST(MidiOutputAlsaThreaded, ASubscribedClientHearsTheClock) {
  if (access("/dev/snd/seq", F_OK) != 0) {
    GTEST_SKIP() << "no ALSA sequencer on this machine (/dev/snd/seq is missing)";
  }
  EngineHarness engine;
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (engine.effect().MidiSourceName().empty() && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const std::string source = engine.effect().MidiSourceName();
  ASSERT_EQ(source.rfind("Veltrane ", 0), 0u);

  snd_seq_t* seq = nullptr;
  ASSERT_GE(snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK), 0);
  snd_seq_set_client_name(seq, "Veltrane test listener");
  const int port =
      snd_seq_create_simple_port(seq, "in", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                 SND_SEQ_PORT_TYPE_APPLICATION);
  snd_seq_addr_t from{};
  ASSERT_GE(snd_seq_parse_address(seq, &from, source.c_str()), 0) << source;
  ASSERT_GE(snd_seq_connect_from(seq, port, from.client, from.port), 0);

  engine.Set(kTapRecord, 1.0f);
  engine.Silence(88200, 4410);
  engine.Set(kTapRecord, 0.0f);
  engine.Silence(512);
  int starts = 0, clocks = 0;
  const auto until = Clock::now() + std::chrono::milliseconds(500);
  while (Clock::now() < until) {
    snd_seq_event_t* event = nullptr;
    if (snd_seq_event_input(seq, &event) >= 0 && event != nullptr) {
      if (event->type == SND_SEQ_EVENT_START) ++starts;
      if (event->type == SND_SEQ_EVENT_CLOCK) ++clocks;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  snd_seq_close(seq);
  EXPECT_EQ(starts, 1);
  EXPECT_GE(clocks, 15);  // 48 a second at 120 BPM
}

}  // namespace
