#include "platform/decimal_text.h"

#include <algorithm>
#include <climits>

namespace platform {

int64_t LeadingDecimal(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  constexpr int64_t kLimit = INT64_MAX / 10 - 9;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value < kLimit ? value * 10 + (text[i] - '0') : INT64_MAX;
  return negative ? -value : value;
}

int LeadingDecimalInt(std::string_view text) {
  return static_cast<int>(std::clamp<int64_t>(LeadingDecimal(text), INT_MIN, INT_MAX));
}

}  // namespace platform
