#pragma once
// The program's three dialog templates and the ids of their controls. Every
// backend builds its windows from these tables.
#include "platform/dialog_template.h"
#include "platform/win_types.h"

namespace resources {

// Template and icon ids.
inline constexpr int IDD_VIMBEL_DIALOG = 102;  // the main dialog
inline constexpr int IDD_EXTRACT_SETTINGS = 129;
inline constexpr int IDD_PASSWORD = 130;
inline constexpr int IDR_MAINFRAME = 128;  // the program icon

// Main dialog (102).
inline constexpr int IDC_EDIT_URL = 1000;
inline constexpr int IDC_RADIO_HTML = 1001;
inline constexpr int IDC_RADIO_LIST = 1002;
inline constexpr int IDC_BUTTON_SAVEFOLDER = 1003;
inline constexpr int IDC_BUTTON_EXTENDED = 1005;
inline constexpr int IDC_STATIC_STATUS = 1012;
inline constexpr int IDC_RADIO_URLNAME = 1013;
inline constexpr int IDC_RADIO_APPEND = 1014;

// Extraction settings (129).
inline constexpr int IDC_EDIT_EXTENT = 1000;
inline constexpr int IDC_CHECK_IMAGE = 1006;
inline constexpr int IDC_CHECK_ARCHIVE = 1007;
inline constexpr int IDC_CHECK_WAVE = 1008;
inline constexpr int IDC_CHECK_MOVIE = 1009;
inline constexpr int IDC_CHECK_EXTRA = 1010;
inline constexpr int IDC_CHECK_EXE = 1011;
inline constexpr int IDC_EDIT_TIMES = 1015;
inline constexpr int IDC_CHECK_CLIP = 1016;
inline constexpr int IDC_CHECK_BROWSER = 1017;
inline constexpr int IDC_CHECK_EMBEDDED = 1018;

// Credentials prompt (130).
inline constexpr int IDC_EDIT_USERID = 1000;
inline constexpr int IDC_EDIT_PASSWORD = 1015;

// The clipboard watch: window timer of the main dialog.
inline constexpr unsigned kWatchTimerId = 1752;
inline constexpr unsigned kWatchTimerMs = 1000;

extern const platform::DialogTemplate kMainDialog;             // 102
extern const platform::DialogTemplate kExtractSettingsDialog;  // 129
extern const platform::DialogTemplate kPasswordDialog;         // 130

// The template with this id, or nullptr.
const platform::DialogTemplate* FindDialogTemplate(int id);

}  // namespace resources
