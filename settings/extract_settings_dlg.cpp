#include "settings/extract_settings_dlg.h"

#include <array>
#include <string>

#include "resources/dialog_templates.h"
#include "resources/texts.h"
#include "platform/decimal_text.h"
#include "settings/harvest_settings.h"
#include "settings/profile_keys.h"

using namespace platform;
using namespace resources;

namespace {

// Check box and flag, in the order the boxes are read on OK.
struct FlagBinding {
  int checkId;
  int CHarvestSettings::*flag;
};
constexpr std::array<FlagBinding, 9> kFlagBindings{{
    {IDC_CHECK_IMAGE, &CHarvestSettings::m_bImage},
    {IDC_CHECK_ARCHIVE, &CHarvestSettings::m_bArchive},
    {IDC_CHECK_WAVE, &CHarvestSettings::m_bWave},
    {IDC_CHECK_MOVIE, &CHarvestSettings::m_bMovie},
    {IDC_CHECK_EXTRA, &CHarvestSettings::m_bExtra},
    {IDC_CHECK_EXE, &CHarvestSettings::m_bExe},
    {IDC_CHECK_CLIP, &CHarvestSettings::m_bClip},
    {IDC_CHECK_BROWSER, &CHarvestSettings::m_bBrowser},
    {IDC_CHECK_EMBEDDED, &CHarvestSettings::m_bEmbedded},
}};
constexpr size_t kCategoryCount = 6;  // the first six; the boxes after them are no category

}  // namespace

bool ImageOnlySelected(const CHarvestSettings& app) {
  return app.m_bImage != 0 && app.m_bAllLinks != 1 &&
         app.m_bExe + app.m_bExtra + app.m_bMovie + app.m_bWave + app.m_bArchive == 0;
}

CExtractSettingsDlg::CExtractSettingsDlg(CHarvestSettings& settings, CDialog* pParent)
    : CDialog(kExtractSettingsDialog, pParent), m_settings(settings) {}

void CExtractSettingsDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_EDIT_TIMES, m_editTimes);
  DDX_Control(pDX, IDC_EDIT_EXTENT, m_editExtent);
}

const MessageMap& CExtractSettingsDlg::GetMessageMap() const {
  static const MessageMap map{
      ON_COMMAND(IDC_CHECK_EXTRA, &CExtractSettingsDlg::OnCheckExtra),
      ON_COMMAND(IDC_CHECK_BROWSER, &CExtractSettingsDlg::OnCheckBrowser),
  };
  return map;
}

BOOL CExtractSettingsDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  CHarvestSettings& app = m_settings;
  for (const auto& binding : kFlagBindings)
    CheckDlgButton(binding.checkId, static_cast<UINT>(app.*binding.flag));
  m_editExtent.SetWindowText(app.m_strExtent.empty() ? std::string() : app.m_strExtent.substr(1));
  m_editTimes.SetWindowText(std::to_string(app.m_nTimes));
  if (IsDlgButtonChecked(IDC_CHECK_EXTRA)) m_editExtent.EnableWindow(true);
  OnCheckBrowser();
  return TRUE;
}

// Embedded files are only read by browser reading; the box keeps its mark
// while it is greyed, so that turning browser reading back on restores it.
void CExtractSettingsDlg::OnCheckBrowser() {
  EnableDlgItem(IDC_CHECK_EMBEDDED, IsDlgButtonChecked(IDC_CHECK_BROWSER) == BST_CHECKED);
}

void CExtractSettingsDlg::OnCheckExtra() {
  m_editExtent.EnableWindow(IsDlgButtonChecked(IDC_CHECK_EXTRA) == BST_CHECKED);
}

void CExtractSettingsDlg::OnOK() {
  // Refuse before storing anything, so that a Cancel after the refusal
  // still leaves the settings the dialog opened with.
  int categories = 0;
  for (size_t i = 0; i < kCategoryCount; ++i)
    if (IsDlgButtonChecked(kFlagBindings[i].checkId) == BST_CHECKED) ++categories;
  if (categories == 0) {
    MessageBox(texts::kNoCategory, texts::kCaptionError, MB_ICONERROR);
    return;
  }

  CHarvestSettings& app = m_settings;
  for (const auto& binding : kFlagBindings) app.*binding.flag = 0;
  for (const auto& binding : kFlagBindings)
    if (IsDlgButtonChecked(binding.checkId) == BST_CHECKED) app.*binding.flag = 1;
  std::string extent = m_editExtent.GetWindowText();
  extent.insert(extent.begin(), '.');
  app.m_strExtent = std::move(extent);
  app.m_nTimes = LeadingDecimalInt(m_editTimes.GetWindowText());

  using namespace profile;
  app.WriteProfileString(kSection, kExtent, app.m_strExtent);
  app.WriteProfileInt(kSection, kTimes, app.m_nTimes);
  app.WriteProfileInt(kSection, kImage, app.m_bImage);
  app.WriteProfileInt(kSection, kExe, app.m_bExe);
  app.WriteProfileInt(kSection, kArchive, app.m_bArchive);
  app.WriteProfileInt(kSection, kWave, app.m_bWave);
  app.WriteProfileInt(kSection, kMovie, app.m_bMovie);
  app.WriteProfileInt(kSection, kExtra, app.m_bExtra);
  app.WriteProfileInt(kSection, kClip, app.m_bClip);
  app.WriteProfileInt(kSection, kBrowser, app.m_bBrowser);
  app.WriteProfileInt(kSection, kEmbedded, app.m_bEmbedded);

  CDialog::OnOK();
}
