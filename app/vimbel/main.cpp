// vimbel: the window program.
#include <string>
#include <vector>

#include "platform/program_start.h"
#include "platform/program_version.h"
#include "platform/qt/qt_backend.h"
#include "ui/harvest_app.h"

int main(int argc, char** argv) {
  platform::FailWritesPastTheSizeLimit();
  // Every argument is the program's: Qt is configured from the environment.
  std::vector<std::string> args(argv + 1, argv + argc);
  platform::qt::QtSession qt(argc > 0 ? argv[0] : platform::kProgramName);
  CHarvestApp app;
  app.SetCommandLine(std::move(args));
  app.InitInstance();
  return 0;
}
