#include "engine/file_failure_text.h"

std::string FileFailureText(const FileFailure& failure) {
  const char* text = "";
  switch (failure.kind) {
    case FileFailure::kCannotRead:
      text = "ﾌｧｲﾙを読み込めませんでした。";
      break;
    case FileFailure::kCannotCreate:
      text = "ﾌｧｲﾙを作成できませんでした。";
      break;
    case FileFailure::kCannotWrite:
      text = "ﾌｧｲﾙに書き込めませんでした。";
      break;
    case FileFailure::kNone:
      break;
  }
  return std::string(text) + "\n" + failure.path;
}
