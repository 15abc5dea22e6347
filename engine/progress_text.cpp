#include "engine/progress_text.h"

std::string FormatProgressText(int64_t received, bool hasDeclared, int64_t declared) {
  std::string text = std::to_string(received);
  text += " ﾊﾞｲﾄ";
  // A declared length of 0 (or a nonsensical negative one) gives no
  // percentage rather than a division by nothing.
  if (hasDeclared && declared > 0) {
    double percent = static_cast<double>(received) / static_cast<double>(declared) * 100.0;
    text += '(';
    text += std::to_string(static_cast<int64_t>(percent));
    text += "%)";
  }
  return text;
}
