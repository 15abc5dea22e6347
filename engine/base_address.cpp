#include "engine/base_address.h"

std::string BaseAddressOf(const std::string& address) {
  size_t slash = address.rfind('/');
  return slash == std::string::npos ? std::string() : address.substr(0, slash + 1);
}
