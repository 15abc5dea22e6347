#include "platform/headless/headless_backend.h"

#include <algorithm>
#include <utility>

namespace platform::headless {

namespace {

std::string Describe(int templateId, int id) {
  return "dialog " + std::to_string(templateId) + ", control " + std::to_string(id);
}

bool IsRadio(const ControlTemplate* t) { return t->kind == ControlKind::AutoRadioButton; }

}  // namespace

// ---- HeadlessWindow ---------------------------------------------------------

HeadlessWindow::HeadlessWindow(HeadlessBackend& backend, CDialog& dlg)
    : m_backend(backend), m_dlg(dlg) {
  for (const auto& c : dlg.Template().controls)
    m_controls.push_back(
        Control{&c, c.caption ? c.caption : "", BST_UNCHECKED, (c.style & kDisabled) == 0, {}});
  // The system gives the first tab stop the focus unless the dialog moves it.
  for (const auto& c : m_controls)
    if ((c.tpl->style & kTabStop) && c.enabled) {
      m_focus = c.tpl->id;
      break;
    }
  m_backend.WindowOpened(this);
  m_dlg.AttachWindow(this);
}

HeadlessWindow::~HeadlessWindow() {
  if (m_dlg.Window() == this) m_dlg.AttachWindow(nullptr);
  m_backend.WindowClosed(this);
}

HeadlessWindow::Control* HeadlessWindow::Find(int id) {
  if (id == IDC_STATIC) return nullptr;
  for (auto& c : m_controls)
    if (c.tpl->id == id) return &c;
  return nullptr;
}

const HeadlessWindow::Control* HeadlessWindow::Find(int id) const {
  return const_cast<HeadlessWindow*>(this)->Find(id);
}

std::string HeadlessWindow::GetItemText(int id) const {
  const Control* c = Find(id);
  return c ? c->text : std::string();
}

void HeadlessWindow::SetItemText(int id, const std::string& text) {
  if (Control* c = Find(id)) {
    c->text = text;
    c->history.push_back(text);
  }
}

UINT HeadlessWindow::GetCheck(int id) const {
  const Control* c = Find(id);
  return c ? c->check : BST_UNCHECKED;
}

void HeadlessWindow::SetCheck(int id, UINT state) {
  if (Control* c = Find(id)) c->check = state;
}

bool HeadlessWindow::IsItemEnabled(int id) const {
  const Control* c = Find(id);
  return c && c->enabled;
}

void HeadlessWindow::EnableItem(int id, bool enable) {
  if (Control* c = Find(id)) c->enabled = enable;
}

void HeadlessWindow::SetFocusItem(int id) {
  if (Find(id)) m_focus = id;
}

void HeadlessWindow::SetTimer(UINT id, UINT elapseMs) { m_timers[id] = elapseMs; }

void HeadlessWindow::KillTimer(UINT id) { m_timers.erase(id); }

bool HeadlessWindow::HasTimer(UINT id) const { return m_timers.count(id) != 0; }

std::optional<UINT> HeadlessWindow::TimerPeriod(UINT id) const {
  auto it = m_timers.find(id);
  if (it == m_timers.end()) return std::nullopt;
  return it->second;
}

void HeadlessWindow::SetIcon(int iconId) { m_icon = iconId; }

void HeadlessWindow::EndModal(int result) {
  if (m_ended) return;  // the first end wins, as it does for a real window
  m_ended = true;
  m_result = result;
}

const std::vector<std::string>& HeadlessWindow::TextHistory(int id) const {
  static const std::vector<std::string> none;
  const Control* c = Find(id);
  return c ? c->history : none;
}

bool HeadlessWindow::Usable(int id, const char* action) {
  if (m_ended) {
    m_backend.AddProblem(std::string(action) + " on " + Describe(TemplateId(), id) +
                         " after the dialog had ended");
    return false;
  }
  const Control* c = Find(id);
  if (!c) {
    m_backend.AddProblem(std::string(action) + ": no " + Describe(TemplateId(), id));
    return false;
  }
  if (!c->enabled) {
    m_backend.AddProblem(std::string(action) + " on disabled " + Describe(TemplateId(), id));
    return false;
  }
  return true;
}

bool HeadlessWindow::Type(int id, const std::string& text) {
  if (!Usable(id, "typing")) return false;
  Control* c = Find(id);
  if (c->tpl->kind != ControlKind::Edit) {
    m_backend.AddProblem("typing into " + Describe(TemplateId(), id) + ", which is not an edit");
    return false;
  }
  // Typing is the user's, not the program's: it leaves no SetItemText history.
  c->text = text;
  m_focus = id;
  return true;
}

void HeadlessWindow::UncheckGroupOf(size_t index) {
  // A group runs from the control that starts it up to the next one that
  // starts a group; only its radio buttons take part.
  size_t first = index;
  while (first > 0 && !(m_controls[first].tpl->style & kGroup)) --first;
  size_t last = index + 1;
  while (last < m_controls.size() && !(m_controls[last].tpl->style & kGroup)) ++last;
  for (size_t i = first; i < last; ++i)
    if (i != index && IsRadio(m_controls[i].tpl)) m_controls[i].check = BST_UNCHECKED;
}

bool HeadlessWindow::Click(int id) {
  if (!Usable(id, "click")) return false;
  Control* c = Find(id);
  switch (c->tpl->kind) {
    case ControlKind::AutoRadioButton:
      c->check = BST_CHECKED;
      UncheckGroupOf(static_cast<size_t>(c - m_controls.data()));
      break;
    case ControlKind::AutoCheckBox:
      c->check = c->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
      break;
    case ControlKind::PushButton:
    case ControlKind::DefPushButton:
      break;
    default:
      // Edits, statics and group boxes send no command when clicked.
      m_focus = id;
      return true;
  }
  m_focus = id;
  m_dlg.DispatchCommand(id);
  return true;
}

bool HeadlessWindow::PressEnter() {
  if (m_ended) {
    m_backend.AddProblem("Enter in dialog " + std::to_string(TemplateId()) + " after it had ended");
    return false;
  }
  int id = IDOK;
  for (const auto& c : m_controls)
    if (c.tpl->kind == ControlKind::DefPushButton) {
      id = c.tpl->id;
      if (!c.enabled) return false;
      break;
    }
  m_dlg.DispatchCommand(id);
  return true;
}

bool HeadlessWindow::PressEscape() {
  if (m_ended) {
    m_backend.AddProblem("Escape in dialog " + std::to_string(TemplateId()) +
                         " after it had ended");
    return false;
  }
  m_dlg.DispatchCommand(IDCANCEL);
  return true;
}

bool HeadlessWindow::PressCloseBox() {
  if (!(m_dlg.Template().style & kSysMenu)) {
    m_backend.AddProblem("dialog " + std::to_string(TemplateId()) + " has no close box");
    return false;
  }
  return PressEscape();
}

bool HeadlessWindow::DropFiles(std::vector<std::string> paths) {
  if (!(m_dlg.Template().style & kAcceptFiles)) {
    m_backend.AddProblem("dialog " + std::to_string(TemplateId()) + " accepts no dropped files");
    return false;
  }
  CDropFiles drop(std::move(paths));
  m_dlg.DispatchDropFiles(&drop);
  if (!drop.Finished()) {
    m_backend.AddProblem("dialog " + std::to_string(TemplateId()) + " did not release a drop");
    return false;
  }
  return true;
}

bool HeadlessWindow::FireTimer(UINT id) {
  if (!HasTimer(id)) {
    m_backend.AddProblem("timer " + std::to_string(id) + " of dialog " +
                         std::to_string(TemplateId()) + " is not running");
    return false;
  }
  m_dlg.DispatchTimer(id);
  return true;
}

// ---- HeadlessBackend --------------------------------------------------------

HeadlessBackend::HeadlessBackend() = default;
HeadlessBackend::~HeadlessBackend() = default;

void HeadlessBackend::AnswerMessageBox(int answer) { m_boxAnswers.push_back(answer); }

void HeadlessBackend::ExpectModal(int templateId, User user) {
  m_users[templateId].push_back(std::move(user));
}

void HeadlessBackend::AnswerFolderBrowser(std::optional<std::string> folder) {
  m_folderAnswers.push_back(std::move(folder));
}

void HeadlessBackend::AddProblem(std::string what) {
  if (m_onProblem) m_onProblem(what);
  m_problems.push_back(std::move(what));
}

std::vector<std::string> HeadlessBackend::Finish() {
  if (!m_boxAnswers.empty())
    AddProblem(std::to_string(m_boxAnswers.size()) + " message box answer(s) left over");
  for (const auto& [id, users] : m_users)
    if (!users.empty())
      AddProblem(std::to_string(users.size()) + " modal run(s) of dialog " + std::to_string(id) +
                 " expected but not made");
  if (!m_folderAnswers.empty())
    AddProblem(std::to_string(m_folderAnswers.size()) + " folder browser answer(s) left over");
  m_boxAnswers.clear();
  m_users.clear();
  m_folderAnswers.clear();
  return std::exchange(m_problems, {});
}

void HeadlessBackend::WindowClosed(HeadlessWindow* w) {
  m_open.erase(std::remove(m_open.begin(), m_open.end(), w), m_open.end());
}

std::unique_ptr<HeadlessWindow> HeadlessBackend::Open(CDialog& dlg) {
  auto window = std::make_unique<HeadlessWindow>(*this, dlg);
  dlg.HandleInitDialog();
  return window;
}

int HeadlessBackend::RunModal(CDialog& dlg) {
  const int templateId = dlg.Template().id;
  m_modalRuns.push_back(templateId);
  HeadlessWindow window(*this, dlg);
  dlg.HandleInitDialog();
  if (!window.Ended()) {
    auto& queue = m_users[templateId];
    if (queue.empty()) {
      AddProblem("dialog " + std::to_string(templateId) + " ran modally with no user expected");
      window.EndModal(IDCANCEL);
    } else {
      User user = std::move(queue.front());
      queue.pop_front();
      user(window);
      if (!window.Ended()) {
        AddProblem("the user left dialog " + std::to_string(templateId) + " open");
        window.EndModal(IDCANCEL);
      }
    }
  }
  return window.Result();
}

int HeadlessBackend::MessageBox(CDialog* owner, const std::string& text, const std::string& caption,
                                UINT type) {
  RecordedMessageBox box{owner ? owner->Template().id : 0, text, CaptionOrProgramName(caption),
                         type};
  m_boxes.push_back(box);
  if (m_boxAnswers.empty()) {
    AddProblem("unexpected message box \"" + box.caption + ": " + box.text + "\"");
    return IDOK;
  }
  const int answer = m_boxAnswers.front();
  m_boxAnswers.pop_front();
  return answer;
}

std::optional<std::string> HeadlessBackend::ClipboardText() {
  ++m_clipboardReads;
  return m_clipboard;
}

namespace {

class RecordingBrowser final : public IFolderBrowser {
 public:
  explicit RecordingBrowser(RecordedFolderBrowse& record) : m_record(record) {}
  void SelectFolder(const std::string* path) override {
    m_record.selections.push_back(path ? std::optional<std::string>(*path) : std::nullopt);
  }

 private:
  RecordedFolderBrowse& m_record;
};

}  // namespace

std::optional<std::string> HeadlessBackend::BrowseForFolder(const FolderBrowseRequest& request) {
  RecordedFolderBrowse record{
      request.owner ? request.owner->Template().id : 0, request.title, request.fileSystemOnly, {}};
  if (request.onInitialized) {
    RecordingBrowser browser(record);
    request.onInitialized(browser);
  }
  m_browses.push_back(std::move(record));
  if (m_folderAnswers.empty()) {
    AddProblem("unexpected folder browser \"" + request.title + "\"");
    return std::nullopt;
  }
  auto answer = std::move(m_folderAnswers.front());
  m_folderAnswers.pop_front();
  return answer;
}

}  // namespace platform::headless
