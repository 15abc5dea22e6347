#include "engine/credentials_address.h"

std::string EncodeUserInfoPart(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                      (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
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

// Where the host begins: after the scheme's "//", or at the very start.
size_t HostStart(const std::string& address) {
  size_t scheme = address.find("://");
  return scheme == std::string::npos ? 0 : scheme + 3;
}

}  // namespace

std::string WithoutUserInfo(const std::string& address) {
  const size_t hostStart = HostStart(address);
  size_t authorityEnd = address.find_first_of("/?#", hostStart);
  if (authorityEnd == std::string::npos) authorityEnd = address.size();
  // The last "@" of the authority ends the user information.
  const size_t at = address.rfind('@', authorityEnd == 0 ? 0 : authorityEnd - 1);
  if (at == std::string::npos || at < hostStart || at >= authorityEnd) return address;
  return address.substr(0, hostStart) + address.substr(at + 1);
}

std::string AddressWithCredentials(const std::string& address, const std::string& userId,
                                   const std::string& password) {
  const std::string bare = WithoutUserInfo(address);
  const size_t hostStart = HostStart(bare);
  return bare.substr(0, hostStart) + EncodeUserInfoPart(userId) + ":" +
         EncodeUserInfoPart(password) + "@" + bare.substr(hostStart);
}
