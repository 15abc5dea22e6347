#include "ui/cli_front_end.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/file_system.h"
#include "settings/extract_settings_dlg.h"
#include "settings/profile_keys.h"

namespace {

constexpr const char* kCategoryNames[] = {"image", "exe", "archive", "wave", "movie", "extra"};
constexpr int kCategoryCount = 6;

std::optional<std::vector<int>> ParseTypes(const std::string& list, std::string& error) {
  std::vector<int> flags(kCategoryCount, 0);
  if (list == "all") return flags;
  size_t start = 0;
  for (;;) {
    const size_t comma = list.find(',', start);
    const std::string name = list.substr(start, comma == std::string::npos ? comma : comma - start);
    int found = -1;
    for (int i = 0; i < kCategoryCount; ++i)
      if (name == kCategoryNames[i]) found = i;
    if (found < 0) {
      error = "unknown type '" + name +
              "' in --types (image, exe, archive, wave, movie, extra; or all alone)";
      return std::nullopt;
    }
    flags[found] = 1;
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return flags;
}

std::optional<int> ParseCount(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  errno = 0;
  const long value = std::strtol(text.c_str(), nullptr, 10);
  if (errno == ERANGE || value > INT_MAX) return std::nullopt;
  return static_cast<int>(value);
}

// What an option does with its value; an error for the usage line, or
// nothing.
using OptionError = std::optional<std::string>;

// A choice that two options make: giving both is an error.
OptionError Choose(std::optional<int>& choice, int value, const char* conflict) {
  if (choice && *choice != value) return conflict;
  choice = value;
  return std::nullopt;
}

struct Option {
  const char* name;
  const char* shortName;   // "-q", or null
  const char* needsValue;  // the error when its value is missing; null for a flag
  OptionError (*apply)(CliCommand& cmd, const std::string& value);
};

const Option kOptions[] = {
    {"--help", nullptr, nullptr,
     [](CliCommand& cmd, const std::string&) -> OptionError {
       cmd.action = CliCommand::kHelp;
       return std::nullopt;
     }},
    {"--version", nullptr, nullptr,
     [](CliCommand& cmd, const std::string&) -> OptionError {
       cmd.action = CliCommand::kVersion;
       return std::nullopt;
     }},
    {"--html", nullptr, nullptr,
     [](CliCommand& cmd, const std::string&) {
       return Choose(cmd.options.outPutType, kOutputGallery,
                     "--html and --list exclude each other");
     }},
    {"--list", nullptr, nullptr,
     [](CliCommand& cmd, const std::string&) {
       return Choose(cmd.options.outPutType, kOutputList, "--html and --list exclude each other");
     }},
    {"--url-name", nullptr, nullptr,
     [](CliCommand& cmd, const std::string&) {
       return Choose(cmd.options.fileSelect, kNamedAfterBaseAddress,
                     "--url-name and --append exclude each other");
     }},
    {"--append", nullptr, nullptr,
     [](CliCommand& cmd, const std::string&) {
       return Choose(cmd.options.fileSelect, kFixedOutputFile,
                     "--url-name and --append exclude each other");
     }},
    {"--stdout", nullptr, nullptr,
     [](CliCommand& cmd, const std::string&) -> OptionError {
       cmd.options.toStdout = true;
       return std::nullopt;
     }},
    {"--save-folder", nullptr, "--save-folder needs a folder",
     [](CliCommand& cmd, const std::string& dir) -> OptionError {
       if (dir.empty()) return "--save-folder needs a folder";
       cmd.options.saveFolder =
           platform::IsPathSeparator(dir.back()) ? dir : dir + platform::PathSeparator();
       return std::nullopt;
     }},
    {"--types", nullptr, "--types needs a list",
     [](CliCommand& cmd, const std::string& list) -> OptionError {
       std::string why;
       cmd.options.types = ParseTypes(list, why);
       if (!cmd.options.types) return why;
       cmd.options.allLinks = list == "all";
       return std::nullopt;
     }},
    {"--as-browser", nullptr, nullptr,
     [](CliCommand& cmd, const std::string&) {
       return Choose(cmd.options.browser, 1, "--as-browser and --classic exclude each other");
     }},
    {"--classic", nullptr, nullptr,
     [](CliCommand& cmd, const std::string&) -> OptionError {
       if (cmd.options.embedded == 1)
         return "--embedded reads as a browser does: not with --classic";
       return Choose(cmd.options.browser, 0, "--as-browser and --classic exclude each other");
     }},
    {"--embedded", nullptr, nullptr,
     [](CliCommand& cmd, const std::string&) -> OptionError {
       if (cmd.options.browser == 0)
         return "--embedded reads as a browser does: not with --classic";
       if (OptionError why =
               Choose(cmd.options.embedded, 1, "--embedded and --no-embedded exclude each other"))
         return why;
       cmd.options.browser = 1;
       return std::nullopt;
     }},
    {"--no-embedded", nullptr, nullptr,
     [](CliCommand& cmd, const std::string&) {
       return Choose(cmd.options.embedded, 0, "--embedded and --no-embedded exclude each other");
     }},
    {"--ext", nullptr, "--ext needs an extension",
     [](CliCommand& cmd, const std::string& ext) -> OptionError {
       cmd.options.extent = "." + ext;
       return std::nullopt;
     }},
    {"--times", nullptr, "--times needs a number",
     [](CliCommand& cmd, const std::string& n) -> OptionError {
       cmd.options.times = ParseCount(n);
       if (!cmd.options.times) return "--times needs a whole number of 0 or more, not '" + n + "'";
       return std::nullopt;
     }},
    {"--quiet", "-q", nullptr,
     [](CliCommand& cmd, const std::string&) -> OptionError {
       cmd.options.quiet = true;
       return std::nullopt;
     }},
    {"--user", nullptr, "--user needs an ID",
     [](CliCommand& cmd, const std::string& value) -> OptionError {
       const size_t colon = value.find(':');
       CliCredentials user{value.substr(0, colon), std::nullopt};
       if (user.userId.empty()) return "--user needs an ID: --user ID[:PASSWORD]";
       if (colon != std::string::npos) user.password = value.substr(colon + 1);
       cmd.options.user = std::move(user);
       return std::nullopt;
     }},
    {"--netrc", nullptr, nullptr,
     [](CliCommand& cmd, const std::string&) -> OptionError {
       cmd.options.netrc = true;
       return std::nullopt;
     }},
    {"--netrc-file", nullptr, "--netrc-file needs a file",
     [](CliCommand& cmd, const std::string& file) -> OptionError {
       if (file.empty()) return "--netrc-file needs a file";
       cmd.options.netrc = true;
       cmd.options.netrcFile = file;
       return std::nullopt;
     }},
    {"--parallel", "-P", "--parallel needs a number",
     [](CliCommand& cmd, const std::string& n) -> OptionError {
       const std::optional<int> count = ParseCount(n);
       if (!count || *count < 1 || *count > kMaxParallel)
         return "--parallel needs a number from 1 to " + std::to_string(kMaxParallel) + ", not '" +
                n + "'";
       cmd.options.parallel = *count;
       return std::nullopt;
     }},
    {"--new-only", nullptr, nullptr,
     [](CliCommand& cmd, const std::string&) -> OptionError {
       cmd.options.newOnly = true;
       return std::nullopt;
     }},
    {"--open", nullptr, "--open needs a file",
     [](CliCommand& cmd, const std::string& file) -> OptionError {
       if (file.empty()) return "--open needs a file";
       if (cmd.options.openFile) return "--open may be given once";
       cmd.options.openFile = file;
       return std::nullopt;
     }},
};

const Option* FindOption(const std::string& name) {
  for (const Option& option : kOptions)
    if (name == option.name || (option.shortName && name == option.shortName)) return &option;
  return nullptr;
}

}  // namespace

const char* CliUsage() {
  return "usage: " VIMBEL_CLI_NAME
         " [OPTIONS] [--] ADDRESS...\n"
         "       " VIMBEL_CLI_NAME
         " [OPTIONS] -\n"
         "       " VIMBEL_CLI_NAME
         " [OPTIONS] --open FILE [ADDRESS]\n"
         "\n"
         "Harvests the page at each ADDRESS in turn, as the window's start button\n"
         "does, and appends the links it keeps to the output file in the save\n"
         "folder. \"-\" reads the addresses from standard input, one a line. With\n"
         "--open, FILE is opened as a file dropped on the window: an Internet\n"
         "shortcut (.url) gives the address; any other file is a local page, and\n"
         "ADDRESS, ending in \"/\", is its base address.\n"
         "\n"
         "It runs beside the window and other calls; runs that append to one file\n"
         "take turns on a lock on it.\n"
         "\n"
         "Settings come from the window's profile; these options change them for\n"
         "this call only and nothing is saved:\n"
         "  --html              gallery output (only while images are the one type)\n"
         "  --list              list output\n"
         "  --url-name          output file named after the base address\n"
         "  --append            output appended to " VIMBEL_PROGRAM_NAME
         ".html or " VIMBEL_PROGRAM_NAME
         ".txt\n"
         "  --save-folder DIR   folder of the output file\n"
         "  --types LIST        file types, comma-separated: image, exe, archive,\n"
         "                      wave, movie, extra; or all: every link\n"
         "  --ext EXTS          the extensions of the extra type, without their\n"
         "                      dots, separated by commas or blanks\n"
         "  --as-browser        read the page as a browser does (HTML and URL\n"
         "                      standards): entities decoded, <base> and <area>\n"
         "                      followed, comments and scripts skipped\n"
         "  --classic           read the anchors exactly as they are spelled\n"
         "  --embedded          with --as-browser, also the pictures, videos and\n"
         "                      sounds the page shows (implies --as-browser)\n"
         "  --no-embedded       only the links\n"
         "  --times N           read a short page again up to N times\n"
         "  --stdout            write the output lines to standard output\n"
         "  --new-only          write only the links the output file does not hold\n"
         "                      yet, each once\n"
         "  --open FILE         harvest FILE (see above)\n"
         "\n"
         "  -P, --parallel N    harvest up to N addresses at once (1 to 16, default 1);\n"
         "                      the output and the messages come in the addresses'\n"
         "                      order all the same\n"
         "\n"
         "A page that asks for an ID and password (401):\n"
         "  --user ID[:PASSWORD]  answer its first request for them with these;\n"
         "                      without PASSWORD it is asked on the terminal\n"
         "  --netrc             take them from ~/.netrc\n"
         "  --netrc-file FILE   take them from FILE, in the form of ~/.netrc\n"
         "Without these the terminal is asked; without a terminal the run stops.\n"
         "\n"
         "  -q, --quiet         no status line, and only warnings and errors\n"
         "  --help              show this text\n"
         "  --version           show the version\n"
         "  --                  what follows is an ADDRESS, even if it begins with -\n"
         "\n"
         "Exit status, the worst of the runs: 0 done, 1 done after an incomplete\n"
         "read, 2 stopped with an error (or the password prompt cancelled),\n"
         "64 wrong command line.\n";
}

std::vector<std::string> CliOptionNames() {
  std::vector<std::string> names;
  for (const Option& option : kOptions) {
    names.emplace_back(option.name);
    if (option.shortName) names.emplace_back(option.shortName);
  }
  return names;
}

std::optional<std::string> AddressFromLine(std::string line) {
  if (!line.empty() && line.back() == '\n') line.pop_back();
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.empty()) return std::nullopt;
  return line;
}

CliCommand ParseCliArguments(const std::vector<std::string>& args) {
  CliCommand cmd;
  std::vector<std::string> positional;
  auto fail = [&cmd](std::string why) {
    cmd.action = CliCommand::kUsageError;
    cmd.error = std::move(why);
    return cmd;
  };

  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg[1] != '-') {
      // "-q"; "-P N" or "-PN".
      const Option* option = FindOption(arg.substr(0, 2));
      if (!option || (!option->needsValue && arg.size() > 2)) return fail("unknown option " + arg);
      std::string value;
      if (option->needsValue) {
        if (arg.size() > 2)
          value = arg.substr(2);
        else if (i + 1 < args.size())
          value = args[++i];
        else
          return fail(option->needsValue);
      }
      if (OptionError why = option->apply(cmd, value)) return fail(*why);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    // "--name=value" or "--name value".
    std::optional<std::string> value;
    if (const size_t eq = arg.find('='); eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg.erase(eq);
    }
    const Option* option = FindOption(arg);
    if (!option) return fail("unknown option " + arg);
    if (!option->needsValue) {
      if (value) return fail(arg + " takes no value");
      value.emplace();
    } else if (!value) {
      if (i + 1 >= args.size()) return fail(option->needsValue);
      value = args[++i];
    }
    if (OptionError why = option->apply(cmd, *value)) return fail(*why);
    if (cmd.action != CliCommand::kRun) return cmd;  // --help, --version
  }

  CliOptions& o = cmd.options;
  if (o.openFile && positional.size() > 1)
    return fail("too many arguments: --open takes one base ADDRESS at most");
  if (!o.openFile && positional.empty()) return fail("an ADDRESS (or --open FILE) is needed");
  if (std::find(positional.begin(), positional.end(), "-") != positional.end()) {
    if (positional.size() > 1 || o.openFile)
      return fail("\"-\" reads the addresses from standard input, and is then the only one");
    o.addressesFromStdin = true;
    return cmd;
  }
  o.addresses = std::move(positional);
  return cmd;
}

std::optional<std::string> ApplyCliOptions(const CliOptions& o, CHarvestApp& app,
                                           CHarvestEngine& engine) {
  if (o.types) {
    const std::vector<int>& t = *o.types;
    app.m_bImage = t[0];
    app.m_bExe = t[1];
    app.m_bArchive = t[2];
    app.m_bWave = t[3];
    app.m_bMovie = t[4];
    app.m_bExtra = t[5];
  }
  if (o.types) app.m_bAllLinks = o.allLinks ? 1 : 0;
  if (o.browser) app.m_bBrowser = *o.browser;
  if (o.embedded) app.m_bEmbedded = *o.embedded;
  if (o.extent) app.m_strExtent = *o.extent;
  if (o.times) app.m_nTimes = *o.times;
  if (o.saveFolder) engine.m_strSaveFolder = *o.saveFolder;
  if (o.fileSelect) engine.m_nFileSelect = *o.fileSelect;
  if (o.outPutType) engine.m_nOutPutType = *o.outPutType;
  engine.m_bNewOnly = o.newOnly;

  // The window offers the gallery only while images are the one type; the
  // terminal follows it, and says so when asked for it outright.
  if (!ImageOnlySelected(app)) {
    if (o.outPutType == kOutputGallery)
      return std::string("--html needs the image type alone (--types image)");
    engine.m_nOutPutType = kOutputList;
  }
  return std::nullopt;
}

int ExitStatusFor(HarvestOutcome outcome) {
  switch (outcome) {
    case HarvestOutcome::kCompleted:
      return kExitCompleted;
    case HarvestOutcome::kIncomplete:
      return kExitIncomplete;
    case HarvestOutcome::kStopped:
    case HarvestOutcome::kNotRun:
      break;
  }
  return kExitStopped;
}
