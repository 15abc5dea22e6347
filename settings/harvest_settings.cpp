#include "settings/harvest_settings.h"

CHarvestSettings::CHarvestSettings(const std::string& appName)
    : platform::CProfile(appName),
      m_nTimes(0),
      m_bImage(0),
      m_bArchive(0),
      m_bWave(0),
      m_bMovie(0),
      m_bExtra(0),
      m_bExe(0),
      m_bClip(0),
      m_bBrowser(0),
      m_bEmbedded(0),
      m_bAllLinks(0),
      m_hMutex(nullptr) {}

// The single-instance lock is not released here: it is held until the
// process ends, and the system lets go of it then.
CHarvestSettings::~CHarvestSettings() = default;
