#include <direct.h>

#include "platform/shell_folder.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

namespace platform {

UINT GetDriveType(const char* rootPath) {
  if (!rootPath) return DRIVE_NO_ROOT_DIR;
  return ::GetDriveTypeW(win32::Widen(rootPath).c_str());
}

UINT SetErrorMode(UINT mode) { return ::SetErrorMode(mode); }

UINT GetErrorMode() { return ::GetErrorMode(); }

int GetCurrentDriveNumber() { return ::_getdrive(); }

int ChangeCurrentDrive(int drive) { return ::_chdrive(drive); }

}  // namespace platform
