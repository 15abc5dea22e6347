#include "platform/shell_folder.h"

#include <cstring>

namespace platform {

namespace {

UINT g_errorMode = 0;

}  // namespace

UINT GetDriveType(const char* rootPath) {
  if (!rootPath || std::strlen(rootPath) < 2 || rootPath[1] != ':') return DRIVE_NO_ROOT_DIR;
  char letter = rootPath[0];
  return (letter == 'c' || letter == 'C') ? DRIVE_FIXED : DRIVE_NO_ROOT_DIR;
}

UINT SetErrorMode(UINT mode) {
  UINT previous = g_errorMode;
  g_errorMode = mode;
  return previous;
}

UINT GetErrorMode() { return g_errorMode; }

int GetCurrentDriveNumber() { return 3; }

int ChangeCurrentDrive(int drive) { return drive == 3 ? 0 : -1; }

}  // namespace platform
