#pragma once
// The page's directory address, against which relative links are resolved.
#include <string>
#include <string_view>

// `text` without leading and trailing spaces, tabs and line breaks, which a
// copied address often brings along and which no address holds. Nothing
// inside the text changes.
std::string TrimmedAddress(std::string_view text);

// `address` up to and including its last "/"; empty when it has none. User
// information typed into the address is left out: the base names the
// output file and is written into every resolved link, and a password must
// reach neither. "/"
// never occurs as the second byte of a multibyte character, so a byte
// search from the end finds the same place as a character-wise one.
std::string BaseAddressOf(const std::string& address);
