#include "platform/terminal_text.h"

#include <fcntl.h>

namespace platform {

bool WriteTerminalText(std::FILE* stream, std::string_view text) {
  const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
  return std::fflush(stream) == 0 && written;
}

int OpenControllingTerminal() { return ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY); }

ConsoleRead ReadConsoleLine(int, std::string&) { return ConsoleRead::kNotConsole; }

}  // namespace platform
