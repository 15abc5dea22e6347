// The part of DomainToAscii (platform/domain_to_ascii.h) that needs no
// system: the labels, the ASCII ones, the lengths.
#include <string>

#include "platform/domain_to_ascii.h"

namespace platform {

namespace {

// The full stops IDNA maps to '.', which separate labels before the
// system sees one.
std::string WithFullStops(std::string_view domain) {
  std::string out;
  out.reserve(domain.size());
  for (size_t i = 0; i < domain.size();) {
    const std::string_view rest = domain.substr(i);
    if (rest.starts_with("\xE3\x80\x82") || rest.starts_with("\xEF\xBC\x8E") ||
        rest.starts_with("\xEF\xBD\xA1")) {
      out += '.';
      i += 3;
    } else {
      out += domain[i++];
    }
  }
  return out;
}

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

bool StartsWithAcePrefix(std::string_view label) {
  if (label.size() < 4) return false;
  return (label[0] | 0x20) == 'x' && (label[1] | 0x20) == 'n' && label[2] == '-' && label[3] == '-';
}

}  // namespace

std::optional<std::string> DomainToAscii(std::string_view utf8Domain, bool beStrict) {
  const std::string domain = WithFullStops(utf8Domain);
  // A name all in ASCII is taken as written, "xn--" labels and all, unless
  // the rules of DNS apply: IDNA reads such a name without changing it.
  const bool passAce = !beStrict && IsAscii(domain);
  std::string result;
  result.reserve(domain.size());
  size_t start = 0;
  for (;;) {
    const size_t dot = domain.find('.', start);
    const std::string_view label =
        std::string_view(domain).substr(start, dot == std::string::npos ? dot : dot - start);
    if (IsAscii(label) && (passAce || !StartsWithAcePrefix(label))) {
      for (char c : label) result += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    } else {
      const std::optional<std::string> ascii = system_idna::LabelToAscii(label, beStrict);
      if (!ascii) return std::nullopt;
      result += *ascii;
    }
    if (dot == std::string::npos) break;
    result += '.';
    start = dot + 1;
  }
  if (result.empty()) return std::nullopt;
  if (beStrict) {
    // A trailing dot names the root and counts for neither limit.
    // Checked here on the result rather than asked of the system, whose
    // strict mode differs (Wine's refuses every name beyond ASCII).
    for (char c : result) {
      if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'))
        return std::nullopt;
    }
    std::string_view name = result;
    if (name.ends_with('.')) name.remove_suffix(1);
    if (name.empty() || name.size() > 253) return std::nullopt;
    size_t labelStart = 0;
    for (;;) {
      const size_t dot = name.find('.', labelStart);
      const size_t length = (dot == std::string_view::npos ? name.size() : dot) - labelStart;
      if (length == 0 || length > 63) return std::nullopt;
      if (dot == std::string_view::npos) break;
      labelStart = dot + 1;
    }
  }
  return result;
}

}  // namespace platform
