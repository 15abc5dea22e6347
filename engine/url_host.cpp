#include "engine/url_host.h"

#include <array>
#include <utility>

#include "engine/percent_encoding.h"

namespace {

// Bytes no host may hold, and those a domain may not hold besides.
constexpr std::string_view kForbiddenHostBytes{"\0\t\n\r #/:<>?@[\\]^|", 17};

constexpr std::array<bool, 256> ForbiddenTable(bool domain) {
  std::array<bool, 256> table{};
  for (char c : kForbiddenHostBytes) table[static_cast<unsigned char>(c)] = true;
  if (domain) {
    for (int b = 0; b < 0x20; ++b) table[b] = true;
    table['%'] = table[0x7F] = true;
  }
  return table;
}
constexpr std::array<bool, 256> kForbiddenInHost = ForbiddenTable(false);
constexpr std::array<bool, 256> kForbiddenInDomain = ForbiddenTable(true);

// How a special address's host takes each byte in one pass: lowercased as
// it goes, refused, or handed to the full path (an escape, a byte beyond
// ASCII).
enum DomainByte : uint8_t { kAsciiByte, kUppercaseByte, kForbiddenByte, kOtherByte };

constexpr std::array<DomainByte, 256> DomainBytes() {
  std::array<DomainByte, 256> table{};
  const std::array<bool, 256> forbidden = ForbiddenTable(true);
  for (int b = 0; b < 256; ++b) {
    if (b == '%' || b >= 0x80)
      table[b] = kOtherByte;
    else if (forbidden[b])
      table[b] = kForbiddenByte;
    else if (b >= 'A' && b <= 'Z')
      table[b] = kUppercaseByte;
  }
  return table;
}
constexpr std::array<DomainByte, 256> kDomainBytes = DomainBytes();

enum class FastDomain { kDone, kInvalid, kNeedsFullPath };

// The common host, ASCII with no escape and no "xn--" label, lowercased
// into `out` in one pass. A forbidden byte fails it only when the host is
// ASCII throughout: "<" with U+0338 after it is one valid character.
FastDomain AppendPlainDomain(std::string& out, std::string_view input) {
  const size_t start = out.size();
  out.resize(start + input.size());
  char* to = out.data() + start;
  size_t labelStart = 0;
  bool forbidden = false;
  for (size_t i = 0; i < input.size(); ++i) {
    const char c = input[i];
    switch (kDomainBytes[static_cast<unsigned char>(c)]) {
      case kAsciiByte:
        to[i] = c;
        if (c == '.') {
          labelStart = i + 1;
        } else if (c == '-' && i == labelStart + 3 && to[i - 1] == '-' && to[i - 2] == 'n' &&
                   to[i - 3] == 'x') {
          out.resize(start);
          return FastDomain::kNeedsFullPath;
        }
        break;
      case kUppercaseByte:
        to[i] = static_cast<char>(c + 32);
        break;
      case kForbiddenByte:
        to[i] = c;
        forbidden = true;
        break;
      case kOtherByte:
        out.resize(start);
        return FastDomain::kNeedsFullPath;
    }
  }
  return forbidden ? FastDomain::kInvalid : FastDomain::kDone;
}

bool HasForbidden(std::string_view text, const std::array<bool, 256>& table) {
  for (char c : text)
    if (table[static_cast<unsigned char>(c)]) return true;
  return false;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  c = AsciiLower(c);
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// One part of an IPv4 address: decimal, octal after "0", hexadecimal after
// "0x". Values past 2^32 are kept as 2^32, which every caller refuses.
std::optional<uint64_t> ParseIpv4Number(std::string_view part) {
  if (part.empty()) return std::nullopt;
  int radix = 10;
  if (part.size() >= 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
    part.remove_prefix(2);
    radix = 16;
  } else if (part.size() >= 2 && part[0] == '0') {
    part.remove_prefix(1);
    radix = 8;
  }
  uint64_t value = 0;
  for (char c : part) {
    const int digit = HexValue(c);
    if (digit < 0 || digit >= radix) return std::nullopt;
    value = value * radix + digit;
    if (value > 0xFFFFFFFFu) value = uint64_t{1} << 32;
  }
  return value;
}

// Whether a domain must be read as an IPv4 address: its last label (a
// trailing dot aside) is all digits or an IPv4 number.
bool EndsInANumber(std::string_view domain) {
  if (!domain.empty() && domain.back() == '.') {
    domain.remove_suffix(1);
    if (domain.empty()) return false;
  }
  const size_t dot = domain.rfind('.');
  const std::string_view last = dot == std::string_view::npos ? domain : domain.substr(dot + 1);
  if (last.empty()) return false;
  bool digits = true;
  for (char c : last) digits = digits && IsDigit(c);
  return digits || ParseIpv4Number(last).has_value();
}

std::optional<uint32_t> ParseIpv4(std::string_view text) {
  if (!text.empty() && text.back() == '.') text.remove_suffix(1);
  uint64_t numbers[4];
  size_t count = 0;
  size_t start = 0;
  for (;;) {
    const size_t dot = text.find('.', start);
    const std::string_view part = text.substr(start, dot - start);
    if (count == 4) return std::nullopt;
    const auto number = ParseIpv4Number(part);
    if (!number) return std::nullopt;
    numbers[count++] = *number;
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  for (size_t i = 0; i + 1 < count; ++i)
    if (numbers[i] > 255) return std::nullopt;
  if (numbers[count - 1] >= uint64_t{1} << (8 * (5 - count))) return std::nullopt;
  uint64_t address = numbers[count - 1];
  for (size_t i = 0; i + 1 < count; ++i) address += numbers[i] << (8 * (3 - i));
  return static_cast<uint32_t>(address);
}

void AppendIpv4(std::string& out, uint32_t address) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    out += std::to_string((address >> shift) & 0xFF);
    if (shift) out += '.';
  }
}

using Ipv6Address = std::array<uint16_t, 8>;

std::optional<Ipv6Address> ParseIpv6(std::string_view input) {
  Ipv6Address address{};
  size_t pieceIndex = 0;
  std::optional<size_t> compress;
  size_t pointer = 0;
  const auto at = [&](size_t i) { return i < input.size() ? input[i] : '\0'; };
  const auto atEnd = [&] { return pointer >= input.size(); };

  if (at(0) == ':') {
    if (at(1) != ':') return std::nullopt;
    pointer = 2;
    compress = ++pieceIndex;
  }
  while (!atEnd()) {
    if (pieceIndex == 8) return std::nullopt;
    if (at(pointer) == ':') {
      if (compress) return std::nullopt;
      ++pointer;
      compress = ++pieceIndex;
      continue;
    }
    unsigned value = 0;
    size_t length = 0;
    while (length < 4 && !atEnd() && HexValue(at(pointer)) >= 0) {
      value = value * 16 + HexValue(at(pointer));
      ++pointer;
      ++length;
    }
    if (at(pointer) == '.' && !atEnd()) {
      // An IPv4 address in the last two pieces.
      if (length == 0) return std::nullopt;
      pointer -= length;
      if (pieceIndex > 6) return std::nullopt;
      int numbersSeen = 0;
      while (!atEnd()) {
        int ipv4Piece = -1;
        if (numbersSeen > 0) {
          if (at(pointer) == '.' && numbersSeen < 4)
            ++pointer;
          else
            return std::nullopt;
        }
        if (atEnd() || !IsDigit(at(pointer))) return std::nullopt;
        while (!atEnd() && IsDigit(at(pointer))) {
          const int number = at(pointer) - '0';
          if (ipv4Piece == -1)
            ipv4Piece = number;
          else if (ipv4Piece == 0)
            return std::nullopt;
          else
            ipv4Piece = ipv4Piece * 10 + number;
          if (ipv4Piece > 255) return std::nullopt;
          ++pointer;
        }
        address[pieceIndex] = static_cast<uint16_t>(address[pieceIndex] * 0x100 + ipv4Piece);
        ++numbersSeen;
        if (numbersSeen == 2 || numbersSeen == 4) ++pieceIndex;
      }
      if (numbersSeen != 4) return std::nullopt;
      break;
    }
    if (!atEnd() && at(pointer) == ':') {
      ++pointer;
      if (atEnd()) return std::nullopt;
    } else if (!atEnd()) {
      return std::nullopt;
    }
    address[pieceIndex++] = static_cast<uint16_t>(value);
  }
  if (compress) {
    size_t swaps = pieceIndex - *compress;
    pieceIndex = 7;
    while (pieceIndex != 0 && swaps > 0) {
      std::swap(address[pieceIndex], address[*compress + swaps - 1]);
      --pieceIndex;
      --swaps;
    }
  } else if (pieceIndex != 8) {
    return std::nullopt;
  }
  return address;
}

// Lowercase hexadecimal pieces; the first longest run of two or more zero
// pieces becomes "::".
void AppendIpv6(std::string& out, const Ipv6Address& address) {
  size_t compress = 8, bestLength = 1;
  for (size_t i = 0; i < 8;) {
    size_t end = i;
    while (end < 8 && address[end] == 0) ++end;
    if (end - i > bestLength) {
      compress = i;
      bestLength = end - i;
    }
    i = end == i ? i + 1 : end;
  }
  out += '[';
  for (size_t i = 0; i < 8; ++i) {
    if (i == compress) {
      out += i == 0 ? "::" : ":";
      i += bestLength - 1;
      continue;
    }
    char digits[4];
    int count = 0;
    unsigned piece = address[i];
    do {
      digits[count++] = "0123456789abcdef"[piece & 15];
      piece >>= 4;
    } while (piece);
    while (count) out += digits[--count];
    if (i != 7) out += ':';
  }
  out += ']';
}

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

bool HasPunycodeLabel(std::string_view domain) {
  for (size_t start = 0;;) {
    if (domain.size() - start >= 4 && AsciiLower(domain[start]) == 'x' &&
        AsciiLower(domain[start + 1]) == 'n' && domain[start + 2] == '-' &&
        domain[start + 3] == '-')
      return true;
    const size_t dot = domain.find('.', start);
    if (dot == std::string_view::npos) return false;
    start = dot + 1;
  }
}

bool IsWellFormedUtf8(std::string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    const size_t length = WellFormedCharacterLength(text, pos);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

// Appends the ASCII form of a special address's host; false when there is
// none. An ASCII domain without "xn--" labels only needs lowercasing, which
// keeps nearly every address away from the system's conversion.
bool AppendAsciiDomain(std::string& out, std::string_view domain, const DomainToAscii& toAscii) {
  const size_t start = out.size();
  if (IsAscii(domain) && !HasPunycodeLabel(domain)) {
    for (char c : domain) out += AsciiLower(c);
  } else {
    // U+FFFD, which an ill-formed byte would become, is never valid in a
    // domain, so such a domain fails without asking the system.
    if (!toAscii || !IsWellFormedUtf8(domain)) return false;
    const std::optional<std::string> ascii = toAscii(domain, false);
    if (!ascii || !IsAscii(*ascii)) return false;
    out += *ascii;
  }
  const std::string_view result(out.data() + start, out.size() - start);
  return !result.empty() && !HasForbidden(result, kForbiddenInDomain);
}

}  // namespace

std::optional<HostKind> AppendParsedHost(std::string& out, std::string_view input, bool opaque,
                                         const DomainToAscii& toAscii) {
  if (!input.empty() && input.front() == '[') {
    if (input.size() < 2 || input.back() != ']') return std::nullopt;
    const auto address = ParseIpv6(input.substr(1, input.size() - 2));
    if (!address) return std::nullopt;
    AppendIpv6(out, *address);
    return HostKind::kIpv6;
  }
  if (input.empty()) return HostKind::kEmpty;
  if (opaque) {
    if (HasForbidden(input, kForbiddenInHost)) return std::nullopt;
    AppendPercentEncoded(out, input, kC0ControlSet);
    return HostKind::kOpaque;
  }

  const size_t start = out.size();
  const FastDomain fast = AppendPlainDomain(out, input);
  if (fast == FastDomain::kInvalid) return std::nullopt;
  if (fast == FastDomain::kNeedsFullPath) {
    if (input.find('%') == std::string_view::npos) {
      if (!AppendAsciiDomain(out, input, toAscii)) return std::nullopt;
    } else {
      std::string decoded;
      AppendPercentDecoded(decoded, input);
      if (!AppendAsciiDomain(out, decoded, toAscii)) return std::nullopt;
    }
  }
  const std::string_view domain(out.data() + start, out.size() - start);
  if (!EndsInANumber(domain)) return HostKind::kDomain;
  const std::optional<uint32_t> address = ParseIpv4(domain);
  if (!address) return std::nullopt;
  out.resize(start);
  AppendIpv4(out, *address);
  return HostKind::kIpv4;
}
