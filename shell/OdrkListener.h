// The queue of parameter changes from the effect to the editor. Any thread
// may Notify (the host automates on its audio thread); the editor drains the
// queue on the main thread with DoCallbacks, which calls the callback once per
// change for every object registered for that parameter.
//
// Notify never allocates and holds a spin lock only to append one record. Two
// fixed buffers alternate: DoCallbacks swaps them under the lock and delivers
// from the one taken out. Should the queue fill between two drains, the
// latest value of each parameter that did not fit is kept and delivered after
// the queued records, so the editor never ends on a stale value.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Sync.h"

class OdrkAuBase;

class OdrkListener {
 public:
  using Callback = void (*)(void* userData, void* object, int32_t id, float value);

  struct Notification {
    int32_t id;
    float value;
  };

  // Changes that fit between two drains; a block of host automation of every
  // parameter at small block sizes stays well inside it at the editor's rate.
  static constexpr int kPendingCapacity = 2048;

  OdrkListener(Callback callback, void* userData, int count);
  ~OdrkListener();
  OdrkListener(const OdrkListener&) = delete;
  OdrkListener& operator=(const OdrkListener&) = delete;

  // Main thread. Registers object for parameter id; empty rows refuse it.
  void Add(int32_t id, void* object);

  // Any thread. Queues {id, value} when anything is registered for id.
  // Changes queued by this listener's own callbacks during DoCallbacks are
  // dropped, so a control that re-sets its parameter does not echo forever.
  void Notify(int32_t id, float value);

  // Main thread. Delivers what is queued, in order.
  void DoCallbacks();

  // Main thread. Delivers every registered parameter's current value.
  void UpdateAll(OdrkAuBase* effect);

  // Number of changes waiting (for tests and diagnostics).
  int PendingCount();

 private:
  bool HasObjects(int32_t id) const {
    return id >= 0 && id < m_count && m_registered[id].load(std::memory_order_acquire);
  }
  void Deliver(int32_t id, float value);

  Callback m_callback;
  void* m_userData;
  int m_count;
  std::vector<std::vector<void*>> m_objects;  // per parameter; main thread only
  std::unique_ptr<std::atomic<bool>[]> m_registered;

  platform::SpinLock m_lock;  // guards everything below
  std::unique_ptr<Notification[]> m_buffers[2];
  int m_active = 0;
  int m_activeCount = 0;
  std::unique_ptr<float[]> m_overflowValue;
  std::unique_ptr<uint8_t[]> m_overflowed;
  bool m_anyOverflow = false;

  // Copies of the overflow values taken out by DoCallbacks (main thread).
  std::unique_ptr<float[]> m_drainValue;
  std::unique_ptr<uint8_t[]> m_drainFlag;
};
