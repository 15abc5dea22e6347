#include "platform/program_start.h"

#include <signal.h>

namespace platform {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

void UseUtf8Terminal() {}

void FailWritesPastTheSizeLimit() { ::signal(SIGXFSZ, SIG_IGN); }

}  // namespace platform
