// The save-folder chooser: its title, the selection requests its hook sends,
// and what a choice or a cancel stores.
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
using testing_support::HeadlessUi;
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

struct Chooser {
  TestEnvironment env;
  HeadlessUi ui;
  CHarvestDlg dlg;
  std::unique_ptr<platform::headless::HeadlessWindow> w = ui->Open(dlg);

  std::string StoredFolder() {
    return env.App().GetProfileString(profile::kSection, profile::kSaveFolder, "unwritten");
  }
  // The one browse so far.
  const platform::headless::RecordedFolderBrowse& Browse() {
    EXPECT_EQ(ui->FolderBrowses().size(), 1u);
    return ui->FolderBrowses().back();
  }
};

// The requests of one initialisation with one drive present: one request
// per missing drive letter without a folder, and for drive c the folder
// (or none) followed by one without.
std::vector<std::optional<std::string>> ExpectedRequests(std::optional<std::string> folder) {
  std::vector<std::optional<std::string>> requests(27, std::nullopt);
  requests[2] = std::move(folder);
  return requests;
}

}  // namespace

TEST(SaveFolder, TheBrowserOpensOnTheCurrentFolder) {
  Chooser c;
  std::string folder = MakeFolder(c.env, "out");
  c.dlg.m_strSaveFolder = folder + "/";
  c.ui->AnswerFolderBrowser(std::nullopt);
  c.dlg.OnSaveFolder();
  const auto& browse = c.Browse();
  EXPECT_EQ(browse.title, std::string(kTitleLine) + folder);
  EXPECT_TRUE(browse.fileSystemOnly);
  EXPECT_EQ(browse.ownerTemplateId, IDD_VIMBEL_DIALOG);
  EXPECT_EQ(browse.selections, ExpectedRequests(folder));
  EXPECT_EQ(std::string(g_szCurrentFolder), folder);
  EXPECT_EQ(std::string(g_szDriveRoot), "z:\\") << "the last letter probed stays";
  EXPECT_EQ(GetErrorMode(), 0u);
}

TEST(SaveFolder, FoldersThatCannotBeSelectedGetRequestsWithoutAFolder) {
  struct Row {
    std::string saveFolder;
    std::string titleFolder;
  };
  Chooser c;
  std::string desktop = MakeFolder(c.env, "ﾃﾞｽｸﾄｯﾌﾟ");
  const Row rows[] = {
      {"", ""},                                                // empty: the title alone
      {desktop + "/", desktop},                                // the desktop word
      {c.env.Path("gone/"), c.env.Path("gone")},               // no such folder
      {"/" + std::string(300, 'x') + "/", "/" + std::string(300, 'x')},  // too long to select
  };
  for (const Row& row : rows) {
    c.dlg.m_strSaveFolder = row.saveFolder;
    c.ui->AnswerFolderBrowser(std::nullopt);
    c.dlg.OnSaveFolder();
    const auto& browse = c.ui->FolderBrowses().back();
    EXPECT_EQ(browse.title, std::string(kTitleLine) + row.titleFolder);
    EXPECT_EQ(browse.selections, ExpectedRequests(std::nullopt)) << row.saveFolder;
  }
  EXPECT_EQ(c.dlg.m_strSaveFolder, "/" + std::string(300, 'x') + "/") << "cancel keeps it";
  EXPECT_EQ(c.StoredFolder(), "unwritten");
}

TEST(SaveFolder, ATitleNeverOverflowsOrCutsACharacter) {
  std::string folder;
  while (folder.size() < 700) folder += "/ﾌｫﾙﾀﾞ";
  std::string title = SaveFolderTitle(folder);
  EXPECT_LE(title.size(), 511u);
  EXPECT_EQ(title.rfind(kTitleLine, 0), 0u);
  EXPECT_EQ(folder.rfind(title.substr(std::string(kTitleLine).size()), 0), 0u);
  // A cut inside a three-byte character would leave a lead byte at the end.
  unsigned char last = static_cast<unsigned char>(title.back());
  EXPECT_NE(last & 0xC0, 0xC0);
  EXPECT_EQ(SaveFolderTitle("C:"), std::string(kTitleLine) + "C:");
}

TEST(SaveFolder, AChosenFolderIsStoredWithItsSeparator) {
  Chooser c;
  std::string folder = MakeFolder(c.env, "chosen");
  c.ui->AnswerFolderBrowser(folder);
  c.dlg.OnSaveFolder();
  EXPECT_EQ(c.dlg.m_strSaveFolder, folder + c.env.Separator());
  EXPECT_EQ(c.StoredFolder(), folder + c.env.Separator());

  // The next time the browser opens there.
  c.ui->AnswerFolderBrowser(std::nullopt);
  c.dlg.OnSaveFolder();
  EXPECT_EQ(c.ui->FolderBrowses().back().selections, ExpectedRequests(folder));
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
