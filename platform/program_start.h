#pragma once
// What a program's entry point takes from the system before anything else.
#include <string>
#include <vector>

namespace platform {

// The arguments after the program's own name, in UTF-8. On Windows they
// come from the wide command line, so names outside the code page survive;
// `argv` there is only what the C runtime made of them.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Readies a Windows console for the program: bytes written to it (the links
// of --stdout) read as UTF-8 rather than in the system's code page, and the
// status line's escape codes work. Nothing to do elsewhere. Texts for the
// user go through WriteTerminalText (platform/terminal_text.h).
void UseUtf8Terminal();

// Makes a write past the file-size limit (ulimit -f) fail as a full disk
// does, rather than end the process at once: the output is then cut back
// to whole lines and the scratch files removed as after any failed write.
// Nothing to do on Windows, which has no such limit.
void FailWritesPastTheSizeLimit();

}  // namespace platform
