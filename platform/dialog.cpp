#include "platform/dialog.h"

#include <algorithm>
#include <cstring>

#include "platform/window_backend.h"

namespace platform {

// ---- CEdit ----------------------------------------------------------------

std::string CEdit::GetWindowText() const {
  return m_pDlg ? m_pDlg->GetDlgItemText(m_nID) : std::string();
}

int CEdit::GetWindowTextLength() const { return static_cast<int>(GetWindowText().size()); }

void CEdit::SetWindowText(const std::string& text) {
  if (m_pDlg) m_pDlg->SetDlgItemText(m_nID, text);
}

void CEdit::EnableWindow(bool enable) {
  if (m_pDlg) m_pDlg->EnableDlgItem(m_nID, enable);
}

bool CEdit::IsWindowEnabled() const { return m_pDlg && m_pDlg->IsDlgItemEnabled(m_nID); }

void DDX_Control(CDataExchange* pDX, int nIDC, CEdit& rControl) {
  rControl.m_pDlg = pDX->m_pDlgWnd;
  rControl.m_nID = nIDC;
}

// ---- dropped files --------------------------------------------------------

UINT DragQueryFile(HDROP hDrop, UINT index, char* buffer, UINT size) {
  if (!hDrop) return 0;
  const auto& paths = hDrop->Paths();
  if (index == kDragQueryCount) return static_cast<UINT>(paths.size());
  if (index >= paths.size()) return 0;
  const std::string& name = paths[index];
  // Without a buffer the caller asks how long the name is.
  if (!buffer || size == 0) return static_cast<UINT>(name.size());
  const size_t n = std::min<size_t>(name.size(), size - 1);
  std::memcpy(buffer, name.data(), n);
  buffer[n] = '\0';
  return static_cast<UINT>(n);
}

void DragFinish(HDROP hDrop) {
  if (hDrop) hDrop->Finish();
}

// ---- CDialog --------------------------------------------------------------

CDialog::CDialog(const DialogTemplate& tpl, CDialog* pParent)
    : m_template(tpl), m_pParent(pParent) {}

CDialog::~CDialog() = default;

int CDialog::DoModal() {
  if (!HasWindowBackend()) return -1;
  const int result = WindowBackend().RunModal(*this);
  // The window is gone with the modal run, whatever the backend left behind.
  m_pWindow = nullptr;
  return result;
}

void CDialog::EndDialog(int nResult) {
  if (m_pWindow) m_pWindow->EndModal(nResult);
}

std::string CDialog::GetDlgItemText(int id) const {
  return m_pWindow ? m_pWindow->GetItemText(id) : std::string();
}

void CDialog::SetDlgItemText(int id, const std::string& text) {
  if (m_pWindow) m_pWindow->SetItemText(id, text);
}

UINT CDialog::IsDlgButtonChecked(int id) const {
  return m_pWindow ? m_pWindow->GetCheck(id) : BST_UNCHECKED;
}

void CDialog::CheckDlgButton(int id, UINT check) {
  if (m_pWindow) m_pWindow->SetCheck(id, check);
}

void CDialog::CheckRadioButton(int first, int last, int check) {
  if (!m_pWindow) return;
  for (int id = first; id <= last; ++id)
    if (m_template.Find(id)) m_pWindow->SetCheck(id, id == check ? BST_CHECKED : BST_UNCHECKED);
}

void CDialog::EnableDlgItem(int id, bool enable) {
  if (m_pWindow) m_pWindow->EnableItem(id, enable);
}

bool CDialog::IsDlgItemEnabled(int id) const { return m_pWindow && m_pWindow->IsItemEnabled(id); }

void CDialog::GotoDlgCtrl(int id) {
  if (m_pWindow) m_pWindow->SetFocusItem(id);
}

int CDialog::MessageBox(const std::string& text, const std::string& caption, UINT type) {
  if (!HasWindowBackend()) return IDOK;
  return WindowBackend().MessageBox(this, text, CaptionOrProgramName(caption), type);
}

void CDialog::SetTimer(UINT id, UINT elapseMs) {
  if (m_pWindow) m_pWindow->SetTimer(id, elapseMs);
}

void CDialog::KillTimer(UINT id) {
  if (m_pWindow) m_pWindow->KillTimer(id);
}

void CDialog::SetIcon(int iconId) {
  if (m_pWindow) m_pWindow->SetIcon(iconId);
}

bool CDialog::IsIconic() const { return m_pWindow && m_pWindow->IsIconic(); }

bool CDialog::PollStopRequest() { return m_pWindow && m_pWindow->PollStopRequest(); }

void CDialog::SetForegroundWindow() {
  if (m_pWindow) m_pWindow->BringToFront();
}

void CDialog::Watch(WatchHandle handle, std::function<void()> onReady) {
  if (m_pWindow) m_pWindow->Watch(handle, std::move(onReady));
}

bool CDialog::UpdateData(bool bSaveAndValidate) {
  CDataExchange dx(this, bSaveAndValidate);
  DoDataExchange(&dx);
  return true;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(false);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(true)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::DoDataExchange(CDataExchange*) {}

const MessageMap& CDialog::GetMessageMap() const {
  static const MessageMap empty;
  return empty;
}

namespace {

const MessageMapEntry* FindEntry(const MessageMap& map, MessageKind kind, int id) {
  for (const auto& e : map) {
    if (e.kind != kind) continue;
    if (kind != MessageKind::Command || (id >= e.idFirst && id <= e.idLast)) return &e;
  }
  return nullptr;
}

}  // namespace

void CDialog::DispatchCommand(int id) {
  if (const auto* e = FindEntry(GetMessageMap(), MessageKind::Command, id)) {
    e->handler(*this, static_cast<UINT>(id), nullptr);
    return;
  }
  if (id == IDOK)
    OnOK();
  else if (id == IDCANCEL)
    OnCancel();
}

void CDialog::DispatchTimer(UINT id) {
  if (const auto* e = FindEntry(GetMessageMap(), MessageKind::Timer, 0))
    e->handler(*this, id, nullptr);
}

void CDialog::DispatchDropFiles(HDROP drop) {
  if (const auto* e = FindEntry(GetMessageMap(), MessageKind::DropFiles, 0)) {
    e->handler(*this, 0, drop);
    return;
  }
  DragFinish(drop);
}

void CDialog::DispatchPaint() {
  if (const auto* e = FindEntry(GetMessageMap(), MessageKind::Paint, 0))
    e->handler(*this, 0, nullptr);
}

int CDialog::DispatchQueryDragIcon() {
  const auto* e = FindEntry(GetMessageMap(), MessageKind::QueryDragIcon, 0);
  return e && e->answer ? e->answer(*this) : 0;
}

bool CDialog::HandlesMessage(MessageKind kind) const {
  for (const auto& e : GetMessageMap())
    if (e.kind == kind) return true;
  return false;
}

}  // namespace platform
