// The save-folder chooser: its title, the folder the browser opens on, and
// what a choice or a cancel stores.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/file_system.h"
#include "resources/dialog_templates.h"
#include "settings/profile_keys.h"
#include "tests/support/headless_ui.h"
#include "tests/support/test_environment.h"
#include "ui/harvest_dlg.h"
#include "ui/save_folder.h"

using namespace platform;
using namespace resources;
using testing_support::CreateFolder;
using testing_support::TestEnvironment;

namespace {

constexpr const char* kTitleLine = "現在のｾｰﾌﾞﾌｫﾙﾀﾞ\n";

// Folders as the browser reports them: absolute, without links.
std::string Canonical(const std::string& path) {
  return platform::CanonicalExistingPath(path).value_or(path);
}

// Makes a folder in the test's folder and gives its canonical path.
std::string MakeFolder(TestEnvironment& env, const std::string& name) {
  EXPECT_TRUE(CreateFolder(env.Path(name)));
  return Canonical(env.Path(name));
}

struct Chooser : testing_support::HeadlessMainDialog {
  Chooser() { Open(); }

  std::string StoredFolder() {
    return env.App().GetProfileString(profile::kSection, profile::kSaveFolder, "unwritten");
  }
  // Opens the browser with the user's answer ready; gives what it showed.
  const platform::headless::RecordedFolderBrowse& Browse(std::optional<std::string> answer) {
    static const platform::headless::RecordedFolderBrowse kNone;
    const size_t before = ui->FolderBrowses().size();
    ui->AnswerFolderBrowser(std::move(answer));
    dlg.OnSaveFolder();
    EXPECT_EQ(ui->FolderBrowses().size(), before + 1) << "one browser per click";
    return ui->FolderBrowses().size() > before ? ui->FolderBrowses().back() : kNone;
  }
};

// The folder the browser shows when it opens: the last one its hook asked
// for (a request without a folder leaves the selection where it is), or
// nullopt when it stays at its top.
std::optional<std::string> OpenedOn(const platform::headless::RecordedFolderBrowse& browse) {
  std::optional<std::string> shown;
  for (const auto& selection : browse.selections)
    if (selection) shown = selection;
  return shown;
}

}  // namespace

TEST(SaveFolder, TheBrowserOpensOnTheSavedFolderWhenItCanBeSelected) {
  struct Row {
    std::string saveFolder;
    std::string titleFolder;
    std::optional<std::string> openedOn;
  };
  Chooser c;
  const std::string folder = MakeFolder(c.env, "out");
  const std::string desktop = MakeFolder(c.env, "ﾃﾞｽｸﾄｯﾌﾟ");
  const std::string rare = MakeFolder(c.env, "𠮷野");  // a character beyond the first plane
  const std::string tooLong = "/" + std::string(300, 'x');
  const Row rows[] = {
      {folder + "/", folder, folder},
      {rare + "/", rare, rare},
      {"", "", std::nullopt},                                   // empty: the title alone
      {desktop + "/", desktop, std::nullopt},                   // the desktop word
      {c.env.Path("gone/"), c.env.Path("gone"), std::nullopt},  // no such folder
      {tooLong + "/", tooLong, std::nullopt},                   // too long to select
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.saveFolder);
    c.dlg.m_strSaveFolder = row.saveFolder;
    const auto& browse = c.Browse(std::nullopt);
    EXPECT_EQ(browse.title, std::string(kTitleLine) + row.titleFolder);
    EXPECT_TRUE(browse.fileSystemOnly);
    EXPECT_EQ(browse.ownerTemplateId, IDD_VIMBEL_DIALOG);
    EXPECT_EQ(OpenedOn(browse), row.openedOn);
    EXPECT_EQ(c.dlg.m_strSaveFolder, row.saveFolder) << "cancel keeps it";
  }
  EXPECT_EQ(c.StoredFolder(), "unwritten");
}

TEST(SaveFolder, TheTitleIsCutAt511BytesNeverInsideACharacter) {
  const std::string line = kTitleLine;
  const std::string fits(511 - line.size(), 'f');
  struct Row {
    std::string folder;
    std::string title;
  };
  const Row rows[] = {
      {"C:", line + "C:"},
      {fits, line + fits},
      {fits + "x", line + fits},
      {std::string(700, 's'), line + std::string(511 - line.size(), 's')},
  };
  for (const Row& row : rows) EXPECT_EQ(SaveFolderTitle(row.folder), row.title) << row.folder;

  // Three-byte characters: the cut falls before the character that does not
  // fit whole.
  std::string folder;
  while (folder.size() < 700) folder += "/ﾌｫﾙﾀﾞ";
  const std::string whole = line + folder;
  const std::string title = SaveFolderTitle(folder);
  EXPECT_LE(title.size(), 511u);
  EXPECT_GE(title.size(), 509u);
  EXPECT_EQ(whole.rfind(title, 0), 0u);
  EXPECT_NE(static_cast<unsigned char>(whole[title.size()]) & 0xC0, 0x80)
      << "the title ends inside a character";
}

TEST(SaveFolder, AChosenFolderIsStoredWithItsSeparator) {
  Chooser c;
  std::string folder = MakeFolder(c.env, "chosen");
  c.Browse(folder);
  EXPECT_EQ(c.dlg.m_strSaveFolder, folder + c.env.Separator());
  EXPECT_EQ(c.StoredFolder(), folder + c.env.Separator());

  // The next time the browser opens there.
  EXPECT_EQ(OpenedOn(c.Browse(std::nullopt)), folder);
  EXPECT_EQ(c.dlg.m_strSaveFolder, folder + c.env.Separator());
}

TEST(SaveFolder, PathToIdListRefusesWhatIsNoFolderOrTooLong) {
  TestEnvironment env;
  EXPECT_EQ(PathToIdList(nullptr), nullptr);
  EXPECT_EQ(PathToIdList(""), nullptr);
  EXPECT_EQ(PathToIdList(env.Path("missing").c_str()), nullptr);
  std::string deep = env.Dir();
  while (deep.size() < 300) {
    deep += std::string(40, 'n') + "/";
    ASSERT_TRUE(CreateFolder(deep));
  }
  EXPECT_EQ(PathToIdList(deep.c_str()), nullptr) << "260 characters or more";
  LPITEMIDLIST list = PathToIdList(env.Dir().c_str());
  ASSERT_NE(list, nullptr);
  char path[kMaxPath];
  ASSERT_TRUE(SHGetPathFromIDList(list, path));
  EXPECT_EQ(std::string(path), Canonical(env.Dir()));
  FreeIdList(list);
  FreeIdList(nullptr);
}
