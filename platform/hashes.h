#pragma once
// MD5 and SHA-256, as HTTP Digest login computes them: over bytes, written
// as lower-case hexadecimal. Neither system library is asked, so both
// systems hash the same way and the tests run alike on both.
#include <string>
#include <string_view>

namespace platform {

std::string Md5Hex(std::string_view bytes);
std::string Sha256Hex(std::string_view bytes);

}  // namespace platform
