#include "engine/base_address.h"

#include "engine/credentials_address.h"

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
