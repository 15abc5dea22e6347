#include "ui/password_dlg.h"

#include "resources/dialog_templates.h"
#include "ui/harvest_app.h"

CPasswordDlg::CPasswordDlg(platform::CDialog* pParent)
    : platform::CDialog(resources::kPasswordDialog, pParent) {}

CPasswordDlg::~CPasswordDlg() = default;

const platform::MessageMap& CPasswordDlg::GetMessageMap() const {
  static const platform::MessageMap map;
  return map;
}

// The fields start empty on every prompt; nothing is bound.
void CPasswordDlg::DoDataExchange(platform::CDataExchange*) {}

void CPasswordDlg::OnOK() {
  CHarvestApp& app = GetHarvestApp();
  app.m_strUserId = GetDlgItemText(resources::IDC_EDIT_USERID);
  app.m_strPassword = GetDlgItemText(resources::IDC_EDIT_PASSWORD);
  platform::CDialog::OnOK();
}
