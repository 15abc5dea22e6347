#pragma once
// The host of a web address: domains, IPv4 and IPv6 addresses and the
// opaque hosts of other schemes, parsed and written in their one canonical
// form.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// What an address holds where its host goes. kNone is no host at all
// ("mailto:x"); kEmpty is a host that is present but empty ("file:///x").
enum class HostKind : uint8_t { kNone, kEmpty, kDomain, kIpv4, kIpv6, kOpaque };

// UTS #46 ToASCII of a UTF-8 domain, as the system does it (libidn2,
// IdnToAscii): nontransitional, CheckBidi and CheckJoiners on; CheckHyphens,
// UseSTD3ASCIIRules and VerifyDnsLength on only when `beStrict`. nullopt
// when the domain is not valid. Only a domain beyond ASCII or with a label
// beginning "xn--" is ever handed to it.
using DomainToAscii = std::function<std::optional<std::string>(std::string_view, bool beStrict)>;

// Parses `input`, the host as the address spelled it, and appends its
// canonical form to `out` (an IPv6 address in brackets). `opaque` is for
// the schemes that are not special, whose hosts are taken nearly as they
// are. nullopt when it is no valid host; `out` may then hold a part of it.
std::optional<HostKind> AppendParsedHost(std::string& out, std::string_view input, bool opaque,
                                         const DomainToAscii& toAscii);
