// Timers that fire on a thread of their own: the stand-in for the main
// thread's event-loop timers that scripts use. Each timer calls its function
// on the timer thread; the thread's own lock is never held while a function
// runs, so a function may add or remove timers, and so may other threads.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace platform {

class TimerThread {
 public:
  using Handle = uint64_t;  // never 0
  using Fire = std::function<void(Handle)>;

  TimerThread();
  ~TimerThread();  // stops the thread; no function runs after it returns
  TimerThread(const TimerThread&) = delete;
  TimerThread& operator=(const TimerThread&) = delete;

  // Calls fire after seconds, then every seconds when periodic.
  Handle Add(double seconds, bool periodic, Fire fire);
  // Forgets the timer; a call already under way completes. Unknown handles
  // are ignored.
  void Remove(Handle handle);
  size_t Pending();

 private:
  using Clock = std::chrono::steady_clock;
  struct Timer {
    Clock::time_point due;
    Clock::duration period;  // zero for a one-shot timer
    Fire fire;
  };
  void Run();

  std::mutex m_lock;
  std::condition_variable m_wake;
  std::map<Handle, Timer> m_timers;
  Handle m_next = 1;
  bool m_stopping = false;
  std::thread m_thread;
};

}  // namespace platform
