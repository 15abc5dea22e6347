#pragma once
// The status line's progress text during a page read.
#include <cstdint>
#include <string>

// "<received> ﾊﾞｲﾄ", followed by "(<percent>%)" when a positive length was
// declared. The percentage is received / declared * 100 in double precision,
// truncated toward zero: 29 of 100 shows 28%.
std::string FormatProgressText(int64_t received, bool hasDeclared, int64_t declared);
