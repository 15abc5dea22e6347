#include "platform/terminal_text.h"

#include <io.h>

#include <algorithm>
#include <string>

#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

namespace platform {

bool WriteTerminalText(std::FILE* stream, std::string_view text) {
  // What the C runtime holds goes first, so that the order stays.
  if (std::fflush(stream) != 0) return false;
  const intptr_t os = ::_get_osfhandle(::_fileno(stream));
  const HANDLE handle = reinterpret_cast<HANDLE>(os);
  DWORD mode = 0;
  if (os == -1 || !::GetConsoleMode(handle, &mode)) {
    const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    return std::fflush(stream) == 0 && written;
  }
  const std::wstring wide = win32::Widen(text);
  for (size_t done = 0; done < wide.size();) {
    // A console takes a bounded amount at once.
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(wide.size() - done, 8192));
    DWORD n = 0;
    if (!::WriteConsoleW(handle, wide.data() + done, chunk, &n, nullptr) || n == 0) return false;
    done += n;
  }
  return true;
}

int OpenControllingTerminal() {
  const HANDLE input =
      ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
  if (input == INVALID_HANDLE_VALUE) return -1;
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(input), 0);
  if (fd < 0) ::CloseHandle(input);
  return fd;
}

ConsoleRead ReadConsoleLine(int fd, std::string& line) {
  const intptr_t os = ::_get_osfhandle(fd);
  const HANDLE handle = reinterpret_cast<HANDLE>(os);
  DWORD mode = 0;
  if (os == -1 || !::GetConsoleMode(handle, &mode)) return ConsoleRead::kNotConsole;
  std::wstring typed;
  for (;;) {
    wchar_t buffer[256];
    DWORD n = 0;
    if (!::ReadConsoleW(handle, buffer, 256, &n, nullptr) || n == 0) return ConsoleRead::kEnd;
    typed.append(buffer, n);
    if (typed.back() == L'\n') break;
    // Ctrl+Z at the start of a line ends the input, as it does for files.
    if (typed.size() == 1 && typed[0] == L'\x1a') return ConsoleRead::kEnd;
  }
  while (!typed.empty() && (typed.back() == L'\n' || typed.back() == L'\r')) typed.pop_back();
  line = win32::Narrow(typed);
  // The wide copy held what was typed, perhaps a password.
  std::fill(typed.begin(), typed.end(), L'\0');
  return ConsoleRead::kLine;
}

}  // namespace platform
