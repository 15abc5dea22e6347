#pragma once
// Work that runs beside the run's own, on a thread of its own, until the run
// waits for it. Where no thread can be had it is done at once, so callers
// need not care whether there was one.
#include <functional>
#include <system_error>
#include <thread>
#include <utility>

class SideTask {
 public:
  explicit SideTask(std::function<void()> work) {
    try {
      m_thread = std::thread(std::move(work));
    } catch (const std::system_error&) {
      work();
    }
  }
  ~SideTask() { Wait(); }
  SideTask(const SideTask&) = delete;
  SideTask& operator=(const SideTask&) = delete;

  void Wait() {
    if (m_thread.joinable()) m_thread.join();
  }

 private:
  std::thread m_thread;
};
