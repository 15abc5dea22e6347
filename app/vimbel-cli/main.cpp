// vimbel-cli: harvest runs from the terminal, one per address, as the
// window's start button would run them, with the window's settings.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "app/vimbel-cli/console_harvest.h"
#include "app/vimbel-cli/run_board.h"
#include "platform/console/console_backend.h"
#include "platform/file_system.h"
#include "platform/internet_session.h"
#include "platform/program_start.h"
#include "platform/scratch_files.h"
#include "platform/terminal_text.h"
#include "platform/text_file.h"
#include "platform/window_backend.h"
#include "resources/texts.h"
#include "ui/cli_front_end.h"
#include "ui/harvest_app.h"
#include "ui/internet_shortcut.h"

namespace {

using platform::console::ConsoleBackend;
using platform::console::ConsoleStreams;

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

// Hands `harvest` each address of the command line or of standard input,
// in turn, until it says it has had enough.
void ForEachAddress(const CliOptions& o, const std::function<void(const std::string&)>& harvest) {
  if (!o.addressesFromStdin) {
    for (const std::string& address : o.addresses) harvest(address);
    return;
  }
  std::string line;
  while (ReadInputLine(stdin, line))
    if (std::optional<std::string> address = AddressFromLine(line.c_str())) harvest(*address);
}

// -P: the addresses harvested up to o.parallel at once, each run on a thread
// with an engine, settings and scratch files of its own, the output and the
// messages in the addresses' order. The worst exit status.
int HarvestAtOnce(const CliOptions& o, const CHarvestSettings& settings,
                  const CConsoleHarvest& model, CliCall& call) {
  RunBoard board(call.console, o.quiet, o.parallel,
                 o.addressesFromStdin ? std::nullopt : std::optional<size_t>(o.addresses.size()));
  call.board = &board;
  std::map<size_t, std::thread> threads;
  ForEachAddress(o, [&](const std::string& address) {
    const size_t run = board.Begin();
    auto harvest = [&settings, &model, &call, &board, run, address] {
      CHarvestSettings own = settings;
      CConsoleHarvest engine(own, call, run);
      engine.TakeOutputChoicesOf(model);
      engine.m_strScratchTag = platform::UniqueScratchTag();
      board.End(run, engine.Run(address));
    };
    // The runs that have ended are done with their threads.
    for (auto it = threads.begin(); it != threads.end() && it->first < board.EndedCount();)
      it = (it->second.join(), threads.erase(it));
    try {
      threads.emplace(run, std::thread(harvest));
    } catch (const std::system_error&) {
      harvest();  // no thread to be had: this one at least runs
    }
  });
  board.InputEnded();
  const int worst = board.WaitForAll();
  for (auto& [run, thread] : threads) thread.join();
  return worst;
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
  CliCall call{console, o, o.user};
  CConsoleHarvest harvest(app, call);

  LoadProfileSettings(app, harvest);
  if (auto why = ApplyCliOptions(o, app, harvest)) return Usage(*why);

  if (o.netrc) {
    // The default netrc file may be missing, and then gives nothing; one
    // named outright must be there, or the user would not hear of a typo.
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

  if (o.parallel > 1) {
    // The settings as the profile and the command line made them, read by
    // every run; the application object takes a prompt's answers.
    const CHarvestSettings settings = app;
    return HarvestAtOnce(o, settings, harvest, call);
  }
  int worst = kExitCompleted;
  ForEachAddress(
      o, [&](const std::string& address) { worst = std::max(worst, harvest.Run(address)); });
  return worst;
}
