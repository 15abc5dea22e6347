#include "platform/console/console_backend.h"

#include <unistd.h>

#include <cerrno>
#include <map>
#include <set>

#include "platform/echo_off.h"
#include "platform/terminal_text.h"

namespace platform::console {

ConsoleStreams ConsoleStreams::Standard() {
  ConsoleStreams s;
  s.inputFd = STDIN_FILENO;
  s.out = stderr;
  s.inputIsTerminal = isatty(STDIN_FILENO) == 1;
  s.outIsTerminal = isatty(STDERR_FILENO) == 1;
  return s;
}

ConsoleStreams ConsoleStreams::WithControllingTerminal() {
  ConsoleStreams s = Standard();
  // Kept open for the life of the process, as standard input is.
  const int tty = OpenControllingTerminal();
  s.inputFd = tty;
  s.inputIsTerminal = tty >= 0 && isatty(tty) == 1;
  return s;
}

const ControlTemplate* LabelOf(const DialogTemplate& tpl, const ControlTemplate& edit) {
  const ControlTemplate* best = nullptr;
  for (const auto& c : tpl.controls) {
    if (c.kind != ControlKind::Static || !c.caption || !*c.caption) continue;
    const bool sameRow = c.y < edit.y + edit.cy && edit.y < c.y + c.cy;
    const bool leftOf = c.x + c.cx <= edit.x;
    if (sameRow && leftOf && (!best || c.x > best->x)) best = &c;
  }
  return best;
}

namespace {

// A dialog's controls in memory while the terminal plays its user.
class ConsoleWindow final : public IDialogWindow {
 public:
  ConsoleWindow(ConsoleBackend& backend, CDialog& dlg) : m_backend(backend), m_dlg(dlg) {
    for (const auto& c : dlg.Template().controls) {
      if (c.id == IDC_STATIC) continue;
      m_controls[c.id] =
          Control{&c, c.caption ? c.caption : "", BST_UNCHECKED, (c.style & kDisabled) == 0};
    }
    dlg.AttachWindow(this);
  }
  ~ConsoleWindow() override {
    if (m_dlg.Window() == this) m_dlg.AttachWindow(nullptr);
  }

  std::string GetItemText(int id) const override {
    auto it = m_controls.find(id);
    return it == m_controls.end() ? std::string() : it->second.text;
  }
  void SetItemText(int id, const std::string& text) override {
    auto it = m_controls.find(id);
    if (it == m_controls.end()) return;
    it->second.text = text;
    // A static with the sunken edge is a status line: the terminal shows it.
    const ControlTemplate* t = it->second.tpl;
    if (t->kind == ControlKind::Static && (t->style & kStaticEdge)) m_backend.ShowStatus(text);
  }
  UINT GetCheck(int id) const override {
    auto it = m_controls.find(id);
    return it == m_controls.end() ? BST_UNCHECKED : it->second.check;
  }
  void SetCheck(int id, UINT state) override {
    if (auto it = m_controls.find(id); it != m_controls.end()) it->second.check = state;
  }
  bool IsItemEnabled(int id) const override {
    auto it = m_controls.find(id);
    return it != m_controls.end() && it->second.enabled;
  }
  void EnableItem(int id, bool enable) override {
    if (auto it = m_controls.find(id); it != m_controls.end()) it->second.enabled = enable;
  }
  void SetFocusItem(int) override {}
  // No message loop runs here, so timers never tick.
  void SetTimer(UINT id, UINT) override { m_timers.insert(id); }
  void KillTimer(UINT id) override { m_timers.erase(id); }
  bool HasTimer(UINT id) const override { return m_timers.count(id) != 0; }
  void SetIcon(int) override {}
  bool IsIconic() const override { return false; }
  void EndModal(int result) override {
    if (m_ended) return;
    m_ended = true;
    m_result = result;
  }

  bool Ended() const { return m_ended; }
  int Result() const { return m_result; }

 private:
  struct Control {
    const ControlTemplate* tpl;
    std::string text;
    UINT check;
    bool enabled;
  };
  ConsoleBackend& m_backend;
  CDialog& m_dlg;
  std::map<int, Control> m_controls;
  std::set<UINT> m_timers;
  bool m_ended = false;
  int m_result = IDCANCEL;
};

}  // namespace

ConsoleBackend::ConsoleBackend(ConsoleStreams streams) : m_io(streams) {}

ConsoleBackend::~ConsoleBackend() = default;

void ConsoleBackend::ShowStatus(const std::string& text) {
  if (!m_io.outIsTerminal) return;
  // Back to the start of the line, the text, then erase what a longer text
  // before it left behind.
  WriteTerminalText(m_io.out, "\r" + text + "\x1b[K");
  m_statusShown = true;
}

void ConsoleBackend::ClearStatus() {
  if (!m_statusShown) return;
  WriteTerminalText(m_io.out, "\r\x1b[K");
  m_statusShown = false;
}

int ConsoleBackend::MessageBox(CDialog*, const std::string& text, const std::string& caption,
                               UINT) {
  ClearStatus();
  WriteTerminalText(m_io.out, CaptionOrProgramName(caption) + ": " + text + "\n");
  return IDOK;
}

std::optional<std::string> ConsoleBackend::ReadLine(const std::string& label, bool hideInput) {
  // Echo goes off before the label shows: what is typed or pasted the
  // moment it appears is hidden, and kept for the read.
  std::optional<EchoOff> quiet;
  if (hideInput && m_io.inputIsTerminal) quiet.emplace(m_io.inputFd);
  WriteTerminalText(m_io.out, label);
  std::string line;
  switch (ReadConsoleLine(m_io.inputFd, line)) {
    case ConsoleRead::kEnd:
      if (hideInput) WriteTerminalText(m_io.out, "\n");
      return std::nullopt;
    case ConsoleRead::kLine:
      // The console echoed the line end; for a hidden line EchoOff ends it.
      return line;
    case ConsoleRead::kNotConsole:
      break;
  }
  // Byte by byte, so nothing after the line end is taken from the input.
  for (;;) {
    char c;
    const ssize_t n = read(m_io.inputFd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (hideInput) WriteTerminalText(m_io.out, "\n");
      return std::nullopt;
    }
    if (c == '\n') break;
    line.push_back(c);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  // Without a terminal that echoes the line end for us, end the prompt's line.
  if (hideInput && !(quiet && quiet->Active())) WriteTerminalText(m_io.out, "\n");
  return line;
}

std::optional<std::string> ConsoleBackend::AskHidden(const std::string& prompt) {
  if (!m_io.inputIsTerminal) return std::nullopt;
  ClearStatus();
  return ReadLine(prompt, true);
}

int ConsoleBackend::RunModal(CDialog& dlg) {
  ClearStatus();
  ConsoleWindow window(*this, dlg);
  dlg.HandleInitDialog();
  if (window.Ended()) return window.Result();

  const DialogTemplate& tpl = dlg.Template();
  if (!m_io.inputIsTerminal) {
    dlg.DispatchCommand(IDCANCEL);
    window.EndModal(IDCANCEL);  // in case the dialog's handler kept it open
    return window.Result();
  }

  // The texts that label no field say what the dialog asks for.
  std::set<const ControlTemplate*> labels;
  for (const auto& c : tpl.controls)
    if (c.kind == ControlKind::Edit)
      if (const ControlTemplate* label = LabelOf(tpl, c)) labels.insert(label);
  std::string intro;
  for (const auto& c : tpl.controls)
    if (c.kind == ControlKind::Static && c.caption && *c.caption && !labels.count(&c)) {
      if (!intro.empty()) intro += ' ';
      intro += c.caption;
    }
  if (!intro.empty()) WriteTerminalText(m_io.out, std::string(tpl.caption) + ": " + intro + "\n");

  for (const auto& c : tpl.controls) {
    if (c.kind != ControlKind::Edit || !window.IsItemEnabled(c.id)) continue;
    const ControlTemplate* label = LabelOf(tpl, c);
    std::optional<std::string> answer =
        ReadLine(label ? label->caption : "> ", (c.style & kPassword) != 0);
    if (!answer) {
      dlg.DispatchCommand(IDCANCEL);
      window.EndModal(IDCANCEL);
      return window.Result();
    }
    window.SetItemText(c.id, *answer);
    answer->assign(answer->size(), '\0');  // a typed password lives in the dialog only
  }

  int defaultId = IDOK;
  for (const auto& c : tpl.controls)
    if (c.kind == ControlKind::DefPushButton) defaultId = c.id;
  dlg.DispatchCommand(defaultId);
  // A dialog that refuses its default button would wait for more input than
  // a terminal prompt can give: count it as cancelled.
  if (!window.Ended()) {
    dlg.DispatchCommand(IDCANCEL);
    window.EndModal(IDCANCEL);
  }
  return window.Result();
}

}  // namespace platform::console
