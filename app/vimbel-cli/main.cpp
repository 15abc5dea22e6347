// vimbel-cli: one harvest run from the terminal, as the window's start
// button would run it, with the window's settings.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/harvest_engine.h"
#include "platform/console/console_backend.h"
#include "platform/file_system.h"
#include "platform/instance_lock.h"
#include "platform/scratch_files.h"
#include "platform/window_backend.h"
#include "resources/texts.h"
#include "ui/cli_front_end.h"
#include "ui/harvest_app.h"
#include "ui/internet_shortcut.h"
#include "ui/password_dlg.h"

namespace {

// The harvest engine with the window's services on the terminal.
class CConsoleHarvest : public CHarvestEngine {
 public:
  CConsoleHarvest(const CHarvestSettings& settings, platform::console::ConsoleBackend& console,
                  bool toStdout)
      : CHarvestEngine(settings), m_console(console), m_toStdout(toStdout) {}

  // The address field's text.
  std::string m_strAddress;

  std::string OutputFilePath() const override {
    if (!m_toStdout) return CHarvestEngine::OutputFilePath();
    // The lines would land in the middle of the status line when both go to
    // the same terminal.
    m_console.ClearStatus();
    return "/dev/stdout";
  }

  // Reports a failure to open FILE as the window reports it.
  void ShowFileError(const char* text, const std::string& path) {
    ShowError(std::string(text) + "\n" + path);
  }

 protected:
  std::string GetAddressText() const override { return m_strAddress; }
  void SetStatusText(const std::string& text) override { m_console.ShowStatus(text); }
  int ShowMessage(const std::string& text, const std::string& caption,
                  platform::UINT type) override {
    return platform::WindowBackend().MessageBox(nullptr, text, caption, type);
  }
  int RunCredentialsPrompt() override {
    CPasswordDlg dlg;
    return dlg.DoModal();
  }

 private:
  platform::console::ConsoleBackend& m_console;
  bool m_toStdout;
};

int Usage(const std::string& why) {
  std::fprintf(stderr, VIMBEL_CLI_NAME ": %s (see " VIMBEL_CLI_NAME " --help)\n", why.c_str());
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const CliCommand cmd = ParseCliArguments(args);
  switch (cmd.action) {
    case CliCommand::kHelp:
      std::fputs(CliUsage(), stdout);
      return kExitCompleted;
    case CliCommand::kVersion:
      std::printf(VIMBEL_CLI_NAME " %s\n", texts::kStatusIdle);
      return kExitCompleted;
    case CliCommand::kUsageError:
      return Usage(cmd.error);
    case CliCommand::kRun:
      break;
  }
  const CliOptions& o = cmd.options;

  CHarvestApp app;
  platform::console::ConsoleBackend console;
  platform::SetWindowBackend(&console);
  CConsoleHarvest harvest(app, console, o.toStdout);

  LoadProfileSettings(app, harvest);
  if (auto why = ApplyCliOptions(o, app, harvest)) return Usage(*why);

  // The scratch files have fixed names in the private temporary folder, so
  // only one process of the program may run a harvest at a time.
  bool running = false;
  app.m_hMutex = platform::CreateInstanceLock(app.m_pszAppName, &running);
  const std::unique_ptr<platform::InstanceLock, void (*)(platform::InstanceLock*)> lockGuard(
      app.m_hMutex, platform::CloseInstanceLock);
  if (running) {
    std::fprintf(stderr, VIMBEL_CLI_NAME ": " VIMBEL_PROGRAM_NAME
                 " is running; try again when it has ended\n");
    return kExitStopped;
  }

  // The address field as the window would show it.
  if (o.openFile) {
    const std::string& file = *o.openFile;
    if (IsInternetShortcutName(file)) {
      if (o.address) return Usage("an Internet shortcut gives the address itself");
      const ShortcutAddress shortcut = ReadInternetShortcut(file);
      if (!shortcut.opened || !shortcut.address) {
        harvest.ShowFileError(shortcut.opened ? texts::kNoShortcutAddress : texts::kCannotReadFile,
                              file);
        return kExitStopped;
      }
      harvest.m_strAddress = *shortcut.address;
    } else {
      if (!o.address) return Usage("a local page needs its base ADDRESS, ending in \"/\"");
      const std::optional<std::string> found =
          platform::IsDirectory(file) ? std::nullopt : platform::FindFirstFile(file);
      if (!found) {
        harvest.ShowFileError(texts::kFileNotFound, file);
        return kExitStopped;
      }
      harvest.m_strSourceFile = *found;
      harvest.m_strAddress = *o.address;
    }
  } else {
    harvest.m_strAddress = *o.address;
  }

  // Ctrl-C, a closed terminal or a kill must not leave a page-sized scratch
  // file behind.
  platform::RemoveScratchFilesOnSignals();
  harvest.OnOK();
  console.ClearStatus();
  std::fflush(stdout);
  return ExitStatusFor(harvest.m_lastOutcome);
}
