#include "platform/echo_off.h"

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
  m_active = tcsetattr(fd, TCSAFLUSH, &quiet) == 0;
}

EchoOff::~EchoOff() {
  if (m_active) tcsetattr(m_fd, TCSAFLUSH, &m_saved->mode);
}

}  // namespace platform
