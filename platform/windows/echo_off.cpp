#include "platform/echo_off.h"

#include <io.h>

#include "platform/windows/windows_api.h"

namespace platform {

struct EchoOff::Saved {
  HANDLE input = INVALID_HANDLE_VALUE;
  DWORD mode = 0;
};

EchoOff::EchoOff(int fd) : m_fd(fd), m_saved(std::make_unique<Saved>()) {
  m_saved->input = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  if (m_saved->input == INVALID_HANDLE_VALUE || !::GetConsoleMode(m_saved->input, &m_saved->mode))
    return;
  m_active =
      ::SetConsoleMode(m_saved->input, m_saved->mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
}

EchoOff::~EchoOff() {
  if (!m_active) return;
  ::SetConsoleMode(m_saved->input, m_saved->mode);
  // The console echoes nothing of the hidden line, not even its end; end
  // the prompt's line as a terminal with its line end echoed would.
  HANDLE out = ::GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0, written = 0;
  if (out != INVALID_HANDLE_VALUE && ::GetConsoleMode(out, &mode))
    ::WriteConsoleW(out, L"\r\n", 2, &written, nullptr);
}

}  // namespace platform
