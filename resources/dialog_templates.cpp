#include "resources/dialog_templates.h"

#include <array>

#include "platform/program_version.h"

namespace resources {

using namespace platform;  // template types, style bits and command ids

namespace {

constexpr const char* kFontName = "ＭＳ Ｐゴシック";
constexpr int kFontPoints = 9;

constexpr unsigned kEditStyle = kBorder | kAutoHScroll | kTabStop;

// clang-format off
// Main dialog, in template (tab) order.
constexpr std::array kMainControls{
    ControlTemplate{IDC_EDIT_URL, ControlKind::Edit, "", kEditStyle, 5, 11, 232, 12},
    ControlTemplate{IDC_RADIO_URLNAME, ControlKind::AutoRadioButton, "URL", kGroup | kTabStop, 69, 29, 26, 9},
    ControlTemplate{IDC_RADIO_APPEND, ControlKind::AutoRadioButton, "追記", 0, 99, 29, 26, 9},
    ControlTemplate{IDC_RADIO_HTML, ControlKind::AutoRadioButton, "ｈｔｍｌ", kGroup | kTabStop, 69, 39, 26, 9},
    ControlTemplate{IDC_RADIO_LIST, ControlKind::AutoRadioButton, "Ｌｉｓｔ", 0, 99, 39, 26, 9},
    ControlTemplate{IDC_BUTTON_EXTENDED, ControlKind::PushButton, "拡張(&E)", kTabStop, 131, 29, 35, 19},
    ControlTemplate{IDC_BUTTON_SAVEFOLDER, ControlKind::PushButton, "保存先(&S)", kTabStop, 167, 29, 35, 19},
    ControlTemplate{IDOK, ControlKind::DefPushButton, "閲集(&G)", kTabStop, 205, 29, 35, 19},
    ControlTemplate{IDC_STATIC, ControlKind::GroupBox, "ｲﾝﾀｰﾈｯﾄｱﾄﾞﾚｽ", 0, 2, 2, 238, 25},
    ControlTemplate{IDC_STATIC_STATUS, ControlKind::Static, "",
                    kCenter | kCenterImage | kGroup | kStaticEdge, 2, 29, 62, 19},
};

// Extraction settings.
constexpr std::array kExtractControls{
    ControlTemplate{IDOK, ControlKind::DefPushButton, "OK", kTabStop, 95, 182, 50, 14},
    ControlTemplate{IDCANCEL, ControlKind::PushButton, "ｷｬﾝｾﾙ", kTabStop, 95, 164, 50, 14},
    ControlTemplate{IDC_CHECK_IMAGE, ControlKind::AutoCheckBox, "画像ファイル(JPG, JPEG, GIF)", kTabStop, 8, 15, 104, 10},
    ControlTemplate{IDC_CHECK_EXE, ControlKind::AutoCheckBox, "実行ファイル(EXE)", kTabStop, 8, 33, 70, 10},
    ControlTemplate{IDC_CHECK_ARCHIVE, ControlKind::AutoCheckBox, "書庫ファイル(LZH, ZIP)", kTabStop, 8, 51, 83, 10},
    ControlTemplate{IDC_CHECK_WAVE, ControlKind::AutoCheckBox, "音楽/音声ファイル(MID, WAV, AIFF, MP3)", kTabStop, 8, 69, 133, 10},
    ControlTemplate{IDC_CHECK_MOVIE, ControlKind::AutoCheckBox, "動画ファイル(AVI, MOV, MPG, MPEG)", kTabStop, 8, 87, 120, 10},
    ControlTemplate{IDC_CHECK_EXTRA, ControlKind::AutoCheckBox, "任意", kTabStop, 8, 105, 24, 10},
    ControlTemplate{IDC_CHECK_CLIP, ControlKind::AutoCheckBox, "ｸｯﾘｯﾌﾟﾎﾞｰﾄﾞを監視する", kTabStop, 8, 143, 79, 10},
    ControlTemplate{IDC_STATIC, ControlKind::GroupBox, "抽出ﾌｧｲﾙの設定", 0, 2, 2, 143, 121},
    ControlTemplate{IDC_EDIT_EXTENT, ControlKind::Edit, "", kEditStyle | kDisabled, 36, 103, 21, 12},
    ControlTemplate{IDC_STATIC, ControlKind::Static, "(ﾄﾞｯﾄ\"．\"は必要ありません)",
                    kAlignLeft | kCenterImage | kGroup, 60, 103, 80, 12},
    ControlTemplate{IDC_STATIC, ControlKind::GroupBox, "その他の設定", 0, 2, 133, 88, 27},
    ControlTemplate{IDC_STATIC, ControlKind::GroupBox, "ﾌｧｲﾙが破損していた場合", 0, 2, 165, 88, 31},
    ControlTemplate{IDC_EDIT_TIMES, ControlKind::Edit, "", kEditStyle | kAlignRight, 8, 177, 26, 12},
    ControlTemplate{IDC_STATIC, ControlKind::Static, "回まで読み直す", kAlignLeft | kCenterImage | kGroup, 37, 177, 48, 12},
    ControlTemplate{IDC_STATIC, ControlKind::GroupBox, "ﾍﾟｰｼﾞの読み方", 0, 2, 199, 143, 41},
    ControlTemplate{IDC_CHECK_BROWSER, ControlKind::AutoCheckBox, "ﾌﾞﾗｳｻﾞと同じに読む(HTML, URL標準)", kTabStop, 8, 211, 133, 10},
    ControlTemplate{IDC_CHECK_EMBEDDED, ControlKind::AutoCheckBox, "埋め込みﾌｧｲﾙも抽出する(IMG, VIDEO等)", kTabStop | kDisabled, 8, 225, 133, 10},
};

// Credentials prompt.
constexpr std::array kPasswordControls{
    ControlTemplate{IDC_EDIT_USERID, ControlKind::Edit, "", kEditStyle, 48, 26, 110, 12},
    ControlTemplate{IDC_EDIT_PASSWORD, ControlKind::Edit, "", kEditStyle | kPassword, 48, 44, 110, 12},
    ControlTemplate{IDCANCEL, ControlKind::PushButton, "ｷｬﾝｾﾙ", kTabStop, 48, 64, 50, 14},
    ControlTemplate{IDOK, ControlKind::DefPushButton, "OK", kTabStop, 108, 64, 50, 14},
    ControlTemplate{IDC_STATIC, ControlKind::Static, "ＩＤとパスワードを入力してください．", kAlignLeft, 7, 7, 101, 8},
    ControlTemplate{IDC_STATIC, ControlKind::Static, "ＩＤ ：", kCenterImage, 7, 26, 25, 12},
    ControlTemplate{IDC_STATIC, ControlKind::Static, "パスワード ：", kCenterImage, 7, 48, 38, 8},
};
// clang-format on

}  // namespace

const DialogTemplate kMainDialog{IDD_VIMBEL_DIALOG,
                                 "閲集 - " VIMBEL_PROGRAM_NAME,
                                 kPopup | kVisible | kCaption | kSysMenu | kMinimizeBox |
                                     kModalFrame | kAppWindow | kAcceptFiles,
                                 kFontName,
                                 kFontPoints,
                                 243,
                                 49,
                                 kMainControls};

const DialogTemplate kExtractSettingsDialog{
    IDD_EXTRACT_SETTINGS,
    "拡張設定",
    kPopup | kCaption | kSysMenu | kModalFrame | kToolWindow,
    kFontName,
    kFontPoints,
    147,
    243,
    kExtractControls};

const DialogTemplate kPasswordDialog{
    IDD_PASSWORD, "パスワードの入力", kPopup | kCaption | kModalFrame, kFontName, kFontPoints, 165,
    85,           kPasswordControls};

const DialogTemplate* FindDialogTemplate(int id) {
  for (const DialogTemplate* t : {&kMainDialog, &kExtractSettingsDialog, &kPasswordDialog})
    if (t->id == id) return t;
  return nullptr;
}

}  // namespace resources
