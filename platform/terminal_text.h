#pragma once
// Text for the person at a terminal. The program's texts are UTF-8. A
// Windows console shows them right only when handed UTF-16 characters,
// whatever its code page; a file or a pipe, on any system, takes the UTF-8
// bytes themselves.
#include <cstdio>
#include <string>
#include <string_view>

namespace platform {

// Writes `text` whole to `stream` (a console's characters, or the bytes),
// after what the stream holds already, and flushes it. False on a write
// error.
bool WriteTerminalText(std::FILE* stream, std::string_view text);

// The terminal the process was started from, opened to read the user's
// answers even when standard input is a file or a pipe: /dev/tty, or a
// Windows console's input. -1 when there is none.
int OpenControllingTerminal();

enum class ConsoleRead { kNotConsole, kLine, kEnd };

// When `fd` is a Windows console: one line typed there, read as UTF-16
// characters whatever the console's code page, into `line` as UTF-8 and
// without its line end (kLine); kEnd at the end of the input or on a read
// error. Anything else, on any system, is kNotConsole: read its bytes.
ConsoleRead ReadConsoleLine(int fd, std::string& line);

}  // namespace platform
