// Addresses that arrive without typing: the clipboard watch, dropped files
// and the file named on the command line.
#include <gtest/gtest.h>

#include <string>

#include "resources/dialog_templates.h"
#include "resources/texts.h"
#include "tests/support/headless_ui.h"
#include "tests/support/test_environment.h"
#include "ui/address_sources.h"
#include "ui/harvest_dlg.h"

using namespace platform;
using namespace resources;
using testing_support::CreateFolder;
using testing_support::HeadlessUi;
using testing_support::TestEnvironment;
using testing_support::WriteBytes;

namespace {

struct MainWindow : testing_support::HeadlessMainDialog {
  // Opens the window as start-up does, with this clipboard and command line.
  void Open(std::optional<std::string> clip = std::nullopt, std::vector<std::string> args = {}) {
    g_strLastClip.clear();
    ui->SetClipboardText(std::move(clip));
    env.App().SetCommandLine(std::move(args));
    HeadlessMainDialog::Open();
  }
  std::string Field() const { return w->GetItemText(IDC_EDIT_URL); }
  void ExpectOneBox(const std::string& text, const std::string& caption) {
    ASSERT_EQ(ui->MessageBoxes().size(), 1u);
    EXPECT_EQ(ui->MessageBoxes()[0].text, text);
    EXPECT_EQ(ui->MessageBoxes()[0].caption, caption);
    EXPECT_EQ(ui->MessageBoxes()[0].Icon(), MB_ICONERROR);
    EXPECT_EQ(ui->MessageBoxes()[0].ownerTemplateId, IDD_VIMBEL_DIALOG);
  }
};

}  // namespace

TEST(ClipboardWatch, TakesOnlyTextThatBeginsWithHttpExactly) {
  struct Row {
    const char* clip;
    const char* field;
  };
  const Row rows[] = {
      {"http://a/b.html", "http://a/b.html"},
      // Blanks and line breaks around the address are no part of it; those
      // inside stay.
      {"http://a/\r\nsecond line ", "http://a/\r\nsecond line"},
      {" \t\r\nhttp://a/b c.html\n", "http://a/b c.html"},
      {"\n \n", ""},
      {"https://a/", ""},
      {"HTTP://a/", ""},
      {" x http://a/", ""},
      {"ftp://a/", ""},
      {"http:/", ""},
  };
  for (const Row& row : rows) {
    MainWindow m;
    m.Open(std::string(row.clip));
    EXPECT_EQ(m.Field(), row.field) << row.clip;
  }
}

TEST(ClipboardWatch, TakesAnAddressOnceAndANewOneAtTheNextTick) {
  MainWindow m;
  m.Open(std::string("http://a/1.html"));
  EXPECT_EQ(m.ui->ClipboardReads(), 1) << "one look at start";
  EXPECT_FALSE(m.w->HasTimer(kWatchTimerId)) << "the watch is off by default";

  m.w->Type(IDC_EDIT_URL, "typed");
  m.dlg.OnTimer(kWatchTimerId);
  EXPECT_EQ(m.Field(), "typed") << "the same clipboard text is not taken twice";

  m.ui->SetClipboardText(std::string("http://a/2.html"));
  m.dlg.OnTimer(kWatchTimerId);
  EXPECT_EQ(m.Field(), "http://a/2.html");
  m.w->Type(IDC_EDIT_URL, "typed");
  m.ui->SetClipboardText(std::string("http://a/2.html\n"));
  m.dlg.OnTimer(kWatchTimerId);
  EXPECT_EQ(m.Field(), "typed") << "the same address copied with a line break is the same";

  m.ui->SetClipboardText(std::nullopt);
  m.dlg.OnTimer(kWatchTimerId);
  EXPECT_EQ(m.Field(), "typed") << "an empty clipboard changes nothing";

  m.ui->SetClipboardText(std::string("http://a/3\0tail", 15));
  m.dlg.OnTimer(kWatchTimerId);
  EXPECT_EQ(m.Field(), "http://a/3") << "the text ends at a zero byte";
}

TEST(ClipboardWatch, RunsFromStartWhenSwitchedOnInTheProfile) {
  MainWindow m;
  m.env.App().WriteProfileInt("Parameter", "clip", 1);
  m.Open();
  EXPECT_EQ(m.w->TimerPeriod(kWatchTimerId), std::optional<UINT>(kWatchTimerMs));
  m.ui->SetClipboardText(std::string("http://tick/"));
  ASSERT_TRUE(m.w->FireTimer(kWatchTimerId));
  EXPECT_EQ(m.Field(), "http://tick/");
}

TEST(AddressSources, TheCommandLineFileWinsOverTheClipboardAtStart) {
  MainWindow m;
  std::string shortcut = m.env.Path("page.url");
  WriteBytes(shortcut, "[InternetShortcut]\r\nURL=http://from/file.html\r\n");
  m.Open(std::string("http://from/clipboard"), {shortcut});
  EXPECT_EQ(m.Field(), "http://from/file.html");
  EXPECT_TRUE(m.dlg.m_strSourceFile.empty());
}

TEST(DroppedFiles, SeveralItemsOrAFolderAreRefusedAndChangeNothing) {
  enum Drop { kTwoPages, kFolder, kVanished };
  const std::pair<Drop, const char*> rows[] = {
      {kTwoPages, texts::kSeveralItems},
      {kFolder, texts::kFolderDropped},
      {kVanished, texts::kFolderDropped},  // no attributes: taken for a folder
  };
  for (const auto& [drop, message] : rows) {
    MainWindow m;
    m.Open();
    std::string page = m.env.Path("a.html");
    WriteBytes(page, "<a href=x.jpg>");
    m.w->Type(IDC_EDIT_URL, "kept");
    m.ui->AnswerMessageBox();
    if (drop == kTwoPages) m.w->DropFiles({page, page});
    if (drop == kFolder) m.w->DropFiles({m.env.Dir()});
    if (drop == kVanished) m.w->DropFiles({m.env.Path("vanished.html")});
    m.ExpectOneBox(message, "vimbel");
    EXPECT_EQ(m.Field(), "kept");
    EXPECT_TRUE(m.dlg.m_strSourceFile.empty());
  }
}

TEST(DroppedFiles, ShortcutsAreKnownByTheirNameEndingInAnyCase) {
  MainWindow m;
  m.Open();
  std::string shortcut = m.env.Path("Link.Url");
  WriteBytes(shortcut, "[InternetShortcut]\nURL=http://a/dir/\n");
  // A page dropped earlier is forgotten once a shortcut gives an address.
  std::string page = m.env.Path("p.html");
  WriteBytes(page, "");
  m.w->DropFiles({page});
  ASSERT_EQ(m.dlg.m_strSourceFile, page);
  m.w->DropFiles({shortcut});
  EXPECT_EQ(m.Field(), "http://a/dir/");
  EXPECT_TRUE(m.dlg.m_strSourceFile.empty());

  // A page inside a folder whose name holds ".url" is a page.
  ASSERT_TRUE(CreateFolder(m.env.Path("x.url")));
  std::string inside = m.env.Path("x.url/page.html");
  WriteBytes(inside, "<a href=x.jpg>");
  m.w->DropFiles({inside});
  EXPECT_EQ(m.dlg.m_strSourceFile, inside);
  EXPECT_EQ(m.Field(), inside);
}

TEST(DroppedFiles, ALocalPageStaysSelectedWhenAClipboardAddressArrives) {
  MainWindow m;
  m.Open();
  std::string page = m.env.Path("p.html");
  WriteBytes(page, "");
  m.w->DropFiles({page});
  m.ui->SetClipboardText(std::string("http://base/dir/"));
  m.dlg.OnTimer(kWatchTimerId);
  EXPECT_EQ(m.Field(), "http://base/dir/");
  EXPECT_EQ(m.dlg.m_strSourceFile, page);
}

TEST(DroppedFiles, ALongPathIsNeverCut) {
  MainWindow m;
  m.Open();
  std::string dir = m.env.Dir();
  for (int i = 0; i < 3; ++i) {
    dir += std::string(100, 'd' + i) + m.env.Separator();
    ASSERT_TRUE(CreateFolder(dir));
  }
  std::string page = dir + "page.html";
  WriteBytes(page, "");
  ASSERT_GT(page.size(), 300u);
  m.w->DropFiles({page});
  EXPECT_EQ(m.dlg.m_strSourceFile, page);
}

TEST(OpenSourceFile, AShortcutWithoutAnAddressSaysSo) {
  MainWindow m;
  m.Open();
  std::string empty = m.env.Path("none.url");
  WriteBytes(empty, "[InternetShortcut]\nIconIndex=0\n");
  m.w->Type(IDC_EDIT_URL, "old");
  m.ui->AnswerMessageBox();
  m.dlg.OpenSourceFile(empty);
  m.ExpectOneBox(std::string(texts::kNoShortcutAddress) + "\n" + empty, texts::kCaptionError);
  EXPECT_EQ(m.Field(), "");
}

TEST(OpenSourceFile, AShortcutThatCannotBeOpenedChangesNothing) {
  MainWindow m;
  m.Open();
  m.w->Type(IDC_EDIT_URL, "old");
  std::string missing = m.env.Path("missing.url");
  m.ui->AnswerMessageBox();
  m.dlg.OpenSourceFile(missing);
  m.ExpectOneBox(std::string(texts::kCannotReadFile) + "\n" + missing, texts::kCaptionError);
  EXPECT_EQ(m.Field(), "old");
}

TEST(OpenSourceFile, AMissingPageChangesNothingAndSaysSo) {
  MainWindow m;
  m.Open();
  std::string page = m.env.Path("p.html");
  WriteBytes(page, "");
  m.dlg.OpenSourceFile(page);
  std::string missing = m.env.Path("gone.html");
  m.ui->AnswerMessageBox();
  m.dlg.OpenSourceFile(missing);
  m.ExpectOneBox(std::string(texts::kFileNotFound) + "\n" + missing, texts::kCaptionError);
  EXPECT_EQ(m.dlg.m_strSourceFile, page);
  EXPECT_EQ(m.Field(), page);

  // A pattern takes its first match, as the file-find does.
  m.dlg.OpenSourceFile(m.env.Path("*.html"));
  EXPECT_EQ(m.dlg.m_strSourceFile, page);
}
