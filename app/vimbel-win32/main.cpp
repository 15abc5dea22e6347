// vimbel.exe: the window program on Windows.
#include "platform/program_start.h"
#include "platform/win32/win32_backend.h"
#include "ui/harvest_app.h"

int main(int argc, char** argv) {
  platform::win32::Win32Backend backend;
  platform::SetWindowBackend(&backend);
  CHarvestApp app;
  app.SetCommandLine(platform::ProgramArguments(argc, argv));
  app.InitInstance();
  platform::SetWindowBackend(nullptr);
  return 0;
}
