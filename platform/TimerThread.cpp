#include "platform/TimerThread.h"

#include <algorithm>

namespace platform {

TimerThread::TimerThread() : m_thread([this] { Run(); }) {}

TimerThread::~TimerThread() {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_stopping = true;
    m_timers.clear();
  }
  m_wake.notify_all();
  m_thread.join();
}

TimerThread::Handle TimerThread::Add(double seconds, bool periodic, Fire fire) {
  const auto interval = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(std::max(seconds, 0.0)));
  Handle handle;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    handle = m_next++;
    m_timers[handle] = {Clock::now() + interval, periodic ? interval : Clock::duration::zero(),
                        std::move(fire)};
  }
  m_wake.notify_all();
  return handle;
}

void TimerThread::Remove(Handle handle) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_timers.erase(handle);
}

size_t TimerThread::Pending() {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_timers.size();
}

void TimerThread::Run() {
  std::unique_lock<std::mutex> lock(m_lock);
  while (!m_stopping) {
    auto next = m_timers.end();
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
      if (next == m_timers.end() || it->second.due < next->second.due) next = it;
    }
    if (next == m_timers.end()) {
      m_wake.wait(lock);
      continue;
    }
    if (const Clock::time_point due = next->second.due; Clock::now() < due) {
      // A copy: the timer may be removed while this thread waits.
      m_wake.wait_until(lock, due);
      continue;
    }
    const Handle handle = next->first;
    Fire fire = next->second.fire;
    if (next->second.period == Clock::duration::zero()) {
      m_timers.erase(next);
    } else {
      // A periodic timer keeps its rhythm; one that fell behind skips ahead.
      next->second.due = std::max(next->second.due + next->second.period, Clock::now());
    }
    lock.unlock();
    fire(handle);
    lock.lock();
  }
}

}  // namespace platform
