// The main dialog's side of the extraction settings: run the dialog, then
// apply what an accepted OK changed.
#include "resources/dialog_templates.h"
#include "settings/extract_settings_dlg.h"
#include "ui/harvest_app.h"
#include "ui/harvest_dlg.h"

using namespace platform;
using namespace resources;

void CHarvestDlg::OnExtended() {
  CExtractSettingsDlg dlg(GetHarvestApp());
  if (dlg.DoModal() != IDOK) return;
  ApplyImageOnlyRule();
  if (GetHarvestApp().m_bClip == 1)
    SetTimer(kWatchTimerId, kWatchTimerMs);
  else
    KillTimer(kWatchTimerId);
}
