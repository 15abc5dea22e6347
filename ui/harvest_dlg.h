#pragma once
// The main dialog: the address field, the status line, the two output
// options and the three buttons of template 102. It owns the job state of
// the harvest engine and gives the engine its window services.
#include <string>

#include "engine/harvest_engine.h"
#include "platform/dialog.h"
#include "platform/icon.h"

namespace platform {
class HandoverListener;
}

class CHarvestDlg : public platform::CDialog, public CHarvestEngine {
 public:
  explicit CHarvestDlg(platform::CDialog* pParent = nullptr);
  ~CHarvestDlg() override;

  // The address field, control 1000.
  platform::CEdit m_editUrl;
  // Icon 128, for the window manager (title bar, task bar, minimised window).
  platform::HICON m_hIcon;
  // Where later starts of the program hand their file over, or nullptr.
  platform::HandoverListener* m_pHandover = nullptr;

  // The output radios: format 1001..1002, naming 1013..1014.
  void OnOptionRadio(platform::UINT nID);
  // The button "拡張(&E)": the extraction settings dialog.
  void OnExtended();
  // The button "保存先(&S)": the folder browser.
  void OnSaveFolder();
  // The watch timer's tick.
  void OnTimer(platform::UINT nIDEvent);
  // Files dropped on the window.
  void OnDropFiles(platform::HDROP hDropInfo);
  // A file handed over by a later start: opened as if dropped, with the
  // window brought to the front.
  void OnHandover();

  // Takes an http address from the clipboard into the field, once per text.
  void CheckClipboard();
  // A shortcut file gives the field its address; any other file becomes the
  // local page to harvest.
  void OpenSourceFile(const std::string& path);
  // The gallery is offered only while images are the one category;
  // otherwise the list is chosen and stored.
  void ApplyImageOnlyRule();

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
  bool StopRequested() override;
};
