#pragma once
// The credentials prompt that a page answering 401 opens: an ID and a
// password, stored in the application object on OK and nowhere else.
#include "platform/dialog.h"

class CPasswordDlg : public platform::CDialog {
 public:
  explicit CPasswordDlg(platform::CDialog* pParent = nullptr);
  ~CPasswordDlg() override;

 protected:
  const platform::MessageMap& GetMessageMap() const override;
  void DoDataExchange(platform::CDataExchange* pDX) override;
  void OnOK() override;
};
