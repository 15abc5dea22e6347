#include "ui/harvest_dlg.h"

#include "engine/page_address.h"
#include "platform/instance_handover.h"
#include "resources/dialog_templates.h"
#include "resources/icon_128.h"
#include "resources/texts.h"
#include "settings/extract_settings_dlg.h"
#include "settings/profile_keys.h"
#include "ui/harvest_app.h"
#include "ui/password_dlg.h"
#include "ui/profile_settings.h"

using namespace platform;
using namespace resources;

namespace {

// A choice is stored as its radio's id less its group's base.
constexpr int kOutputTypeRadioBase = IDC_RADIO_HTML - kOutputGallery;               // 1000
constexpr int kOutputNamingRadioBase = IDC_RADIO_URLNAME - kNamedAfterBaseAddress;  // 1012

}  // namespace

CHarvestDlg::CHarvestDlg(CDialog* pParent)
    : CDialog(kMainDialog, pParent),
      CHarvestEngine(GetHarvestApp()),
      m_hIcon(LoadIcon(Icon128())) {}

CHarvestDlg::~CHarvestDlg() = default;

void CHarvestDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_EDIT_URL, m_editUrl);
}

const MessageMap& CHarvestDlg::GetMessageMap() const {
  static const MessageMap map = {
      ON_WM_PAINT(&CHarvestDlg::OnPaint),
      ON_WM_QUERYDRAGICON(&CHarvestDlg::OnQueryDragIcon),
      ON_COMMAND(IDC_BUTTON_SAVEFOLDER, &CHarvestDlg::OnSaveFolder),
      ON_COMMAND(IDC_BUTTON_EXTENDED, &CHarvestDlg::OnExtended),
      ON_COMMAND_RANGE(IDC_RADIO_HTML, IDC_RADIO_LIST, &CHarvestDlg::OnOptionRadio),
      ON_COMMAND_RANGE(IDC_RADIO_URLNAME, IDC_RADIO_APPEND, &CHarvestDlg::OnOptionRadio),
      ON_WM_DROPFILES(&CHarvestDlg::OnDropFiles),
      ON_COMMAND(IDOK, &CHarvestDlg::OnOK),
      ON_WM_TIMER(&CHarvestDlg::OnTimer),
  };
  return map;
}

BOOL CHarvestDlg::OnInitDialog() {
  CDialog::OnInitDialog();  // binds m_editUrl
  SetIcon(m_hIcon->id);

  // The twelve profile keys, in their order.
  CHarvestApp& app = GetHarvestApp();
  LoadProfileSettings(app, *this);

  // The output radios as stored.
  CheckRadioButton(IDC_RADIO_HTML, IDC_RADIO_LIST, kOutputTypeRadioBase + m_nOutPutType);
  CheckRadioButton(IDC_RADIO_URLNAME, IDC_RADIO_APPEND, kOutputNamingRadioBase + m_nFileSelect);

  SetDlgItemText(IDC_STATIC_STATUS, texts::kStatusIdle);

  // The gallery is offered only while images are the one category.
  ApplyImageOnlyRule();

  // The address sources: the clipboard watch when it is on, one look at the
  // clipboard whatever the watch, then the file named first on the command
  // line, which thereby wins over the clipboard.
  if (app.m_bClip == 1) SetTimer(kWatchTimerId, kWatchTimerMs);
  CheckClipboard();
  if (!app.CommandLineArgs().empty()) OpenSourceFile(app.CommandLineArgs().front());
  // Later starts hand their files to this window.
  if (m_pHandover) Watch(m_pHandover->Handle(), [this] { OnHandover(); });

  // The focus goes to the first tab stop, the address field.
  return TRUE;
}

void CHarvestDlg::OnPaint() {
  // Not minimised: the dialog paints itself. Minimised: the window manager
  // shows icon 128, which OnInitDialog gave the window.
}

HICON CHarvestDlg::OnQueryDragIcon() { return m_hIcon; }

void CHarvestDlg::ApplyImageOnlyRule() {
  if (ImageOnlySelected(GetHarvestApp())) {
    EnableDlgItem(IDC_RADIO_HTML, true);
    return;
  }
  EnableDlgItem(IDC_RADIO_HTML, false);
  CheckRadioButton(IDC_RADIO_HTML, IDC_RADIO_LIST, IDC_RADIO_LIST);
  m_nOutPutType = kOutputList;
  GetHarvestApp().WriteProfileInt(profile::kSection, profile::kOutPutType, kOutputList);
}

void CHarvestDlg::OnOptionRadio(UINT nID) {
  CHarvestApp& app = GetHarvestApp();
  const int id = static_cast<int>(nID);
  if (id >= IDC_RADIO_URLNAME) {
    m_nFileSelect = id - kOutputNamingRadioBase;
    app.WriteProfileInt(profile::kSection, profile::kFileSelect, m_nFileSelect);
  } else {
    m_nOutPutType = id - kOutputTypeRadioBase;
    app.WriteProfileInt(profile::kSection, profile::kOutPutType, m_nOutPutType);
  }
}

void CHarvestDlg::OnOK() {
  // The field shows the address the run takes.
  const std::string text = m_editUrl.GetWindowText();
  const std::string trimmed = TrimmedAddress(text);
  if (trimmed != text) m_editUrl.SetWindowText(trimmed);
  StartHarvest(trimmed);
}

std::string CHarvestDlg::GetAddressText() const { return m_editUrl.GetWindowText(); }

void CHarvestDlg::SetStatusText(const std::string& text) {
  SetDlgItemText(IDC_STATIC_STATUS, text);
}

int CHarvestDlg::ShowMessage(const std::string& text, const std::string& caption, UINT type) {
  return MessageBox(text, caption, type);
}

// Escape and the close box stop a run instead of closing the window.
bool CHarvestDlg::StopRequested() { return PollStopRequest(); }

int CHarvestDlg::RunCredentialsPrompt() {
  CPasswordDlg dlg;
  return dlg.DoModal();
}
