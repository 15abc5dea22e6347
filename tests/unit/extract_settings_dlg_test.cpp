// The extraction settings dialog: what it shows, what an accepted OK stores,
// that a refused OK stores nothing, and what the main dialog does after it.
#include <gtest/gtest.h>

#include <string>

#include "resources/dialog_templates.h"
#include "resources/texts.h"
#include "settings/extract_settings_dlg.h"
#include "settings/profile_keys.h"
#include "tests/support/headless_ui.h"
#include "tests/support/test_environment.h"
#include "ui/harvest_dlg.h"

using namespace platform;
using namespace resources;
using platform::headless::HeadlessWindow;
using testing_support::HeadlessUi;
using testing_support::TestEnvironment;

namespace {

int ProfileInt(TestEnvironment& env, const char* key) {
  return env.App().GetProfileInt(profile::kSection, key, -999);
}

// Runs the dialog with `user` playing it.
int RunSettings(HeadlessUi& ui, std::function<void(HeadlessWindow&)> user) {
  ui->ExpectModal(IDD_EXTRACT_SETTINGS, std::move(user));
  CExtractSettingsDlg dlg(GetHarvestApp());
  return dlg.DoModal();
}

void SetDefaults(CHarvestApp& app) {
  app.m_bImage = 1;
  app.m_strExtent = ".???";
  app.m_nTimes = 0;
}

}  // namespace

TEST(ExtractSettingsDlg, OpensWithTheSettingsInMemory) {
  TestEnvironment env;
  HeadlessUi ui;
  SetDefaults(env.App());
  RunSettings(ui, [](HeadlessWindow& w) {
    EXPECT_EQ(w.GetCheck(IDC_CHECK_IMAGE), BST_CHECKED);
    for (int id : {IDC_CHECK_EXE, IDC_CHECK_ARCHIVE, IDC_CHECK_WAVE, IDC_CHECK_MOVIE,
                   IDC_CHECK_EXTRA, IDC_CHECK_CLIP})
      EXPECT_EQ(w.GetCheck(id), BST_UNCHECKED) << id;
    EXPECT_EQ(w.GetItemText(IDC_EDIT_EXTENT), "???");
    EXPECT_FALSE(w.IsItemEnabled(IDC_EDIT_EXTENT));
    EXPECT_EQ(w.GetItemText(IDC_EDIT_TIMES), "0");
    EXPECT_EQ(w.FocusItem(), IDOK);
    w.PressEscape();
  });

  env.App().m_bExtra = 1;
  env.App().m_strExtent = ".PNG";
  env.App().m_nTimes = -3;
  RunSettings(ui, [](HeadlessWindow& w) {
    EXPECT_TRUE(w.IsItemEnabled(IDC_EDIT_EXTENT)) << "the custom extension is on";
    EXPECT_EQ(w.GetItemText(IDC_EDIT_EXTENT), "PNG");
    EXPECT_EQ(w.GetItemText(IDC_EDIT_TIMES), "-3");
    w.PressEscape();
  });
}

TEST(ExtractSettingsDlg, OkStoresFlagsExtensionAndCountAsTyped) {
  struct Row {
    const char* extent;
    const char* times;
    const char* storedExtent;
    int storedTimes;
  };
  const Row rows[] = {
      {"png", "3", ".png", 3},    {".jpg", "3x", "..jpg", 3}, {"", "abc", ".", 0},
      {"PNG", " -2", ".PNG", -2}, {"a b", "+7z", ".a b", 7},
  };
  for (const Row& row : rows) {
    TestEnvironment env;
    HeadlessUi ui;
    SetDefaults(env.App());
    int result = RunSettings(ui, [&](HeadlessWindow& w) {
      w.Click(IDC_CHECK_ARCHIVE);
      w.Click(IDC_CHECK_WAVE);
      w.Click(IDC_CHECK_EXTRA);
      w.Click(IDC_CHECK_CLIP);
      w.Type(IDC_EDIT_EXTENT, row.extent);
      w.Type(IDC_EDIT_TIMES, row.times);
      w.Click(IDOK);
    });
    EXPECT_EQ(result, IDOK);
    CHarvestApp& app = env.App();
    EXPECT_EQ(app.m_strExtent, row.storedExtent);
    EXPECT_EQ(app.m_nTimes, row.storedTimes);
    EXPECT_EQ(app.m_bImage, 1);
    EXPECT_EQ(app.m_bArchive, 1);
    EXPECT_EQ(app.m_bExtra, 1);
    EXPECT_EQ(app.m_bClip, 1);
    EXPECT_EQ(app.m_bWave, 1);
    EXPECT_EQ(app.m_bMovie + app.m_bExe, 0);
    // Each setting under its own key, in the order they have always been
    // written.
    EXPECT_EQ(testing_support::ReadBytes(env.ProfilePath()),
              std::string("[Parameter]\r\nextent=") + row.storedExtent +
                  "\r\ntimes=" + std::to_string(row.storedTimes) +
                  "\r\nimage=1\r\nexe=0\r\narchive=1\r\nwave=1\r\nmovie=0\r\nextra=1\r\n"
                  "clip=1\r\nbrowser=0\r\nembedded=0\r\n");
  }
}

TEST(ExtractSettingsDlg, TheCustomBoxOnlyEnablesItsEditAndTheTextIsKept) {
  TestEnvironment env;
  HeadlessUi ui;
  SetDefaults(env.App());
  RunSettings(ui, [](HeadlessWindow& w) {
    w.Click(IDC_CHECK_EXTRA);
    EXPECT_TRUE(w.IsItemEnabled(IDC_EDIT_EXTENT));
    w.Type(IDC_EDIT_EXTENT, "png");
    w.Click(IDC_CHECK_EXTRA);
    EXPECT_FALSE(w.IsItemEnabled(IDC_EDIT_EXTENT));
    EXPECT_EQ(w.GetItemText(IDC_EDIT_EXTENT), "png");
    w.Click(IDOK);
  });
  EXPECT_EQ(env.App().m_bExtra, 0);
  EXPECT_EQ(env.App().m_strExtent, ".png") << "a disabled edit's text is still stored";
}

// The embedded-files box is offered only with browser reading, opens as the
// settings say, and keeps its mark while greyed.
TEST(ExtractSettingsDlg, TheEmbeddedBoxFollowsBrowserReading) {
  struct Row {
    int browser, embedded;  // on opening
    bool clickBrowser, clickEmbedded;
    bool enabledAfter;
    int storedBrowser, storedEmbedded;
  };
  const Row rows[] = {
      {0, 0, false, false, false, 0, 0}, {0, 1, false, false, false, 0, 1},
      {0, 0, true, true, true, 1, 1},    {1, 1, true, false, false, 0, 1},
      {1, 0, false, true, true, 1, 1},
  };
  for (const Row& row : rows) {
    TestEnvironment env;
    HeadlessUi ui;
    SetDefaults(env.App());
    env.App().m_bBrowser = row.browser;
    env.App().m_bEmbedded = row.embedded;
    RunSettings(ui, [&](HeadlessWindow& w) {
      EXPECT_EQ(w.IsItemEnabled(IDC_CHECK_EMBEDDED), row.browser == 1);
      EXPECT_EQ(w.GetCheck(IDC_CHECK_EMBEDDED), static_cast<UINT>(row.embedded));
      if (row.clickBrowser) w.Click(IDC_CHECK_BROWSER);
      if (row.clickEmbedded) w.Click(IDC_CHECK_EMBEDDED);
      EXPECT_EQ(w.IsItemEnabled(IDC_CHECK_EMBEDDED), row.enabledAfter);
      w.Click(IDOK);
    });
    EXPECT_EQ(ProfileInt(env, profile::kBrowser), row.storedBrowser);
    EXPECT_EQ(ProfileInt(env, profile::kEmbedded), row.storedEmbedded);
  }
}

TEST(ExtractSettingsDlg, RefusedOkStoresNothingAndCancelKeepsTheOpeningSettings) {
  TestEnvironment env;
  HeadlessUi ui;
  SetDefaults(env.App());
  env.App().m_nTimes = 4;
  int result = RunSettings(ui, [&](HeadlessWindow& w) {
    w.Click(IDC_CHECK_IMAGE);  // now no category at all
    w.Click(IDC_CHECK_CLIP);   // the watch is no category
    w.Type(IDC_EDIT_TIMES, "9");
    ui->AnswerMessageBox();
    w.Click(IDOK);
    EXPECT_FALSE(w.Ended()) << "the dialog stays open";
    ASSERT_EQ(ui->MessageBoxes().size(), 1u);
    const auto& box = ui->MessageBoxes()[0];
    EXPECT_EQ(box.text, texts::kNoCategory);
    EXPECT_EQ(box.caption, texts::kCaptionError);
    EXPECT_EQ(box.Icon(), MB_ICONERROR);
    EXPECT_EQ(box.ownerTemplateId, IDD_EXTRACT_SETTINGS);
    EXPECT_EQ(w.GetCheck(IDC_CHECK_CLIP), BST_CHECKED) << "the user's input stays";
    EXPECT_EQ(w.GetItemText(IDC_EDIT_TIMES), "9");
    w.Click(IDCANCEL);
  });
  EXPECT_EQ(result, IDCANCEL);
  CHarvestApp& app = env.App();
  EXPECT_EQ(app.m_bImage, 1);
  EXPECT_EQ(app.m_bClip, 0);
  EXPECT_EQ(app.m_nTimes, 4);
  EXPECT_EQ(ProfileInt(env, profile::kImage), -999) << "nothing written";
  EXPECT_EQ(ProfileInt(env, profile::kTimes), -999);
}

TEST(ExtractSettingsDlg, AfterOkTheMainDialogAppliesTheImageOnlyRuleAndTheWatch) {
  TestEnvironment env;
  HeadlessUi ui;
  CHarvestDlg dlg;
  auto main = ui->Open(dlg);
  ASSERT_TRUE(main->IsItemEnabled(IDC_RADIO_HTML));
  ASSERT_EQ(main->GetCheck(IDC_RADIO_HTML), BST_CHECKED);

  // Another category: the gallery is barred and the list stored.
  ui->ExpectModal(IDD_EXTRACT_SETTINGS, [](HeadlessWindow& w) {
    w.Click(IDC_CHECK_EXE);
    w.Click(IDC_CHECK_CLIP);
    w.Click(IDOK);
  });
  dlg.OnExtended();
  EXPECT_FALSE(main->IsItemEnabled(IDC_RADIO_HTML));
  EXPECT_EQ(main->GetCheck(IDC_RADIO_LIST), BST_CHECKED);
  EXPECT_EQ(main->GetCheck(IDC_RADIO_HTML), BST_UNCHECKED);
  EXPECT_EQ(dlg.m_nOutPutType, 2);
  EXPECT_EQ(ProfileInt(env, profile::kOutPutType), 2);
  EXPECT_EQ(main->TimerPeriod(kWatchTimerId), std::optional<UINT>(kWatchTimerMs));

  // Images alone again: the gallery is offered but not chosen for the user.
  ui->ExpectModal(IDD_EXTRACT_SETTINGS, [](HeadlessWindow& w) {
    w.Click(IDC_CHECK_EXE);
    w.Click(IDC_CHECK_CLIP);
    w.Click(IDOK);
  });
  dlg.OnExtended();
  EXPECT_TRUE(main->IsItemEnabled(IDC_RADIO_HTML));
  EXPECT_EQ(main->GetCheck(IDC_RADIO_LIST), BST_CHECKED);
  EXPECT_EQ(dlg.m_nOutPutType, 2);
  EXPECT_FALSE(main->HasTimer(kWatchTimerId));

  // Cancel changes neither the options nor the watch.
  ui->ExpectModal(IDD_EXTRACT_SETTINGS, [](HeadlessWindow& w) {
    w.Click(IDC_CHECK_MOVIE);
    w.Click(IDC_CHECK_CLIP);
    w.PressEscape();
  });
  dlg.OnExtended();
  EXPECT_TRUE(main->IsItemEnabled(IDC_RADIO_HTML));
  EXPECT_FALSE(main->HasTimer(kWatchTimerId));
}
