#pragma once
// The scratch files of a run, removed on every way out of it: when the run
// returns, fails or throws, and, in a process that asks for it, when a
// signal ends the process.
#include <string>
#include <vector>

namespace platform {

// Removes `paths` when it goes, and, while it lives, when the process is
// ended by a signal that RemoveScratchFilesOnSignals handles. Runs on
// several threads may each hold their own. A path too long to be kept for
// the signal handler (4096 bytes or more), or one past the first 136 held
// at a time, is removed when the object goes only.
class ScratchFiles {
 public:
  explicit ScratchFiles(std::vector<std::string> paths);
  ~ScratchFiles();
  ScratchFiles(const ScratchFiles&) = delete;
  ScratchFiles& operator=(const ScratchFiles&) = delete;

 private:
  std::vector<std::string> m_paths;
  std::vector<int> m_slots;  // where the signal handler finds them
};

// While it lives, a signal that RemoveScratchFilesOnSignals handles first
// cuts the regular file open as `fd` back to `length` bytes, the length it
// had before an append began, so that the append it interrupts leaves no
// partial line. The file is reached through a descriptor of its own, so
// `fd` may be closed first. One at a time; nothing for a negative length
// (not a regular file).
class CutBackOnSignals {
 public:
  CutBackOnSignals(int fd, long long length);
  ~CutBackOnSignals();
  CutBackOnSignals(const CutBackOnSignals&) = delete;
  CutBackOnSignals& operator=(const CutBackOnSignals&) = delete;

 private:
  bool m_armed = false;
};

// A tag that gives a run scratch names of its own: no other run, of this
// process or of another of the user's that is alive, is given the same.
// Several runs at once then keep out of each other's files.
std::string UniqueScratchTag();

// Makes SIGINT, SIGTERM, SIGHUP and SIGPIPE remove the scratch files of the
// run in progress and end the process with the status 128 + the signal, as
// a shell reports a process ended by it. A signal that was ignored when the
// process started (nohup) stays ignored.
void RemoveScratchFilesOnSignals();

}  // namespace platform
