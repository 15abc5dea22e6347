// vimbel-cli: harvest runs from the terminal, one per address, as the
// window's start button would run them, with the window's settings.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/harvest_engine.h"
#include "platform/console/console_backend.h"
#include "platform/file_system.h"
#include "platform/internet_session.h"
#include "platform/program_start.h"
#include "platform/scratch_files.h"
#include "platform/terminal_text.h"
#include "platform/text_file.h"
#include "platform/window_backend.h"
#include "resources/dialog_templates.h"
#include "resources/texts.h"
#include "ui/cli_front_end.h"
#include "ui/harvest_app.h"
#include "ui/internet_shortcut.h"
#include "ui/password_dlg.h"

namespace {

using platform::console::ConsoleBackend;
using platform::console::ConsoleStreams;

// The password prompt's own label, "パスワード ：".
std::string PasswordLabel() {
  const platform::DialogTemplate& tpl = resources::kPasswordDialog;
  for (const auto& c : tpl.controls)
    if (c.id == resources::IDC_EDIT_PASSWORD)
      if (const auto* label = platform::console::LabelOf(tpl, c)) return label->caption;
  return "> ";
}

// The harvest engine with the window's services on the terminal.
class CConsoleHarvest : public CHarvestEngine {
 public:
  CConsoleHarvest(CHarvestApp& app, ConsoleBackend& console, const CliOptions& options)
      : CHarvestEngine(app),
        m_app(app),
        m_console(console),
        m_toStdout(options.toStdout),
        m_quiet(options.quiet),
        m_user(options.user) {}

  // One run of the address field's text (and the local page, if one is
  // selected); its exit status.
  int Run(const std::string& address) {
    m_strAddress = address;
    m_userOffered = false;
    OnOK();
    m_console.ClearStatus();
    std::fflush(stdout);
    return ExitStatusFor(m_lastOutcome);
  }

  std::string OutputFilePath() const override {
    return m_toStdout ? "/dev/stdout" : CHarvestEngine::OutputFilePath();
  }

  bool OpenOutput(platform::TextWriter& output, const std::string& path) override {
    if (!m_toStdout) return CHarvestEngine::OpenOutput(output, path);
    // The lines would land in the middle of the status line when both go to
    // the same terminal; and a page's control bytes must not drive it.
    m_console.ClearStatus();
    return output.OpenDescriptor(STDOUT_FILENO, isatty(STDOUT_FILENO) == 1);
  }

  // Reports a failure to open FILE as the window reports it.
  void ShowFileError(const char* text, const std::string& path) {
    ShowError(std::string(text) + "\n" + path);
  }

 protected:
  std::string GetAddressText() const override { return m_strAddress; }

  void SetStatusText(const std::string& text) override {
    if (m_quiet) return;
    // The window goes back to its idle text when a run ends; the terminal
    // takes its line back instead.
    if (text == texts::kStatusIdle)
      m_console.ClearStatus();
    else
      m_console.ShowStatus(text);
  }

  int ShowMessage(const std::string& text, const std::string& caption,
                  platform::UINT type) override {
    if (m_quiet && (type & platform::MB_ICONMASK) == 0) return platform::IDOK;
    return platform::WindowBackend().MessageBox(nullptr, text, caption, type);
  }

  // --user answers the first request of each run; after that (the server
  // refused them) the terminal is asked, as in the window.
  int RunCredentialsPrompt() override {
    if (m_user && !m_userOffered) {
      m_userOffered = true;
      if (!m_user->password) {
        // Asked once and kept for the later runs of this call.
        m_user->password = m_console.AskHidden(PasswordLabel());
        if (!m_user->password) {
          m_user.reset();
          return NoTerminalToAsk();
        }
      }
      m_app.m_strUserId = m_user->userId;
      m_app.m_strPassword = *m_user->password;
      return platform::IDOK;
    }
    if (!m_console.CanAsk()) return NoTerminalToAsk();
    CPasswordDlg dlg;
    return dlg.DoModal();
  }

 private:
  int NoTerminalToAsk() {
    m_console.ClearStatus();
    platform::WriteTerminalText(
        stderr, VIMBEL_CLI_NAME
        ": the page needs an ID and password, and there is no terminal "
        "to ask for them on; give them with --user ID[:PASSWORD] or --netrc\n");
    return platform::IDCANCEL;
  }

  CHarvestApp& m_app;
  ConsoleBackend& m_console;
  bool m_toStdout;
  bool m_quiet;
  std::optional<CliCredentials> m_user;
  bool m_userOffered = false;
  std::string m_strAddress;
};

int Usage(const std::string& why) {
  platform::WriteTerminalText(stderr,
                              VIMBEL_CLI_NAME ": " + why + " (see " VIMBEL_CLI_NAME " --help)\n");
  return kExitUsage;
}

// One line of `stream` into `line`, its line end included; false at the end
// of the input.
bool ReadInputLine(std::FILE* stream, std::string& line) {
  line.clear();
  char chunk[4096];
  while (std::fgets(chunk, sizeof chunk, stream)) {
    line += chunk;
    if (!line.empty() && line.back() == '\n') return true;
  }
  return !line.empty();
}

// The password of --user ID:PASSWORD is blotted out of the process's own
// arguments, which other users can read in the process list.
void HidePassword(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) return;
    char* value = nullptr;
    if (std::strcmp(argv[i], "--user") == 0 && i + 1 < argc)
      value = argv[++i];
    else if (std::strncmp(argv[i], "--user=", 7) == 0)
      value = argv[i] + 7;
    if (!value) continue;
    if (char* colon = std::strchr(value, ':')) std::memset(colon + 1, '*', std::strlen(colon + 1));
  }
}

// The address field as the window shows it after --open FILE [ADDRESS]; the
// exit status when FILE gives none.
std::optional<int> OpenSourceFile(const CliOptions& o, CConsoleHarvest& harvest,
                                  std::string& address) {
  const std::string& file = *o.openFile;
  const std::optional<std::string> base =
      o.addresses.empty() ? std::nullopt : std::optional<std::string>(o.addresses.front());
  if (IsInternetShortcutName(file)) {
    if (base) return Usage("an Internet shortcut gives the address itself");
    const ShortcutAddress shortcut = ReadInternetShortcut(file);
    if (!shortcut.opened || !shortcut.address) {
      harvest.ShowFileError(shortcut.opened ? texts::kNoShortcutAddress : texts::kCannotReadFile,
                            file);
      return kExitStopped;
    }
    address = *shortcut.address;
    return std::nullopt;
  }
  if (!base) return Usage("a local page needs its base ADDRESS, ending in \"/\"");
  const std::optional<std::string> found =
      platform::IsDirectory(file) ? std::nullopt : platform::FindFirstFile(file);
  if (!found) {
    harvest.ShowFileError(texts::kFileNotFound, file);
    return kExitStopped;
  }
  harvest.m_strSourceFile = *found;
  address = *base;
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  platform::FailWritesPastTheSizeLimit();
  platform::UseUtf8Terminal();
  const std::vector<std::string> args = platform::ProgramArguments(argc, argv);
  const CliCommand cmd = ParseCliArguments(args);
  HidePassword(argc, argv);
  switch (cmd.action) {
    case CliCommand::kHelp:
      platform::WriteTerminalText(stdout, CliUsage());
      return kExitCompleted;
    case CliCommand::kVersion:
      platform::WriteTerminalText(stdout,
                                  std::string(VIMBEL_CLI_NAME " ") + texts::kStatusIdle + "\n");
      return kExitCompleted;
    case CliCommand::kUsageError:
      return Usage(cmd.error);
    case CliCommand::kRun:
      break;
  }
  const CliOptions& o = cmd.options;

  CHarvestApp app;
  // With the addresses on standard input, the terminal itself answers.
  ConsoleBackend console(o.addressesFromStdin ? ConsoleStreams::WithControllingTerminal()
                                              : ConsoleStreams::Standard());
  platform::SetWindowBackend(&console);
  CConsoleHarvest harvest(app, console, o);

  LoadProfileSettings(app, harvest);
  if (auto why = ApplyCliOptions(o, app, harvest)) return Usage(*why);

  if (o.netrc) {
    // libcurl passes over a netrc file it cannot read; one named outright
    // must be there.
    platform::TextReader netrc;
    if (!o.netrcFile.empty() && !netrc.Open(o.netrcFile)) {
      std::fprintf(stderr, VIMBEL_CLI_NAME ": cannot read the netrc file %s\n",
                   o.netrcFile.c_str());
      return kExitStopped;
    }
    platform::UseNetrcFile(o.netrcFile);
  }

  // Scratch names of its own, so that the window and other calls may run
  // beside this one; the window keeps the fixed names to itself.
  harvest.m_strScratchTag = platform::UniqueScratchTag();

  // Ctrl-C, a closed terminal or a kill must not leave a page-sized scratch
  // file behind.
  platform::RemoveScratchFilesOnSignals();
  if (o.openFile) {
    std::string address;
    if (std::optional<int> failed = OpenSourceFile(o, harvest, address)) return *failed;
    return harvest.Run(address);
  }

  int worst = kExitCompleted;
  if (!o.addressesFromStdin) {
    for (const std::string& address : o.addresses) worst = std::max(worst, harvest.Run(address));
    return worst;
  }
  std::string line;
  while (ReadInputLine(stdin, line))
    if (std::optional<std::string> address = AddressFromLine(line.c_str()))
      worst = std::max(worst, harvest.Run(*address));
  return worst;
}
