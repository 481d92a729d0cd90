#include "shell/OdrkListener.h"

#include <mutex>

#include "shell/OdrkAuBase.h"
#include "shell/ParamTable.h"

namespace {
// The listener whose callbacks this thread is running, if any.
thread_local const OdrkListener* tl_delivering = nullptr;
}  // namespace

OdrkListener::OdrkListener(Callback callback, void* userData, int count)
    : m_callback(callback),
      m_userData(userData),
      m_count(count),
      m_objects(count),
      m_registered(new std::atomic<bool>[count]),
      m_overflowValue(new float[count]),
      m_overflowed(new uint8_t[count]),
      m_drainValue(new float[count]),
      m_drainFlag(new uint8_t[count]) {
  for (int i = 0; i < count; ++i) {
    m_registered[i].store(false, std::memory_order_relaxed);
    m_overflowed[i] = 0;
  }
  m_buffers[0].reset(new Notification[kPendingCapacity]);
  m_buffers[1].reset(new Notification[kPendingCapacity]);
}

OdrkListener::~OdrkListener() = default;

void OdrkListener::Add(int32_t id, void* object) {
  if (id < 0 || id >= m_count) return;
  if (id < kNumParams && IsEmptyRow(id)) return;
  m_objects[id].push_back(object);
  m_registered[id].store(true, std::memory_order_release);
}

void OdrkListener::Notify(int32_t id, float value) {
  if (!HasObjects(id) || tl_delivering == this) return;
  std::lock_guard<platform::SpinLock> guard(m_lock);
  if (m_activeCount < kPendingCapacity) {
    m_buffers[m_active][m_activeCount++] = {id, value};
  } else {
    m_overflowValue[id] = value;
    m_overflowed[id] = 1;
    m_anyOverflow = true;
  }
}

void OdrkListener::DoCallbacks() {
  int taken, n;
  bool overflow;
  {
    std::lock_guard<platform::SpinLock> guard(m_lock);
    taken = m_active;
    n = m_activeCount;
    m_active ^= 1;
    m_activeCount = 0;
    overflow = m_anyOverflow;
    if (overflow) {
      for (int id = 0; id < m_count; ++id) {
        m_drainFlag[id] = m_overflowed[id];
        m_drainValue[id] = m_overflowValue[id];
        m_overflowed[id] = 0;
      }
      m_anyOverflow = false;
    }
  }
  const OdrkListener* outer = tl_delivering;
  tl_delivering = this;
  const Notification* records = m_buffers[taken].get();
  for (int i = 0; i < n; ++i) Deliver(records[i].id, records[i].value);
  if (overflow) {
    for (int id = 0; id < m_count; ++id) {
      if (m_drainFlag[id]) Deliver(id, m_drainValue[id]);
    }
  }
  tl_delivering = outer;
}

void OdrkListener::Deliver(int32_t id, float value) {
  for (void* object : m_objects[id]) m_callback(m_userData, object, id, value);
}

void OdrkListener::UpdateAll(OdrkAuBase* effect) {
  for (int32_t id = 0; id < m_count && id < kNumParams; ++id) {
    if (m_objects[id].empty()) continue;
    Deliver(id, effect->GetParameterValue(id));
  }
}

int OdrkListener::PendingCount() {
  std::lock_guard<platform::SpinLock> guard(m_lock);
  return m_activeCount;
}
