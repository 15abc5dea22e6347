#include "platform/scratch_files.h"

#include "platform/posix/terminal_mode_on_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <utility>

namespace platform {

namespace {

// What the signal handler may touch: fixed storage, no allocation, no lock.
// Room for the two files of each of the runs that a terminal call may hold
// at once, with some to spare.
constexpr int kSlots = 136;
constexpr size_t kPathSize = 4096;
// A slot is taken by one thread (free to filling), filled, then armed; the
// handler reads armed slots only. A lock-free atomic is safe in a handler.
enum SlotState : int { kFree, kFilling, kArmed };
struct Slot {
  char path[kPathSize];
  std::atomic<int> state;
};
static_assert(std::atomic<int>::is_always_lock_free);
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
    if (slot.state.load() == kArmed) ::unlink(slot.path);
  ::_exit(128 + signal);
}

}  // namespace

ScratchFiles::ScratchFiles(std::vector<std::string> paths) : m_paths(std::move(paths)) {
  for (const std::string& path : m_paths) {
    if (path.size() >= kPathSize) continue;
    for (int i = 0; i < kSlots; ++i) {
      int free = kFree;
      if (!g_slots[i].state.compare_exchange_strong(free, kFilling)) continue;
      std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
      // The handler must never see the slot armed before the whole path.
      g_slots[i].state.store(kArmed);
      m_slots.push_back(i);
      break;
    }
  }
}

ScratchFiles::~ScratchFiles() {
  // Removed first and only then let go of, so that no moment is left in
  // which a signal would leave them behind.
  for (const std::string& path : m_paths) ::unlink(path.c_str());
  for (int i : m_slots) g_slots[i].state.store(kFree);
}

std::string UniqueScratchTag() {
  // The process id keeps processes apart (the folder is the user's alone,
  // so only the user's own live processes share it); the count keeps the
  // runs of one process apart.
  static std::atomic<unsigned> count{0};
  std::string tag = "-";
  tag += std::to_string(::getpid());
  tag += '-';
  tag += std::to_string(count++);
  return tag;
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
