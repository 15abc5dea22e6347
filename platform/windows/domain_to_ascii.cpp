// IDNA on Windows: IdnToAscii (normaliz), the closest the system has to
// the nontransitional processing browsers use.
#include "platform/domain_to_ascii.h"

#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

namespace platform::system_idna {

// The DNS rules are the caller's (platform/domain_names.cpp): Wine's
// IdnToAscii refuses every name beyond ASCII under IDN_USE_STD3_ASCII_RULES.
std::optional<std::string> LabelToAscii(std::string_view utf8Label, bool) {
  const std::wstring label = win32::Widen(utf8Label);
  if (label.empty()) return std::nullopt;
  const DWORD flags = 0;
  wchar_t ascii[256];
  const int length = ::IdnToAscii(flags, label.data(), static_cast<int>(label.size()), ascii,
                                  static_cast<int>(std::size(ascii)));
  if (length <= 0) return std::nullopt;
  return win32::Narrow(std::wstring_view(ascii, static_cast<size_t>(length)));
}

}  // namespace platform::system_idna
