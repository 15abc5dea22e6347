#include "platform/terminal_text.h"

namespace platform {

bool WriteTerminalText(std::FILE* stream, std::string_view text) {
  const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
  return std::fflush(stream) == 0 && written;
}

ConsoleRead ReadConsoleLine(int, std::string&) { return ConsoleRead::kNotConsole; }

}  // namespace platform
