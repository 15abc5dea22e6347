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

std::string AddressWithCredentials(const std::string& address, const std::string& userId,
                                   const std::string& password) {
  size_t scheme = address.find("://");
  size_t hostStart = scheme == std::string::npos ? 0 : scheme + 3;
  size_t authorityEnd = address.find_first_of("/?#", hostStart);
  if (authorityEnd == std::string::npos) authorityEnd = address.size();
  // The last "@" of the authority ends any user information already there.
  size_t at = address.rfind('@', authorityEnd == 0 ? 0 : authorityEnd - 1);
  size_t keepFrom = (at != std::string::npos && at >= hostStart && at < authorityEnd)
                        ? at + 1
                        : hostStart;
  return address.substr(0, hostStart) + EncodeUserInfoPart(userId) + ":" +
         EncodeUserInfoPart(password) + "@" + address.substr(keepFrom);
}
