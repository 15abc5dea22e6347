#pragma once
// The terminal front end's side of the program: its command line, the
// settings a run takes from the profile and the command line, and its exit
// status. The console itself is the entry point's business.
#include <optional>
#include <string>
#include <vector>

#include "engine/harvest_engine.h"
#include "platform/program_version.h"
#include "ui/harvest_app.h"
#include "ui/profile_settings.h"

// The terminal program's name, as its usage and its messages spell it.
#define VIMBEL_CLI_NAME VIMBEL_PROGRAM_NAME "-cli"

// The most addresses -P harvests at once.
inline constexpr int kMaxParallel = 16;

// Exit statuses; of several runs, the worst (the highest) is the program's.
inline constexpr int kExitCompleted = 0;
inline constexpr int kExitIncomplete = 1;
inline constexpr int kExitStopped = 2;
inline constexpr int kExitUsage = 64;

// --user ID[:PASSWORD], split at its first ":".
struct CliCredentials {
  std::string userId;
  std::optional<std::string> password;  // nullopt: to be asked on the terminal
};

// What the command line asks to change for this run only.
struct CliOptions {
  std::optional<int> outPutType;          // an OutputType: --html, --list
  std::optional<int> fileSelect;          // an OutputNaming: --url-name, --append
  std::optional<std::string> saveFolder;  // ends in "/"
  // The six category flags in the order image, exe, archive, wave, movie,
  // extra; all set together by --types.
  std::optional<std::vector<int>> types;
  bool allLinks = false;  // --types all: every link, whatever its kind
  // --as-browser (1) or --classic (0); --embedded (1) or --no-embedded (0).
  std::optional<int> browser;
  std::optional<int> embedded;
  std::optional<std::string> extent;  // with its leading dot
  std::optional<int> times;
  bool toStdout = false;
  bool quiet = false;
  std::optional<CliCredentials> user;
  bool netrc = false;     // --netrc or --netrc-file
  std::string netrcFile;  // empty: ~/.netrc
  std::optional<std::string> openFile;
  int parallel = 1;      // -P: addresses harvested at once
  bool newOnly = false;  // --new-only
  // The addresses, harvested in turn; with --open, at most one: the local
  // page's base address.
  std::vector<std::string> addresses;
  bool addressesFromStdin = false;  // "-": one address a line
};

struct CliCommand {
  enum Action { kRun, kHelp, kVersion, kUsageError };
  Action action = kRun;
  CliOptions options;
  std::string error;  // one line, for kUsageError
};

// `args` without the program's own name.
CliCommand ParseCliArguments(const std::vector<std::string>& args);

// The --help text.
const char* CliUsage();

// Every option the command line knows, long and short names alike, for
// checks that each is documented.
std::vector<std::string> CliOptionNames();

// One line of the address list read from standard input: without its line
// end; nullopt for a line that names no address (an empty one).
std::optional<std::string> AddressFromLine(std::string line);

// Applies the overrides in memory (nothing is written to the profile), then
// the image-only rule. Returns a usage error when the command line asked for
// the gallery output that the rule bars.
std::optional<std::string> ApplyCliOptions(const CliOptions& options, CHarvestApp& app,
                                           CHarvestEngine& engine);

// How a run's ending becomes the exit status.
int ExitStatusFor(HarvestOutcome outcome);
