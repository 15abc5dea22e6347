#include "platform/scratch_files.h"

#include <io.h>

#include <atomic>
#include <cstring>
#include <string>
#include <utility>

#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

namespace platform {

namespace {

// What the console's control handler may touch: fixed storage, no lock.
// The handler runs on a thread of its own while the runs go on. Room for
// the two files of each of the runs that a terminal call may hold at once,
// with some to spare.
constexpr int kSlots = 136;
constexpr size_t kPathSize = 4096;
// A slot is taken by one thread (free to filling), filled, then armed; the
// handler reads armed slots only.
enum SlotState : int { kFree, kFilling, kArmed };
struct Slot {
  wchar_t path[kPathSize];
  std::atomic<int> state;
};
Slot g_slots[kSlots];

struct CutBack {
  HANDLE file;
  LARGE_INTEGER length;
  std::atomic<bool> armed;
};
CutBack g_cutBack;

// Ctrl+C, Ctrl+Break, a closed console window, a logoff or a shutdown:
// the scratch files go, and the process ends with the status a shell
// reports for an interrupt (128 + SIGINT).
BOOL WINAPI RemoveScratchFilesAndExit(DWORD) {
  if (g_cutBack.armed) {
    // By handle, not through the C runtime, whose descriptor lock the run's
    // own writer may hold.
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile = g_cutBack.length;
    ::SetFileInformationByHandle(g_cutBack.file, FileEndOfFileInfo, &end, sizeof end);
  }
  for (Slot& slot : g_slots)
    if (slot.state.load() == kArmed) ::DeleteFileW(slot.path);
  ::ExitProcess(128 + 2);
  return TRUE;
}

}  // namespace

ScratchFiles::ScratchFiles(std::vector<std::string> paths) : m_paths(std::move(paths)) {
  for (const std::string& path : m_paths) {
    const std::wstring wide = win32::Widen(path);
    if (wide.size() >= kPathSize) continue;
    for (int i = 0; i < kSlots; ++i) {
      int free = kFree;
      if (!g_slots[i].state.compare_exchange_strong(free, kFilling)) continue;
      std::memcpy(g_slots[i].path, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
      g_slots[i].state.store(kArmed);
      m_slots.push_back(i);
      break;
    }
  }
}

ScratchFiles::~ScratchFiles() {
  // Removed first and only then let go of, so that no moment is left in
  // which an interrupt would leave them behind.
  for (const std::string& path : m_paths) ::DeleteFileW(win32::Widen(path).c_str());
  for (int i : m_slots) g_slots[i].state.store(kFree);
}

std::string UniqueScratchTag() {
  // The process id keeps processes apart (the temporary folder is the
  // user's own); the count keeps the runs of one process apart.
  static std::atomic<unsigned> count{0};
  std::string tag = "-";
  tag += std::to_string(::GetCurrentProcessId());
  tag += '-';
  tag += std::to_string(count++);
  return tag;
}

CutBackOnSignals::CutBackOnSignals(int fd, long long length) {
  if (length < 0 || g_cutBack.armed) return;
  const HANDLE own = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  if (own == INVALID_HANDLE_VALUE ||
      !::DuplicateHandle(::GetCurrentProcess(), own, ::GetCurrentProcess(), &g_cutBack.file, 0,
                         FALSE, DUPLICATE_SAME_ACCESS))
    return;
  g_cutBack.length.QuadPart = length;
  g_cutBack.armed = true;
  m_armed = true;
}

CutBackOnSignals::~CutBackOnSignals() {
  if (!m_armed) return;
  g_cutBack.armed = false;
  ::CloseHandle(g_cutBack.file);
}

void RemoveScratchFilesOnSignals() { ::SetConsoleCtrlHandler(RemoveScratchFilesAndExit, TRUE); }

}  // namespace platform
