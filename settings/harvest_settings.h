#pragma once
// The settings record: the extraction settings for the whole process, the
// credentials of the last prompt (memory only), the single-instance handle,
// and the profile operations that store the settings. The application
// object is one; a test or a benchmark may make its own.
#include <string>

#include "platform/instance_lock.h"
#include "platform/profile.h"
#include "platform/program_version.h"

class CHarvestSettings : public platform::CProfile {
 public:
  // Numbers start at 0 and strings empty; the profile of `appName` fills
  // them in when the main dialog starts.
  explicit CHarvestSettings(const std::string& appName = platform::kProgramName);
  virtual ~CHarvestSettings();

  int m_nTimes;               // re-read limit for short downloads
  std::string m_strUserId;    // from the credentials prompt; never stored
  std::string m_strPassword;  // from the credentials prompt; never stored
  std::string m_strExtent;    // custom extension with its leading dot
  int m_bImage;
  int m_bArchive;
  int m_bWave;
  int m_bMovie;
  int m_bExtra;
  int m_bExe;
  int m_bClip;      // clipboard watch
  int m_bBrowser;   // read the page as a browser does, not the exact anchor scan
  int m_bEmbedded;  // with m_bBrowser: also take the files the page embeds
  int m_bAllLinks;  // keep every link, whatever its kind; never stored
  platform::InstanceLock* m_hMutex;
};
