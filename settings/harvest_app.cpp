#include "settings/harvest_app.h"

#include "platform/instance_lock.h"
#include "platform/program_version.h"

// Numbers start at 0 and strings empty; the profile fills them in when the
// main dialog starts.
CHarvestApp::CHarvestApp()
    : platform::CWinApp(platform::kProgramName),
      m_nTimes(0),
      m_bImage(0),
      m_bArchive(0),
      m_bWave(0),
      m_bMovie(0),
      m_bExtra(0),
      m_bExe(0),
      m_bClip(0),
      m_hMutex(nullptr) {}

// The single-instance lock is not released here: it is held until the
// process ends, and the system lets go of it then.
CHarvestApp::~CHarvestApp() = default;

CHarvestApp& GetHarvestApp() {
  return *static_cast<CHarvestApp*>(platform::AfxGetApp());
}
