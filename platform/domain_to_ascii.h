#pragma once
// Host names as browsers send them: a name with characters beyond ASCII
// (or with a label already in Punycode) goes through IDNA (UTS #46,
// nontransitional, joiners and bidirectional text checked, hyphens not) and
// comes back in ASCII; a plain ASCII name is only lowercased.
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The ASCII form of `utf8Domain`, or nothing when IDNA refuses it or it
// comes out empty. `beStrict` adds the rules of DNS itself: letters, digits
// and hyphens only, labels of at most 63 and names of at most 253 bytes.
// The system's IDNA (libidn2 on Linux, loaded on first use; IdnToAscii on
// Windows) is asked only for a label with characters beyond ASCII or one
// that starts with "xn--".
std::optional<std::string> DomainToAscii(std::string_view utf8Domain, bool beStrict);

namespace system_idna {
// One label through the system's IDNA, in posix/ and windows/
// domain_to_ascii.cpp; nothing when refused.
std::optional<std::string> LabelToAscii(std::string_view utf8Label, bool beStrict);
}  // namespace system_idna

}  // namespace platform
