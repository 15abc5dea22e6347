// The terminal front end's command line, the settings a run takes, and its
// exit status.
#include <gtest/gtest.h>

#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "settings/profile_keys.h"
#include "tests/support/recording_engine.h"
#include "tests/support/test_environment.h"
#include "ui/cli_front_end.h"

using testing_support::RecordingEngine;
using testing_support::TestEnvironment;

TEST(CliArguments, UsageErrors) {
  struct Case {
    std::vector<std::string> args;
    const char* mentions;
  };
  const Case cases[] = {
      {{}, "ADDRESS"},
      {{"--list"}, "ADDRESS"},
      {{"--open", "f", "a", "b"}, "too many"},
      {{"-", "a"}, "standard input"},
      {{"a", "-"}, "standard input"},
      {{"--open", "f", "-"}, "standard input"},
      {{"--user"}, "--user needs"},
      {{"--user", ":secret", "a"}, "ID"},
      {{"--netrc-file", "", "a"}, "--netrc-file needs"},
      {{"--netrc=x", "a"}, "takes no value"},
      {{"-qv", "a"}, "unknown option -qv"},
      {{"--bogus", "a"}, "unknown option --bogus"},
      {{"-x", "a"}, "unknown option -x"},
      {{"--html", "--list", "a"}, "exclude"},
      {{"--url-name", "--append", "a"}, "exclude"},
      {{"--as-browser", "--classic", "a"}, "exclude"},
      {{"--classic", "--embedded", "a"}, "--classic"},
      {{"--embedded", "--classic", "a"}, "--classic"},
      {{"--embedded", "--no-embedded", "a"}, "exclude"},
      {{"--types", "all,image", "a"}, "unknown type 'all'"},
      {{"--types", "image,photo", "a"}, "photo"},
      {{"--types", "", "a"}, "unknown type"},
      {{"--types", "image,", "a"}, "unknown type"},
      {{"--times", "3x", "a"}, "--times"},
      {{"--times", "-1", "a"}, "--times"},
      {{"--times", "99999999999", "a"}, "--times"},
      {{"a", "--times"}, "--times needs"},
      {{"--save-folder"}, "--save-folder"},
      {{"--open"}, "--open needs"},
      {{"--open", "a", "--open", "b"}, "once"},
      {{"--list=yes", "a"}, "takes no value"},
      {{"-P", "0", "a"}, "from 1 to 16"},
      {{"-P17", "a"}, "from 1 to 16"},
      {{"--parallel", "x", "a"}, "--parallel"},
      {{"a", "-P"}, "--parallel needs"},
      {{"--new-only=yes", "a"}, "takes no value"},
  };
  for (const Case& c : cases) {
    const CliCommand cmd = ParseCliArguments(c.args);
    std::string joined;
    for (const auto& a : c.args) joined += a + " ";
    EXPECT_EQ(cmd.action, CliCommand::kUsageError) << joined;
    EXPECT_NE(cmd.error.find(c.mentions), std::string::npos) << joined << "-> " << cmd.error;
    EXPECT_EQ(cmd.error.find('\n'), std::string::npos) << "one line";
  }
}

TEST(CliArguments, OptionsAndOperands) {
  const CliCommand cmd = ParseCliArguments({"--list", "--url-name", "--save-folder", "/out",
                                            "--types=exe,image,extra", "--ext", "rar", "--times",
                                            "3", "--stdout", "-q", "--", "-odd-address", "--list"});
  ASSERT_EQ(cmd.action, CliCommand::kRun) << cmd.error;
  const CliOptions& o = cmd.options;
  EXPECT_EQ(o.outPutType, 2);
  EXPECT_EQ(o.fileSelect, 1);
  EXPECT_EQ(o.saveFolder, std::string("/out") + platform::PathSeparator());
  EXPECT_EQ(o.types, (std::vector<int>{1, 1, 0, 0, 0, 1}));
  EXPECT_EQ(o.extent, ".rar");
  EXPECT_EQ(o.times, 3);
  EXPECT_TRUE(o.toStdout);
  EXPECT_TRUE(o.quiet);
  EXPECT_EQ(o.addresses, (std::vector<std::string>{"-odd-address", "--list"}));
  EXPECT_FALSE(o.addressesFromStdin);
  EXPECT_FALSE(o.openFile);
  EXPECT_EQ(o.parallel, 1);
  EXPECT_FALSE(o.newOnly);

  // -P takes its number apart or joined on; --parallel as any long option.
  for (const std::vector<std::string>& args : {std::vector<std::string>{"-P", "4", "a"},
                                               {"-P4", "a"},
                                               {"--parallel=4", "a"},
                                               {"--parallel", "4", "a"}}) {
    const CliCommand p = ParseCliArguments(args);
    ASSERT_EQ(p.action, CliCommand::kRun) << p.error;
    EXPECT_EQ(p.options.parallel, 4) << args[0];
    EXPECT_EQ(p.options.addresses, std::vector<std::string>{"a"}) << args[0];
  }
  EXPECT_TRUE(ParseCliArguments({"--new-only", "a"}).options.newOnly);

  const CliCommand open = ParseCliArguments({"--open", "page.html", "http://a/b/"});
  ASSERT_EQ(open.action, CliCommand::kRun);
  EXPECT_EQ(open.options.openFile, "page.html");
  EXPECT_EQ(open.options.addresses, std::vector<std::string>{"http://a/b/"});
  EXPECT_EQ(ParseCliArguments({"--open", "x.url"}).action, CliCommand::kRun);

  const CliCommand dash = ParseCliArguments({"--list", "-"});
  ASSERT_EQ(dash.action, CliCommand::kRun) << dash.error;
  EXPECT_TRUE(dash.options.addressesFromStdin);
  EXPECT_TRUE(dash.options.addresses.empty());

  // Credentials split at the first colon; the password may hold more.
  struct UserCase {
    std::vector<std::string> args;
    std::string id;
    std::optional<std::string> password;
    bool netrc;
    std::string netrcFile;
  };
  const UserCase users[] = {
      {{"--user", "me", "a"}, "me", std::nullopt, false, ""},
      {{"--user=me:", "a"}, "me", "", false, ""},
      {{"--user", "me:p:w=", "--netrc", "a"}, "me", "p:w=", true, ""},
      {{"--netrc-file", "/n", "a"}, "", std::nullopt, true, "/n"},
  };
  for (const UserCase& c : users) {
    const CliCommand u = ParseCliArguments(c.args);
    ASSERT_EQ(u.action, CliCommand::kRun) << u.error;
    EXPECT_EQ(u.options.user ? u.options.user->userId : "", c.id) << c.args[1];
    EXPECT_EQ(u.options.user ? u.options.user->password : std::nullopt, c.password) << c.args[1];
    EXPECT_EQ(u.options.netrc, c.netrc) << c.args[1];
    EXPECT_EQ(u.options.netrcFile, c.netrcFile) << c.args[1];
  }

  EXPECT_EQ(ParseCliArguments({"a", "--help", "--bogus"}).action, CliCommand::kHelp);
  EXPECT_EQ(ParseCliArguments({"--version"}).action, CliCommand::kVersion);
}

// The installed manual page and completion are checked against --help
// (dist/check_install); --help itself must know every option there is.
TEST(CliArguments, HelpListsEveryOptionAndTheExitStatuses) {
  const std::string help = CliUsage();
  auto listed = [&help](const std::string& name) {
    for (size_t at = help.find(name); at != std::string::npos; at = help.find(name, at + 1)) {
      const char before = at == 0 ? ' ' : help[at - 1];
      const char after = at + name.size() < help.size() ? help[at + name.size()] : ' ';
      const auto wordChar = [](char c) { return c == '-' || (c >= 'a' && c <= 'z'); };
      if (!wordChar(before) && !wordChar(after)) return true;
    }
    return false;
  };
  for (const std::string& name : CliOptionNames()) EXPECT_TRUE(listed(name)) << name;
  for (const char* status : {"0 done", "1 done", "2 stopped", "64 wrong"})
    EXPECT_NE(help.find(status), std::string::npos) << status;
}

// The stored settings, each under the name the profile has always used and
// with a value of its own, so that two keys read into each other's member
// show.
TEST(CliSettings, EachSettingIsReadFromItsOwnKey) {
  TestEnvironment env;
  CHarvestApp& app = env.App();
  const std::pair<const char*, int> stored[] = {
      {"OutPutType", 2}, {"FileSelect", 1}, {"image", 11},   {"archive", 12},
      {"wave", 13},      {"movie", 14},     {"extra", 15},   {"exe", 16},
      {"clip", 17},      {"times", 18},     {"browser", 19}, {"embedded", 20},
  };
  for (const auto& [key, value] : stored) app.WriteProfileInt("Parameter", key, value);
  app.WriteProfileString("Parameter", "extent", ".e");
  app.WriteProfileString("Parameter", "SaveFolder", "/s/");

  RecordingEngine engine{app};
  LoadProfileSettings(app, engine);
  EXPECT_EQ(engine.m_nOutPutType, 2);
  EXPECT_EQ(engine.m_nFileSelect, 1);
  EXPECT_EQ(engine.m_strSaveFolder, "/s/");
  EXPECT_EQ(app.m_strExtent, ".e");
  const int read[] = {app.m_bImage, app.m_bArchive, app.m_bWave,  app.m_bMovie,   app.m_bExtra,
                      app.m_bExe,   app.m_bClip,    app.m_nTimes, app.m_bBrowser, app.m_bEmbedded};
  EXPECT_EQ(std::vector<int>(std::begin(read), std::end(read)),
            (std::vector<int>{11, 12, 13, 14, 15, 16, 17, 18, 19, 20}));
}

// How the reading and the kinds follow the command line over the profile
// (browser=1, embedded=1 stored).
TEST(CliSettings, ReadingAndAllLinksOverTheProfile) {
  struct Row {
    std::vector<std::string> args;
    int browser, embedded, allLinks, outPutType;
  };
  const Row rows[] = {
      {{"a"}, 1, 1, 0, kOutputGallery},
      {{"--classic", "a"}, 0, 1, 0, kOutputGallery},
      {{"--no-embedded", "a"}, 1, 0, 0, kOutputGallery},
      {{"--classic", "--no-embedded", "a"}, 0, 0, 0, kOutputGallery},
      {{"--types", "all", "a"}, 1, 1, 1, kOutputList},
      {{"--types", "all", "--types", "image", "a"}, 1, 1, 0, kOutputGallery},
  };
  for (const Row& row : rows) {
    TestEnvironment env;
    CHarvestApp& app = env.App();
    app.WriteProfileInt(profile::kSection, profile::kBrowser, 1);
    app.WriteProfileInt(profile::kSection, profile::kEmbedded, 1);
    RecordingEngine engine{app};
    LoadProfileSettings(app, engine);
    const CliCommand cmd = ParseCliArguments(row.args);
    ASSERT_EQ(cmd.action, CliCommand::kRun) << cmd.error;
    EXPECT_FALSE(ApplyCliOptions(cmd.options, app, engine));
    EXPECT_EQ(app.m_bBrowser, row.browser) << row.args[0];
    EXPECT_EQ(app.m_bEmbedded, row.embedded) << row.args[0];
    EXPECT_EQ(app.m_bAllLinks, row.allLinks) << row.args[0];
    EXPECT_EQ(engine.m_nOutPutType, row.outPutType) << row.args[0];
  }
  // --embedded turns browser reading on by itself.
  TestEnvironment env;
  RecordingEngine engine{env.App()};
  LoadProfileSettings(env.App(), engine);
  ASSERT_FALSE(ApplyCliOptions(ParseCliArguments({"--embedded", "a"}).options, env.App(), engine));
  EXPECT_EQ(env.App().m_bBrowser, 1);
  EXPECT_EQ(env.App().m_bEmbedded, 1);
}

TEST(CliSettings, AStoredSaveFolderEndsInItsSeparator) {
  const std::pair<const char*, const char*> cases[] = {
      {"/home/u/pics", "/home/u/pics/"},
      {"/home/u/pics/", "/home/u/pics/"},
      {"", ""},  // not the root
  };
  for (const auto& [stored, loaded] : cases) {
    TestEnvironment env;
    env.App().WriteProfileString(profile::kSection, profile::kSaveFolder, stored);
    RecordingEngine engine{env.App()};
    LoadProfileSettings(env.App(), engine);
    EXPECT_EQ(engine.m_strSaveFolder, loaded) << stored;
  }
}

TEST(CliSettings, OverridesApplyInMemoryOnlyUnderTheImageOnlyRule) {
  TestEnvironment env;
  CHarvestApp& app = env.App();
  app.WriteProfileInt(profile::kSection, profile::kOutPutType, 1);
  app.WriteProfileInt(profile::kSection, profile::kTimes, 5);
  app.WriteProfileString(profile::kSection, profile::kSaveFolder, "/saved/");
  const std::string before = testing_support::ReadBytes(env.ProfilePath());

  RecordingEngine engine{env.App()};
  LoadProfileSettings(app, engine);
  EXPECT_EQ(engine.m_nOutPutType, 1);
  EXPECT_EQ(engine.m_nFileSelect, 2);
  EXPECT_EQ(engine.m_strSaveFolder, "/saved/");
  EXPECT_EQ(app.m_bImage, 1);
  EXPECT_EQ(app.m_strExtent, ".???");
  EXPECT_EQ(app.m_nTimes, 5);

  CliCommand cmd = ParseCliArguments({"--types", "image,movie", "--times", "0", "--url-name", "a"});
  ASSERT_EQ(cmd.action, CliCommand::kRun);
  EXPECT_FALSE(ApplyCliOptions(cmd.options, app, engine));
  EXPECT_EQ(app.m_bMovie, 1);
  EXPECT_EQ(app.m_nTimes, 0);
  EXPECT_EQ(engine.m_nFileSelect, 1);
  EXPECT_EQ(engine.m_nOutPutType, 2) << "a second type bars the gallery";
  EXPECT_EQ(testing_support::ReadBytes(env.ProfilePath()), before) << "nothing is written";

  // Asked for outright, the gallery that the rule bars is a usage error.
  cmd = ParseCliArguments({"--html", "--types", "exe", "a"});
  EXPECT_TRUE(ApplyCliOptions(cmd.options, app, engine));
  cmd = ParseCliArguments({"--html", "--types", "image", "a"});
  EXPECT_FALSE(ApplyCliOptions(cmd.options, app, engine));
  EXPECT_EQ(engine.m_nOutPutType, 1);
}

TEST(CliSettings, ProfileWithoutImagesForcesTheList) {
  TestEnvironment env;
  env.App().WriteProfileInt(profile::kSection, profile::kImage, 0);
  env.App().WriteProfileInt(profile::kSection, profile::kExe, 1);
  RecordingEngine engine{env.App()};
  LoadProfileSettings(env.App(), engine);
  EXPECT_FALSE(ApplyCliOptions(ParseCliArguments({"a"}).options, env.App(), engine));
  EXPECT_EQ(engine.m_nOutPutType, 2);
  EXPECT_EQ(env.App().GetProfileInt(profile::kSection, profile::kOutPutType, 1), 1)
      << "unlike the window, the terminal stores nothing";
}
