#pragma once
// Work that runs beside the run's own, on a thread of its own, until the run
// waits for it. Where no thread can be had it is done at once, so callers
// need not care whether there was one.
#include <functional>
#include <thread>
#include <utility>

#include "platform/thread_start.h"

class SideTask {
 public:
  explicit SideTask(std::function<void()> work,
                    platform::ThreadWeight weight = platform::ThreadWeight::kEqual)
      : m_work(std::move(work)) {
    if (!platform::StartThread(m_thread, m_work, weight)) m_work();
  }
  ~SideTask() { Wait(); }
  SideTask(const SideTask&) = delete;
  SideTask& operator=(const SideTask&) = delete;

  void Wait() {
    if (m_thread.joinable()) m_thread.join();
  }

 private:
  std::function<void()> m_work;
  std::thread m_thread;
};
