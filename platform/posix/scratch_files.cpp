#include "platform/scratch_files.h"

#include "platform/posix/terminal_mode_on_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <utility>

namespace platform {

namespace {

// What the signal handler may touch: fixed storage, no allocation, no lock.
constexpr int kSlots = 8;
constexpr size_t kPathSize = 4096;
struct Slot {
  char path[kPathSize];
  volatile sig_atomic_t armed;
};
Slot g_slots[kSlots];

struct CutBack {
  int writer;   // the run's own descriptor, which may be writing on another thread
  int own;      // the same file, for the handler alone
  int nowhere;  // /dev/null
  off_t length;
  volatile sig_atomic_t armed;
};
CutBack g_cutBack;

struct TerminalMode {
  int fd;
  termios mode;
  volatile sig_atomic_t armed;
};
TerminalMode g_terminal;

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

extern "C" void RemoveScratchFilesAndExit(int signal) {
  if (g_terminal.armed) ::tcsetattr(g_terminal.fd, TCSANOW, &g_terminal.mode);
  if (g_cutBack.armed) {
    // A writer thread would append again between the cut and the exit:
    // its descriptor is pointed elsewhere first. A write already under way
    // holds the file's lock, which the cut waits for.
    ::dup2(g_cutBack.nowhere, g_cutBack.writer);
    ::ftruncate(g_cutBack.own, g_cutBack.length);
  }
  for (const Slot& slot : g_slots)
    if (slot.armed) ::unlink(slot.path);
  ::_exit(128 + signal);
}

}  // namespace

ScratchFiles::ScratchFiles(std::vector<std::string> paths) : m_paths(std::move(paths)) {
  for (const std::string& path : m_paths) {
    if (path.size() >= kPathSize) continue;
    for (int i = 0; i < kSlots; ++i) {
      if (g_slots[i].armed) continue;
      std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
      // The handler must never see the flag before the whole path.
      std::atomic_signal_fence(std::memory_order_seq_cst);
      g_slots[i].armed = 1;
      m_slots.push_back(i);
      break;
    }
  }
}

ScratchFiles::~ScratchFiles() {
  // Removed first and only then let go of, so that no moment is left in
  // which a signal would leave them behind.
  for (const std::string& path : m_paths) ::unlink(path.c_str());
  std::atomic_signal_fence(std::memory_order_seq_cst);
  for (int i : m_slots) g_slots[i].armed = 0;
}

CutBackOnSignals::CutBackOnSignals(int fd, long long length) {
  if (length < 0 || g_cutBack.armed) return;
  g_cutBack.own = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
  if (g_cutBack.own < 0) return;
  g_cutBack.nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (g_cutBack.nowhere < 0) {
    ::close(g_cutBack.own);
    return;
  }
  g_cutBack.writer = fd;
  g_cutBack.length = static_cast<off_t>(length);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_cutBack.armed = 1;
  m_armed = true;
}

CutBackOnSignals::~CutBackOnSignals() {
  if (!m_armed) return;
  g_cutBack.armed = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  ::close(g_cutBack.own);
  ::close(g_cutBack.nowhere);
}

void RestoreTerminalModeOnSignals(int fd, const termios& mode) {
  g_terminal.armed = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_terminal.fd = fd;
  g_terminal.mode = mode;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_terminal.armed = 1;
}

void ForgetTerminalModeOnSignals() {
  g_terminal.armed = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

void RemoveScratchFilesOnSignals() {
  struct sigaction action {};
  action.sa_handler = RemoveScratchFilesAndExit;
  sigemptyset(&action.sa_mask);
  for (int signal : kSignals) sigaddset(&action.sa_mask, signal);
  for (int signal : kSignals) {
    struct sigaction old {};
    if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
}

}  // namespace platform
