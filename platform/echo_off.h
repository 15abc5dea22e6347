#pragma once
// Keeps a terminal from showing what is typed, for a password prompt.
#include <memory>

namespace platform {

// Turns the terminal's echo off on `fd` for its lifetime; the typed line
// end still moves to a new line.
class EchoOff {
 public:
  explicit EchoOff(int fd);
  ~EchoOff();
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;
  // False when `fd` is no terminal or its echo could not be turned off.
  bool Active() const { return m_active; }

 private:
  struct Saved;  // the terminal's own setting, restored at the end
  int m_fd;
  std::unique_ptr<Saved> m_saved;
  bool m_active = false;
};

}  // namespace platform
