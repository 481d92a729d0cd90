// What runs on the host's audio thread allocates nothing and takes no lock:
// processing in every preset, through a clear and a reversal, host
// automation with an editor listening, and parameter reads.
//
// Allocations are counted by replacing operator new, and (outside the
// sanitizer builds, whose runtimes own these symbols) malloc, calloc,
// realloc and pthread_mutex_lock as well.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <new>
#include <vector>

#include "osc/OSCHelper.h"
#include "oscpack/ip/UdpSocket.h"
#include "oscpack/osc/OscOutboundPacketStream.h"
#include "shell/OdrkCrossDelay.h"
#include "shell/OdrkEditor.h"
#include "shell/OdrkListener.h"
#include "tests/support/EngineHarness.h"

// The replaced operators below pair malloc with free on purpose.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
// Counted on the thread that processes only: the effect's timer thread and
// other background threads take their own locks meanwhile.
thread_local bool tl_counting = false;
std::atomic<int> g_allocations{0};
std::atomic<int> g_locks{0};
void Count(std::atomic<int>& counter) {
  if (tl_counting) counter.fetch_add(1);
}
}  // namespace

void* operator new(std::size_t size) {
  Count(g_allocations);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define VELTRANE_COUNTS_MALLOC 1
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* malloc(size_t size) {
  Count(g_allocations);
  return __libc_malloc(size);
}
void* calloc(size_t n, size_t size) {
  Count(g_allocations);
  return __libc_calloc(n, size);
}
void* realloc(void* p, size_t size) {
  Count(g_allocations);
  return __libc_realloc(p, size);
}
int pthread_mutex_lock(pthread_mutex_t* mutex) {
  Count(g_locks);
  using Lock = int (*)(pthread_mutex_t*);
  static const Lock next = reinterpret_cast<Lock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
  return next(mutex);
}
}
#endif

namespace {

class CountAllocations {
 public:
  CountAllocations() {
    g_allocations = 0;
    g_locks = 0;
    tl_counting = true;
  }
  ~CountAllocations() { tl_counting = false; }
  int allocations() const { return g_allocations.load(); }
  int locks() const { return g_locks.load(); }
};

// An editor like the real one: it queues every change for its controls.
class QueueingEditor : public OdrkEditor {
 public:
  explicit QueueingEditor(AudioEffect* effect)
      : OdrkEditor(effect), m_listener(&Ignore, nullptr, kNumParams) {
    for (int id = 0; id < kNumParams; ++id) m_listener.Add(id, this);
  }
  void setParameter(int id, float value) override { m_listener.Notify(id, value); }
  void idle() override { m_listener.DoCallbacks(); }

 private:
  static void Ignore(void*, void*, int32_t, float) {}
  OdrkListener m_listener;
};

// The host's side of a block loop: buffers made once, reused.
class Blocks {
 public:
  Blocks(AEffect* e, int frames) : m_e(e), m_in(e->numInputs), m_out(e->numOutputs) {
    for (int c = 0; c < e->numInputs; ++c) {
      m_in[c] = Noise(frames, 40 + c, 0.5f);
      m_out[c].resize(frames);
      m_inPtr.push_back(m_in[c].data());
      m_outPtr.push_back(m_out[c].data());
    }
  }
  void Process(int frames) { m_e->processReplacing(m_e, m_inPtr.data(), m_outPtr.data(), frames); }

 private:
  AEffect* m_e;
  Channels m_in, m_out;
  std::vector<float*> m_inPtr, m_outPtr;
};

class AudioThread : public ::testing::TestWithParam<bool> {};

TEST_P(AudioThread, AutomationAndParameterReadsAllocateNothing) {
  RecordingHost host;
  auto effect = host.Create(GetParam());
  effect->setEditor(new QueueingEditor(effect.get()));
  AEffect* e = effect->getAeffect();
  e->dispatcher(e, effSetBlockSize, 0, 512, nullptr, 0.0f);
  e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
  e->setParameter(e, kMaxDelayTime, NormalisedFromReal(kMaxDelayTime, 10.0f));
  Blocks blocks(e, 512);
  blocks.Process(512);

  CountAllocations counter;
  for (int block = 0; block < 64; ++block) {
    for (int id = 0; id < kNumParams; ++id) {
      // A new tape length re-allocates and a new OSC port opens a socket, by
      // design: neither is audio-rate automation.
      if (id == kMaxDelayTime || id == kOscPortOffset) continue;
      e->setParameter(e, id, (block % 10) / 10.0f);
    }
    float sum = 0;
    for (int id = 0; id < kNumParams; ++id) sum += e->getParameter(e, id);
    EXPECT_GE(sum, 0.0f);
    blocks.Process(512);
    blocks.Process(37);
    blocks.Process(0);
  }
  EXPECT_EQ(counter.allocations(), 0);
  EXPECT_EQ(counter.locks(), 0);
}

// Every factory program, steady and through the events that switch the
// engine's state: a clear, a reversal and a return, a stop.
TEST_P(AudioThread, EveryPresetThroughClearAndReversal) {
  EngineHarness engine(GetParam());
  AEffect* e = engine.effect().getAeffect();
  Blocks blocks(e, 512);
  for (int program = 0; program < kNumPrograms; ++program) {
    SCOPED_TRACE(program);
    e->dispatcher(e, effSetProgram, 0, program, nullptr, 0.0f);
    blocks.Process(512);  // a program with another tape length re-allocates here
    CountAllocations counter;
    for (int block = 0; block < 20; ++block) blocks.Process(512);
    engine.Set(kClearLoop, 1.0f);
    for (int block = 0; block < 10; ++block) blocks.Process(100);
    engine.Set(kPitchInertia, 0.0f);
    engine.Set(kReverse, 1.0f);
    for (int block = 0; block < 10; ++block) blocks.Process(333);
    engine.Set(kReverse, 0.0f);
    engine.Set(kStop, 1.0f);
    for (int block = 0; block < 10; ++block) blocks.Process(64);
    engine.Set(kStop, 0.0f);
    blocks.Process(512);
    EXPECT_EQ(counter.allocations(), 0);
    EXPECT_EQ(counter.locks(), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(BothBuilds, AudioThread, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "FxLoop" : "Standard"; });

#ifdef VELTRANE_COUNTS_MALLOC
TEST(AllocationCounter, SeesMallocAndLocks) {
  std::mutex mutex;
  CountAllocations counter;
  void* volatile p = std::malloc(16);
  std::free(p);
  { std::lock_guard<std::mutex> guard(mutex); }
  EXPECT_EQ(counter.allocations(), 1);
  EXPECT_EQ(counter.locks(), 1);
}
#endif

}  // namespace

namespace {

// Host MIDI reaches the scripts without the dispatch allocating (what a
// script itself does aside: this one only reads its arguments).
TEST(AudioThreadMidi, DispatchAllocatesNothing) {
  ScopedDataHomes homes;
  homes.AddScript(platform::Domain::User, "midi.lua",
                  "local sum = 0\n"
                  "requestAllCC(function(c, n, v) sum = sum + v end)\n"
                  "requestNoteOn(60, function(c, n, v) sum = sum + n end)\n"
                  "requestAllNRPN(function(c, n, v) sum = sum + n end)");
  RecordingHost host;
  auto effect = host.Create(false);
  AEffect* e = effect->getAeffect();
  VstMidiEvent events[4] = {};
  const uint8_t messages[4][3] = {{0xB0, 7, 100}, {0x90, 60, 90}, {0xB0, 6, 3}, {0xE0, 0, 64}};
  struct {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[4];
  } list{4, 0, {}};
  for (int i = 0; i < 4; ++i) {
    events[i].type = kVstMidiType;
    events[i].byteSize = sizeof(VstMidiEvent);
    for (int b = 0; b < 3; ++b) events[i].midiData[b] = static_cast<char>(messages[i][b]);
    list.events[i] = reinterpret_cast<VstEvent*>(&events[i]);
  }
  e->dispatcher(e, effProcessEvents, 0, 0, &list, 0.0f);  // warm up
  CountAllocations counter;
  for (int i = 0; i < 100; ++i) e->dispatcher(e, effProcessEvents, 0, 0, &list, 0.0f);
  EXPECT_EQ(counter.allocations(), 0);
}

// Automation of parameters that OSC clients subscribed to: the changes are
// queued for the notification thread, which does all the sending.
TEST(AudioThreadOsc, NotifyingSubscribersAllocatesNothing) {
  const int base = 20000 + static_cast<int>(getpid() % 400) * 100;
  ScopedConfigHome config;
  config.WritePreferenceFile("{\"OSC Base Port\": " + std::to_string(base) + "}");
  RecordingHost host;
  auto effect = host.Create(false);
  AEffect* e = effect->getAeffect();
  e->setParameter(e, kOscPortOffset, 0.9f);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (effect->Osc()->CurrentPort() != base + 90 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(effect->Osc()->CurrentPort(), base + 90);
  UdpTransmitSocket server(IpEndpointName("127.0.0.1", base + 90));
  for (int id = 0; id < kNumParams; ++id) {
    char buffer[256];
    osc::OutboundPacketStream p(buffer, sizeof buffer);
    p << osc::BeginMessage("/registerUpdate") << id << "127.0.0.1:9" << "/changed"
      << osc::EndMessage;
    server.Send(p.Data(), p.Size());
  }
  while (effect->Osc()->RegistrationCount(kNumParams - 1) == 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(effect->Osc()->RegistrationCount(kNumParams - 1), 1u);

  CountAllocations counter;
  for (int round = 0; round < 20; ++round) {
    for (int id = 0; id < kNumParams; ++id) {
      if (id == kMaxDelayTime || id == kOscPortOffset) continue;
      e->setParameter(e, id, (round % 10) / 10.0f);
    }
  }
  EXPECT_EQ(counter.allocations(), 0);
  EXPECT_EQ(counter.locks(), 0);
}

}  // namespace
