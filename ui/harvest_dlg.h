#pragma once
// The main dialog: the address field, the status line, the two output
// options and the three buttons of template 102. It owns the job state of
// the harvest engine and gives the engine its window services.
#include <string>

#include "engine/harvest_engine.h"
#include "platform/dialog.h"
#include "platform/icon.h"

class CHarvestDlg : public platform::CDialog, public CHarvestEngine {
 public:
  explicit CHarvestDlg(platform::CDialog* pParent = nullptr);
  ~CHarvestDlg() override;

  // The address field, control 1000.
  platform::CEdit m_editUrl;
  // Icon 128, for the window manager (title bar, task bar, minimised window).
  platform::HICON m_hIcon;

  // The output radios: format 1001..1002, naming 1013..1014.
  void OnOptionRadio(platform::UINT nID);

 protected:
  void DoDataExchange(platform::CDataExchange* pDX) override;
  platform::BOOL OnInitDialog() override;
  // The start button and the Enter key: a harvest run; the window stays.
  void OnOK() override;
  // The window manager draws the minimised window from icon 128.
  void OnPaint();
  platform::HICON OnQueryDragIcon();
  const platform::MessageMap& GetMessageMap() const override;

  // Window services of the harvest engine.
  std::string GetAddressText() const override;
  void SetStatusText(const std::string& text) override;
  int ShowMessage(const std::string& text, const std::string& caption,
                  platform::UINT type) override;
  int RunCredentialsPrompt() override;
};
