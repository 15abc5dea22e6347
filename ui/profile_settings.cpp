#include "ui/profile_settings.h"

#include <string>

#include "engine/harvest_engine.h"
#include "settings/profile_keys.h"
#include "ui/harvest_app.h"

void LoadProfileSettings(CHarvestApp& app, CHarvestEngine& engine) {
  using namespace profile;
  engine.m_nOutPutType = app.GetProfileInt(kSection, kOutPutType, kOutPutTypeDefault);
  engine.m_nFileSelect = app.GetProfileInt(kSection, kFileSelect, kFileSelectDefault);
  engine.m_strSaveFolder = app.GetProfileString(kSection, kSaveFolder, DefaultSaveFolder().c_str());
  // The output name is appended to the folder as it stands, so a folder
  // edited in by hand without its "/" would put the output beside it. An
  // empty one stays empty rather than become the root.
  std::string& folder = engine.m_strSaveFolder;
  if (!folder.empty() && folder.back() != '/') folder += '/';
  app.m_strExtent = app.GetProfileString(kSection, kExtent, kExtentDefault);
  app.m_bImage = app.GetProfileInt(kSection, kImage, kImageDefault);
  app.m_bArchive = app.GetProfileInt(kSection, kArchive, 0);
  app.m_bWave = app.GetProfileInt(kSection, kWave, 0);
  app.m_bMovie = app.GetProfileInt(kSection, kMovie, 0);
  app.m_bExtra = app.GetProfileInt(kSection, kExtra, 0);
  app.m_bExe = app.GetProfileInt(kSection, kExe, 0);
  app.m_bClip = app.GetProfileInt(kSection, kClip, 0);
  app.m_nTimes = app.GetProfileInt(kSection, kTimes, 0);
  app.m_bBrowser = app.GetProfileInt(kSection, kBrowser, 0);
  app.m_bEmbedded = app.GetProfileInt(kSection, kEmbedded, 0);
}
