// What runs on the host's audio thread allocates nothing: processing, host
// automation with an editor listening, and parameter reads.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "shell/OdrkCrossDelay.h"
#include "shell/OdrkEditor.h"
#include "shell/OdrkListener.h"
#include "tests/support/RecordingHost.h"

// The replaced operators below pair malloc with free on purpose.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
std::atomic<bool> g_counting{false};
std::atomic<int> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1);
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

namespace {

class CountAllocations {
 public:
  CountAllocations() {
    g_allocations = 0;
    g_counting = true;
  }
  ~CountAllocations() { g_counting = false; }
  int count() const { return g_allocations.load(); }
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

class AudioThread : public ::testing::TestWithParam<bool> {};

TEST_P(AudioThread, ProcessingAndAutomationAllocateNothing) {
  RecordingHost host;
  auto effect = host.Create(GetParam());
  effect->setEditor(new QueueingEditor(effect.get()));
  AEffect* e = effect->getAeffect();
  e->dispatcher(e, effSetBlockSize, 0, 512, nullptr, 0.0f);
  e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);

  const int channels = e->numInputs;
  std::vector<std::vector<float>> in(channels, std::vector<float>(512, 0.25f));
  std::vector<std::vector<float>> out(channels, std::vector<float>(512));
  std::vector<float*> inPtr, outPtr;
  for (int c = 0; c < channels; ++c) {
    inPtr.push_back(in[c].data());
    outPtr.push_back(out[c].data());
  }

  CountAllocations counter;
  for (int block = 0; block < 64; ++block) {
    for (int id = 0; id < kNumParams; ++id) e->setParameter(e, id, (block % 10) / 10.0f);
    float sum = 0;
    for (int id = 0; id < kNumParams; ++id) sum += e->getParameter(e, id);
    EXPECT_GE(sum, 0.0f);
    e->processReplacing(e, inPtr.data(), outPtr.data(), 512);
    e->processReplacing(e, inPtr.data(), outPtr.data(), 37);
    e->processReplacing(e, inPtr.data(), outPtr.data(), 0);
  }
  EXPECT_EQ(counter.count(), 0);
}

INSTANTIATE_TEST_SUITE_P(BothBuilds, AudioThread, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "FxLoop" : "Standard"; });

}  // namespace
