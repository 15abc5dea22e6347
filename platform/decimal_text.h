#pragma once
// Numbers typed or received as text, read the way the C runtime's atoi
// reads them: leading white space, an optional sign, then the decimal digits
// up to the first other character; no digits give 0. Held in 64 bits and
// clamped, so no text can overflow.
#include <cstdint>
#include <string_view>

namespace platform {

int64_t LeadingDecimal(std::string_view text);

// The same, clamped to the range of an int.
int LeadingDecimalInt(std::string_view text);

}  // namespace platform
