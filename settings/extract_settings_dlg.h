#pragma once
// The extraction settings dialog: file categories, the custom extension,
// the re-read count, the clipboard watch and the way the page is read. It holds no copy of the
// settings: it reads the record it is given when it opens and writes it,
// and its profile, on an accepted OK.
#include "platform/dialog.h"

class CHarvestSettings;

class CExtractSettingsDlg : public platform::CDialog {
 public:
  explicit CExtractSettingsDlg(CHarvestSettings& settings, platform::CDialog* pParent = nullptr);

  void OnCheckExtra();
  void OnCheckBrowser();

  platform::CEdit m_editTimes;
  platform::CEdit m_editExtent;

 protected:
  void DoDataExchange(platform::CDataExchange* pDX) override;
  platform::BOOL OnInitDialog() override;
  void OnOK() override;
  const platform::MessageMap& GetMessageMap() const override;

 private:
  CHarvestSettings& m_settings;
};

// The image-only rule: the gallery output is offered only while images are
// the one selected category.
bool ImageOnlySelected(const CHarvestSettings& app);
