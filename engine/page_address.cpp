#include "engine/page_address.h"

std::string EncodeUserInfoPart(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '.' || c == '_' || c == '~';
    if (unreserved) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

namespace {

bool IsAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Where the authority begins: after the scheme's ":" and the slashes that
// follow it. A scheme is letters, digits, "+", "-" and "." from the very
// start, beginning with a letter and followed by ":/", as the download
// reads it; anything else ("host:8080/", a "://" inside the query) means
// the address has no scheme and npos is returned.
size_t AuthorityStart(const std::string& address) {
  size_t i = 0;
  while (i < address.size() && (IsAlpha(address[i]) || (address[i] >= '0' && address[i] <= '9') ||
                                address[i] == '+' || address[i] == '-' || address[i] == '.'))
    ++i;
  if (i == 0 || !IsAlpha(address[0]) || address.compare(i, 2, ":/") != 0) return std::string::npos;
  for (++i; i < address.size() && address[i] == '/';) ++i;
  return i;
}

}  // namespace

std::string WithoutUserInfo(const std::string& address) {
  size_t hostStart = AuthorityStart(address);
  if (hostStart == std::string::npos) hostStart = 0;
  size_t authorityEnd = address.find_first_of("/?#", hostStart);
  if (authorityEnd == std::string::npos) authorityEnd = address.size();
  // The last "@" of the authority ends the user information.
  const size_t at = address.rfind('@', authorityEnd == 0 ? 0 : authorityEnd - 1);
  if (at == std::string::npos || at < hostStart || at >= authorityEnd) return address;
  return address.substr(0, hostStart) + address.substr(at + 1);
}

std::string AddressWithCredentials(const std::string& address, const std::string& userId,
                                   const std::string& password) {
  // Completed as the download completes it, so that the credentials land
  // in the authority and never in a path or query sent in the request line.
  std::string bare = WithoutUserInfo(address);
  if (AuthorityStart(bare) == std::string::npos) bare = "http://" + bare;
  const size_t hostStart = AuthorityStart(bare);
  return bare.substr(0, hostStart) + EncodeUserInfoPart(userId) + ":" +
         EncodeUserInfoPart(password) + "@" + bare.substr(hostStart);
}

std::string BaseAddressOf(const std::string& address) {
  size_t slash = address.rfind('/');
  return slash == std::string::npos ? std::string() : WithoutUserInfo(address.substr(0, slash + 1));
}

std::string TrimmedAddress(std::string_view text) {
  constexpr std::string_view kBlank = " \t\r\n";
  size_t begin = text.find_first_not_of(kBlank);
  if (begin == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(kBlank);
  return std::string(text.substr(begin, end - begin + 1));
}
