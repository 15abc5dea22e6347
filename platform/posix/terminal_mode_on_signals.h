#pragma once
// The terminal setting that a signal handler of the program puts back
// before the process ends, so that a Ctrl-C at a password prompt leaves the
// terminal echoing again.
#include <termios.h>

namespace platform {

// Until ForgetTerminalModeOnSignals, a signal that RemoveScratchFilesOnSignals
// handles sets `mode` on the terminal `fd` first. One at a time.
void RestoreTerminalModeOnSignals(int fd, const termios& mode);
void ForgetTerminalModeOnSignals();

}  // namespace platform
