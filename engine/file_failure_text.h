#pragma once
// The one place where a file failure becomes the user's message.
#include <string>

#include "engine/harvest_engine.h"

// "ﾌｧｲﾙを読み込めませんでした。", "ﾌｧｲﾙを作成できませんでした。" or
// "ﾌｧｲﾙに書き込めませんでした。", a line feed, and the path.
std::string FileFailureText(const FileFailure& failure);

// The caption and icon every file failure is shown with.
inline constexpr const char* kErrorCaption = "エラー";
