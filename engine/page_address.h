#pragma once
// The page's address as the run takes it: trimmed out of what was typed or
// copied, its base (the directory address against which relative links are
// resolved), and the address that carries the credentials after a 401, with
// the ID and the password as user information in front of the host.
#include <string>
#include <string_view>

// `text` without leading and trailing spaces, tabs and line breaks, which a
// copied address often brings along and which no address holds. Nothing
// inside the text changes.
std::string TrimmedAddress(std::string_view text);

// `address` up to and including its last "/"; empty when it has none. User
// information typed into the address is left out: the base names the
// output file and is written into every resolved link, and a password must
// reach neither. "/" never occurs as the second byte of a multibyte
// character, so a byte search from the end finds the same place as a
// character-wise one.
std::string BaseAddressOf(const std::string& address);

// Percent-encodes every byte except RFC 3986's unreserved characters, so
// that ":", "@", "/", "#" and the like stay inside the user information.
std::string EncodeUserInfoPart(const std::string& text);

// `address` without the user information of its authority, if any.
std::string WithoutUserInfo(const std::string& address);

// `address` with "<id>:<password>@" (each part encoded) in front of its
// host, after the scheme's "//"; an address without a scheme is completed
// with "http://" first. User information the address already carries is
// replaced, never kept alongside.
std::string AddressWithCredentials(const std::string& address, const std::string& userId,
                                   const std::string& password);
