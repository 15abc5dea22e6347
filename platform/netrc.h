#pragma once
// Credentials from a netrc file, the form ftp and curl read:
//
//   machine example.com login alice password "two words"
//   default login anonymous password guest
//
// Words are separated by blanks and line ends. A word in double quotes may
// hold blanks, and a backslash there takes the next character as it is
// (\n, \r and \t stand for the control characters); a quote left open
// makes the whole file unusable. `account` and its value
// are passed over, and so is a `macdef` with its name and every line
// after it up to the first blank one. Keywords are told apart whatever
// their case.
//
// Both systems' Internet sessions read the file through this, so the same
// file gives the same credentials on either.
#include <optional>
#include <string>
#include <string_view>

namespace platform {

struct NetrcLogin {
  std::string login;
  std::string password;
  bool operator==(const NetrcLogin&) const = default;
};

// The login `text` gives `host`: that of the first `machine` entry naming
// it (letter case aside, an IPv6 address with or without its brackets),
// else that of the `default` entry. nullopt when neither is there, or the
// entry that counts names neither a login nor a password.
std::optional<NetrcLogin> NetrcLoginFor(std::string_view text, std::string_view host);

// The login for `host` from the netrc file UseNetrcFile (internet_session.h)
// chose, `defaultFile` when it named none. nullopt until UseNetrcFile is
// called, and when the file cannot be read: a missing ~/.netrc is no fault.
std::optional<NetrcLogin> ChosenNetrcLogin(std::string_view host, const std::string& defaultFile);

}  // namespace platform
