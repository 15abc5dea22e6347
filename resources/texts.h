#pragma once
// The program's fixed texts, byte for byte as the user sees them, so the
// engine, the windows and the terminal front end share one spelling. The
// program's name and version come from the build.
#include "platform/program_version.h"

namespace texts {

inline constexpr const char* kUserAgent = VIMBEL_PROGRAM_NAME "/" VIMBEL_PROGRAM_VERSION "[jp]";

// Status line (static 1012 of the main dialog).
inline constexpr const char* kStatusIdle = "Version" VIMBEL_PROGRAM_VERSION;
inline constexpr const char* kStatusConnecting = "接続中．．．";
inline constexpr const char* kStatusReading = "読み込み中";
// While another run appends to the same output file.
inline constexpr const char* kStatusWaitingForOutput = "他の書き込みを待っています．．．";
// The terminal's status line while several addresses are harvested at
// once: the runs done of all, and the numbers of those under way.
inline constexpr const char* kStatusRunsDone = "完了";
inline constexpr const char* kStatusRunsUnderWay = "実行中";

// Captions.
inline constexpr const char* kCaptionError = "エラー";
inline constexpr const char* kCaptionWarning = "警告";
inline constexpr const char* kCaptionDone = "正常終了";
inline constexpr const char* kCaptionNotFound = "404 Not Found";
inline constexpr const char* kCaptionStatusFormat = "Error Code %d";

// Start button.
inline constexpr const char* kNoAddress = "ｲﾝﾀｰﾈｯﾄｱﾄﾞﾚｽが入力されていません。";
inline constexpr const char* kBadBaseAddress = "ﾍﾞｰｽとなるｱﾄﾞﾚｽが正しく入力されていません。";
inline constexpr const char* kDone = "終了しました。";

// Download.
inline constexpr const char* kNotFound = "指定されたファイルが存在しません。";
inline constexpr const char* kCheckAddress = "アドレスをよく確かめてからもう一度実行してください。";
inline constexpr const char* kOtherStatusFormat = "その他のエラーが発生しました。(code %d)";
inline constexpr const char* kIncompleteRead = "ﾌｧｲﾙが正常に読み込めませんでした。";
inline constexpr const char* kCannotConnect = "ｻｰﾊﾞｰに接続できませんでした。";

// The cause, on the line after kCannotConnect.
inline constexpr const char* kCauseBadAddress = "ｱﾄﾞﾚｽの書式が正しくありません。";
inline constexpr const char* kCauseUnsupportedAddress =
    "http:// https:// ftp:// 以外のｱﾄﾞﾚｽは読み込めません。";
inline constexpr const char* kCauseHostNotFound = "ﾎｽﾄ名が見つかりません。";
inline constexpr const char* kCauseRefused = "ｻｰﾊﾞｰに接続を拒否されました。";
inline constexpr const char* kCauseUnreachable = "ｻｰﾊﾞｰまでの経路がありません。";
inline constexpr const char* kCauseTimedOut = "ｻｰﾊﾞｰが応答しないまま時間切れになりました。";
inline constexpr const char* kCauseCertificate = "ｻｰﾊﾞｰの証明書が信頼できません。";
inline constexpr const char* kCauseTls = "暗号化通信を始められませんでした。";
inline constexpr const char* kCauseTooManyRedirects = "ﾘﾀﾞｲﾚｸﾄが多すぎます。";
inline constexpr const char* kCauseRedirectNotFetched = "読み込めないｱﾄﾞﾚｽへﾘﾀﾞｲﾚｸﾄされました。";
inline constexpr const char* kCauseProxy = "ﾌﾟﾛｷｼｻｰﾊﾞｰを通して接続できませんでした。";
inline constexpr const char* kCauseNoAnswer = "ｻｰﾊﾞｰが何も返さずに接続を切りました。";

// Files (each followed by a line feed and the path).
inline constexpr const char* kCannotCreateFile = "ﾌｧｲﾙを作成できませんでした。";
inline constexpr const char* kCannotReadFile = "ﾌｧｲﾙを読み込めませんでした。";
inline constexpr const char* kCannotWriteFile = "ﾌｧｲﾙに書き込めませんでした。";
// After the path, when a failed append was taken back.
inline constexpr const char* kFileRestored = "ﾌｧｲﾙは書き込む前の状態に戻しました。";

// Opening a file as the address source (each followed by a line feed and
// the path).
inline constexpr const char* kNoShortcutAddress = "ｲﾝﾀｰﾈｯﾄｼｮｰﾄｶｯﾄにｱﾄﾞﾚｽがありません。";
inline constexpr const char* kFileNotFound = "ﾌｧｲﾙが見つかりませんでした。";

// Extraction settings.
inline constexpr const char* kNoCategory = "抽出対象ファイルが選択されていません。";

// Dropped files.
inline constexpr const char* kSeveralItems = "複数のﾌｧｲﾙやﾌｫﾙﾀﾞは指定する事はできません.";
inline constexpr const char* kFolderDropped = "ﾌｫﾙﾀﾞを指定する事はできません.";

// Save-folder chooser: the title's first line, then the current folder.
inline constexpr const char* kSaveFolderTitle = "現在のｾｰﾌﾞﾌｫﾙﾀﾞ\n";
inline constexpr const char* kDesktopWord = "ﾃﾞｽｸﾄｯﾌﾟ";

// Files the program names.
inline constexpr const char* kPageScratchName = VIMBEL_PROGRAM_NAME ".tmp";
inline constexpr const char* kLinkScratchName = "#" VIMBEL_PROGRAM_NAME "#.tmp";
inline constexpr const char* kResolvedScratchName = "#" VIMBEL_PROGRAM_NAME "-resolved#.tmp";
inline constexpr const char* kFixedGalleryName = VIMBEL_PROGRAM_NAME ".html";
inline constexpr const char* kFixedListName = VIMBEL_PROGRAM_NAME ".txt";

}  // namespace texts
