#include "engine/base_address.h"

#include "engine/credentials_address.h"

std::string BaseAddressOf(const std::string& address) {
  size_t slash = address.rfind('/');
  return slash == std::string::npos ? std::string() : WithoutUserInfo(address.substr(0, slash + 1));
}
