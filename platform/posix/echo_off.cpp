#include "platform/echo_off.h"

#include "platform/posix/terminal_mode_on_signals.h"

#include <termios.h>

namespace platform {

struct EchoOff::Saved {
  termios mode{};
};

EchoOff::EchoOff(int fd) : m_fd(fd), m_saved(std::make_unique<Saved>()) {
  if (tcgetattr(fd, &m_saved->mode) != 0) return;
  termios quiet = m_saved->mode;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  quiet.c_lflag |= ECHONL;
  // Armed before echo goes off, so that no moment is left in which a Ctrl-C
  // would leave it off.
  RestoreTerminalModeOnSignals(fd, m_saved->mode);
  // TCSANOW: what was typed already is kept for the read, not thrown away.
  m_active = tcsetattr(fd, TCSANOW, &quiet) == 0;
  if (!m_active) ForgetTerminalModeOnSignals();
}

EchoOff::~EchoOff() {
  if (!m_active) return;
  // What was typed after the hidden line stays for the next read.
  tcsetattr(m_fd, TCSANOW, &m_saved->mode);
  ForgetTerminalModeOnSignals();
}

}  // namespace platform
