#pragma once
// The terminal backend of the command-line front end. Message boxes are
// printed to standard error as "caption: text"; the status line is shown on
// standard error in place, only when it is a terminal; a modal dialog asks
// for each of its edit fields on the terminal (without echo for password
// fields) and then presses its default button. Without a terminal on
// standard input a modal dialog counts as cancelled.
#include <cstdio>
#include <optional>
#include <string>

#include "platform/dialog.h"
#include "platform/window_backend.h"

namespace platform::console {

struct ConsoleStreams {
  int inputFd = 0;          // answers to prompts
  std::FILE* out = stderr;  // prompts, messages and the status line
  bool inputIsTerminal = false;
  bool outIsTerminal = false;

  // Standard input and standard error, with what isatty says of them.
  static ConsoleStreams Standard();
  // The same, but answers come from the controlling terminal (/dev/tty),
  // for when standard input carries something else; no terminal when there
  // is none.
  static ConsoleStreams WithControllingTerminal();
};

class ConsoleBackend final : public IWindowBackend {
 public:
  explicit ConsoleBackend(ConsoleStreams streams = ConsoleStreams::Standard());
  ~ConsoleBackend() override;

  // Shows `text` as the status line, replacing the one shown before. Nothing
  // is shown when the output is not a terminal.
  void ShowStatus(const std::string& text);
  // Removes the status line from the terminal (before the program ends).
  void ClearStatus();

  // Whether there is a terminal to ask the user on.
  bool CanAsk() const { return m_io.inputIsTerminal; }
  // Asks on the terminal with `prompt`, without echo; nullopt when there is
  // no terminal or it ends before a line.
  std::optional<std::string> AskHidden(const std::string& prompt);

  int RunModal(CDialog& dlg) override;
  int MessageBox(CDialog* owner, const std::string& text, const std::string& caption,
                 UINT type) override;
  std::optional<std::string> ClipboardText() override { return std::nullopt; }
  std::optional<std::string> BrowseForFolder(const FolderBrowseRequest&) override {
    return std::nullopt;
  }

 private:
  // Shows `label`, then reads one answer typed on the terminal, without its
  // line end; nullopt at the end of the input or on a read error.
  std::optional<std::string> ReadLine(const std::string& label, bool hideInput);

  ConsoleStreams m_io;
  bool m_statusShown = false;
};

// The static label that stands on the same row as `edit`, left of it (the
// nearest one), or nullptr.
const ControlTemplate* LabelOf(const DialogTemplate& tpl, const ControlTemplate& edit);

}  // namespace platform::console
